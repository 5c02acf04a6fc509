// The folders a path starts from: the user's home and the current folder.
#pragma once

#include <QString>

namespace quillon {

// The user's home folder as $HOME holds it, else as Qt finds it.
QString homeFolder();
// The path made absolute against the current folder and cleaned of "." and "..".
QString absolutePath(const QString& path);

} // namespace quillon
