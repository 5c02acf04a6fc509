// The Desktop as the file list shows it: no folder on disk, its items come from the shell
// services, each with its path under DesktopPathRole.
#pragma once

#include <Qt>

class QObject;
class QStandardItemModel;

namespace quillon {

constexpr int DesktopPathRole = Qt::UserRole + 1;

QStandardItemModel* makeDesktopModel(QObject* parent);

} // namespace quillon
