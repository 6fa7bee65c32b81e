#include "profilestore.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace vorkast::settings {

namespace {

// `problem`, when given, receives what went wrong, for the user.
bool fail(QString *problem, const QString &text)
{
    if (problem)
        *problem = text;
    return false;
}

bool acceptName(const QString &name, QString *problem)
{
    const QString why = profileNameProblem(name);
    if (why.isEmpty())
        return true;
    qWarning() << "Profile name refused:" << name;
    return fail(problem, QStringLiteral("its name is refused because %1").arg(why));
}

// Win32 opens a device instead of a file for these in every folder, whatever
// follows the first '.' and ignoring blanks before it: "nul.tar.gz" and
// "CON .txt" are devices too.
bool isWindowsDevice(QStringView name)
{
    const qsizetype dot = name.indexOf(u'.');
    QStringView stem = dot < 0 ? name : name.first(dot);
    while (stem.endsWith(u' '))
        stem.chop(1);
    if (stem.size() == 3) {
        for (const char16_t *device : {u"CON", u"PRN", u"AUX", u"NUL"})
            if (stem.compare(QStringView(device), Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
    if (stem.size() != 4
        || (!stem.startsWith(u"COM", Qt::CaseInsensitive)
            && !stem.startsWith(u"LPT", Qt::CaseInsensitive)))
        return false;
    const char16_t digit = stem[3].unicode();
    return (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2'
        || digit == u'\u00B3';
}

QString windowsProblem(QStringView name)
{
    for (const QChar c : name) {
        // Controls cannot be stored; the others are wildcards, redirection and
        // quoting in Win32 paths.
        if (c.unicode() < 0x20)
            return QStringLiteral("it contains a control character");
        if (QStringView(u"<>\"|?*").contains(c))
            return QStringLiteral("it contains %1, which Windows does not allow").arg(c);
    }
    // Win32 drops a trailing '.' or blank: "x." would save as, and load, "x".
    if (name.endsWith(u'.') || name.endsWith(u' '))
        return QStringLiteral("it ends with a dot or a space, which Windows drops");
    if (isWindowsDevice(name))
        return QStringLiteral("Windows reserves it for a device");
    return {};
}

} // namespace

QString profileNameProblem(const QString &name, NameRules rules)
{
    if (name.isEmpty())
        return QStringLiteral("it is empty");
    if (name.startsWith(u'.'))
        return QStringLiteral("it starts with a dot");
    if (name.contains(u'/') || name.contains(u'\\'))
        return QStringLiteral("it contains / or \\");
    if (name.contains(QChar(u'\0')))
        return QStringLiteral("it contains a NUL character");
    // A leading ':' makes Qt read a resource path, so the file lands outside
    // the folder; on Windows "C:x" is relative to a drive and "a:b" writes an
    // alternate data stream of "a".
    if (name.contains(u':'))
        return QStringLiteral("it contains :");
    return rules == NameRules::Windows ? windowsProblem(name) : QString();
}

QString profileNameProblem(const QString &name)
{
#ifdef Q_OS_WIN
    return profileNameProblem(name, NameRules::Windows);
#else
    return profileNameProblem(name, NameRules::Posix);
#endif
}

bool isValidProfileName(const QString &name, NameRules rules)
{
    return profileNameProblem(name, rules).isEmpty();
}

bool isValidProfileName(const QString &name)
{
    return profileNameProblem(name).isEmpty();
}

QStringList listProfiles(const QDir &folder)
{
    // Without QDir::Hidden dot files stay out; broken links and devices need
    // QDir::System and stay out too.
    QStringList names = folder.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    // A file left under a refused name (say "a:b" by an older version) could
    // be neither loaded nor deleted here.
    names.removeIf([](const QString &name) { return !isValidProfileName(name); });
    return names;
}

bool saveProfile(const QDir &folder, const QString &name,
                 const JoystickSoftwareSettings &joystick, const PedalsSoftwareSettings &pedals,
                 QString *problem)
{
    if (!acceptName(name, problem))
        return false;

    // The old file is replaced only by the rename in commit(). commit() does
    // not notice a failed flush (Qt 6.4: a full disk renamed a truncated file
    // over the old one), so the data is flushed and checked first; without a
    // commit the temporary file is discarded.
    QSaveFile file(folder.filePath(name));
    const bool written = file.open(QIODevice::WriteOnly)
        && file.write(reinterpret_cast<const char *>(&joystick), sizeof joystick)
            == qint64(sizeof joystick)
        && file.write(reinterpret_cast<const char *>(&pedals), sizeof pedals)
            == qint64(sizeof pedals)
        && file.flush();
    if (written && file.commit())
        return true;
    qWarning() << "Profile" << name << "not saved:" << file.errorString();
    return fail(problem, QStringLiteral("%1; an earlier profile of that name is unchanged")
                             .arg(file.errorString()));
}

bool loadProfile(const QDir &folder, const QString &name, JoystickSoftwareSettings &joystick,
                 PedalsSoftwareSettings &pedals, QString *problem)
{
    if (!acceptName(name, problem))
        return false;

    const QString path = folder.filePath(name);
    // Regular files only: opening a FIFO would block the window.
    if (!QFileInfo(path).isFile())
        return fail(problem, QStringLiteral("there is no such profile"));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Profile" << name << "not loaded:" << file.errorString();
        return fail(problem, file.errorString());
    }
    const QByteArray bytes = file.read(kProfileSize);
    if (bytes.size() < kProfileSize) {
        // Half a profile over the current records would be a mix of both.
        qWarning() << "Profile" << name << "not loaded:" << bytes.size() << "of" << kProfileSize
                   << "bytes";
        return fail(problem, QStringLiteral("the file is too short (%1 of %2 bytes)")
                                 .arg(bytes.size())
                                 .arg(kProfileSize));
    }
    std::memcpy(&joystick, bytes.constData(), sizeof joystick);
    std::memcpy(&pedals, bytes.constData() + sizeof joystick, sizeof pedals);
    return true;
}

bool removeProfile(const QDir &folder, const QString &name, QString *problem)
{
    if (!acceptName(name, problem))
        return false;

    const QString path = folder.filePath(name);
    if (QFile::remove(path))
        return true;
    // A name that is not there is nothing to warn about; one that stays is.
    if (!QFileInfo::exists(path))
        return fail(problem, QStringLiteral("there is no such profile"));
    qWarning() << "Profile" << name << "not deleted";
    return fail(problem, QStringLiteral("the file could not be removed"));
}

} // namespace vorkast::settings
