#include "profilestore.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace vorkast::settings {

namespace {

bool acceptName(const QString &name)
{
    if (isValidProfileName(name))
        return true;
    qWarning() << "Profile name refused:" << name;
    return false;
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

bool windowsRefuses(QStringView name)
{
    for (const QChar c : name) {
        // Wildcards, redirection and quoting in Win32 paths; controls cannot be stored.
        if (c.unicode() < 0x20 || QStringView(u"<>\"|?*").contains(c))
            return true;
    }
    // Win32 drops a trailing '.' or blank: "x." would save as, and load, "x".
    if (name.endsWith(u'.') || name.endsWith(u' '))
        return true;
    return isWindowsDevice(name);
}

} // namespace

bool isValidProfileName(const QString &name, NameRules rules)
{
    // A leading ':' makes Qt read a resource path, so the file lands outside
    // the folder; on Windows "C:x" is relative to a drive and "a:b" writes an
    // alternate data stream of "a".
    const bool portable = !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/')
        && !name.contains(u'\\') && !name.contains(QChar(u'\0')) && !name.contains(u':');
    return portable && (rules != NameRules::Windows || !windowsRefuses(name));
}

bool isValidProfileName(const QString &name)
{
#ifdef Q_OS_WIN
    return isValidProfileName(name, NameRules::Windows);
#else
    return isValidProfileName(name, NameRules::Posix);
#endif
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
                 const JoystickSoftwareSettings &joystick, const PedalsSoftwareSettings &pedals)
{
    if (!acceptName(name))
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
    return false;
}

bool loadProfile(const QDir &folder, const QString &name, JoystickSoftwareSettings &joystick,
                 PedalsSoftwareSettings &pedals)
{
    if (!acceptName(name))
        return false;

    const QString path = folder.filePath(name);
    // Regular files only: opening a FIFO would block the window.
    if (!QFileInfo(path).isFile())
        return false;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Profile" << name << "not loaded:" << file.errorString();
        return false;
    }
    const QByteArray bytes = file.read(kProfileSize);
    if (bytes.size() < kProfileSize) {
        // Half a profile over the current records would be a mix of both.
        qWarning() << "Profile" << name << "not loaded:" << bytes.size() << "of" << kProfileSize
                   << "bytes";
        return false;
    }
    std::memcpy(&joystick, bytes.constData(), sizeof joystick);
    std::memcpy(&pedals, bytes.constData() + sizeof joystick, sizeof pedals);
    return true;
}

bool removeProfile(const QDir &folder, const QString &name)
{
    if (!acceptName(name))
        return false;

    const QString path = folder.filePath(name);
    if (QFile::remove(path))
        return true;
    // A name that is not there is nothing to report; one that stays is.
    if (QFileInfo::exists(path))
        qWarning() << "Profile" << name << "not deleted";
    return false;
}

} // namespace vorkast::settings
