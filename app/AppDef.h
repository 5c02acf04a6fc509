// Application-wide values of the running program: where it lives and the
// settings file beside it.
#pragma once

#include <QString>

namespace AppDef {
// Folder of the executable, with a trailing "/".
extern QString AppPath;
// The executable's path with its extension replaced by ".ini" (added when it has none).
extern QString IniFileName;
// Read from the settings file at start and written back unchanged at exit.
extern QString LastFolder;
extern QString LastDataFile;

// Sets AppPath and IniFileName from the executable's full path.
void initPaths(const QString& executablePath);
} // namespace AppDef
