#pragma once

#include "records.h"

#include <QDir>
#include <QString>
#include <QStringList>

// Profiles: one file per profile in the profiles folder, named exactly as the
// user typed it, holding the joystick and then the pedals effect record as raw
// byte images (399 bytes, no header). Files written by earlier versions of the
// tool have this very layout and must keep loading.
//
// Every operation takes the profiles folder itself; a name only ever selects
// an entry directly inside it. Refused names and failed writes are reported
// with one warning each and change nothing.
namespace vorkast::settings {

inline constexpr qint64 kProfileSize =
    qint64(sizeof(JoystickSoftwareSettings) + sizeof(PedalsSoftwareSettings));

// Which system's file names a profile name must also be.
enum class NameRules { Posix, Windows };

// A plain, visible file name on every system: not empty, no ':', path
// separator or NUL, and no leading '.', which also rules out "." and "..".
// Windows rules also refuse < > " | ? *, control characters, a trailing '.'
// or blank, and device names such as CON, nul.txt or COM1.
bool isValidProfileName(const QString &name, NameRules rules);
// By the rules of the system the tool runs on; all operations below use these.
bool isValidProfileName(const QString &name);

// Why a name is refused, in plain words ("it contains :"); empty when it is not.
QString profileNameProblem(const QString &name, NameRules rules);
QString profileNameProblem(const QString &name);

// The visible files of the folder whose names are valid, by name ignoring case.
QStringList listProfiles(const QDir &folder);

// Each operation below returns whether it did its work; when it did not and
// `problem` is given, that receives why, in plain words for the user.

// Replaces the profile as a whole or not at all.
bool saveProfile(const QDir &folder, const QString &name,
                 const JoystickSoftwareSettings &joystick, const PedalsSoftwareSettings &pedals,
                 QString *problem = nullptr);

// Fills both records from the first 399 bytes of the file. A missing or
// shorter file leaves both records as they were.
bool loadProfile(const QDir &folder, const QString &name, JoystickSoftwareSettings &joystick,
                 PedalsSoftwareSettings &pedals, QString *problem = nullptr);

// Removes the file; folders are never removed.
bool removeProfile(const QDir &folder, const QString &name, QString *problem = nullptr);

} // namespace vorkast::settings
