// Application-wide values of the running program: where it lives and the
// settings file beside it.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace quillon {

namespace AppDef {
// Folder of the executable, with a trailing "/".
extern QString AppPath;
// The executable's path with its extension replaced by ".ini" (added when it has none); when
// the executable's folder cannot be written, "quillon/quillon.ini" in the user's
// configuration folder ($XDG_CONFIG_HOME, by default ~/.config).
extern QString IniFileName;
// Read from the settings file at start and written back unchanged at exit; kept as the
// file's bytes so that they survive whatever their encoding.
extern QByteArray LastFolder;
extern QByteArray LastDataFile;
// Set by the status bar's Cancel button; no command polls it.
extern bool GlobCancel;

// Sets AppPath and IniFileName from the executable's full path.
void initPaths(const QString& executablePath);
// The running program's path, by its bytes.
QString executablePath();

// What holds a file, as far as the stored window placement cares.
enum class DriveKind { Ordinary, Optical, Unknown };
// Asks the system (QStorageInfo) about the drive holding the file's folder.
DriveKind driveKindOf(const QString& fileName);
// Replaces the question to the system, so tests can pretend an optical disc; an empty
// function goes back to the system.
using DriveProbe = std::function<DriveKind(const QString& fileName)>;
void setDriveProbe(DriveProbe probe);
} // namespace AppDef

} // namespace quillon
