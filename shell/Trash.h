// Moves items to the trash as the freedesktop.org trash layout has it, written here because
// Qt 6.4's QFile::moveToTrash writes the Path key unescaped: the home trash for items on the
// home's file system, that file system's own trash for items on another one.
#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace quillon {

class Trash {
public:
    // Moves the item (a link as the link) into a trash: its information file first, then the
    // item. False with the reason in `error` when no trash takes it; the item stays then.
    static bool moveToTrash(const QString& path, QString* error = nullptr);

    // For tests: which file system a path (not followed when a link) is on, in place of
    // lstat's device number; nothing when it cannot be told. An empty probe restores lstat.
    using DeviceProbe = std::function<std::optional<quint64>(const QByteArray& path)>;
    static void setDeviceProbe(DeviceProbe probe);
};

} // namespace quillon
