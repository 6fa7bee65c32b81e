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

} // namespace

bool isValidProfileName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/')
        && !name.contains(u'\\') && !name.contains(QChar(u'\0'));
}

QStringList listProfiles(const QDir &folder)
{
    // Without QDir::Hidden dot files stay out; broken links and devices need
    // QDir::System and stay out too.
    return folder.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
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
