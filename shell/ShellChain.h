// The way down the shell namespace to an item, shared by the folder tree and the drive combo.
#pragma once

#include "shell/ShellItem.h"

#include <QList>

namespace quillon {

// The Desktop child the item lies under (the one whose path is the longest prefix of the
// item's, so ~/Music comes under Home rather than "/"), then each folder below it down to
// the item itself. Empty for the Desktop and for items outside the namespace.
QList<ShellItem> shellChainTo(const ShellItem& target);

} // namespace quillon
