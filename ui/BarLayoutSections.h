// A bar manager's layout as sections of the settings file, named prefix + "Main", "Bar"N,
// "SubItem_"<name>, each with ".ItemLink"M after it; built on the manager's public interface.
#pragma once

#include "ui/IniSection.h"

#include <QList>

namespace quillon {

class BarManager;

QList<IniSection> layoutSections(const BarManager& bars, const QString& prefix);
// Applies sections produced by layoutSections; false, leaving the layout as it is, when "Main"
// is missing or has no BarCount of 0 or more. A bar's section without Row is left out.
// Submenus added after the layout was stored keep their built-in links in the bars and menus.
bool applyLayoutSections(BarManager& bars, const QList<IniSection>& sections,
                         const QString& prefix);

} // namespace quillon
