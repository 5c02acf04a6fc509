#include "app/BandGrid.h"

#include "display/BandRows.h"
#include "display/DisplayTexts.h"
#include "ui/InspectorGrid.h"

namespace quillon {

namespace {

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

InspectorRow::Kind rowKind(RowKind kind) {
    switch (kind) {
    case RowKind::Genre:
        return InspectorRow::Kind::Pick;
    case RowKind::Link:
        return InspectorRow::Kind::Hyperlink;
    case RowKind::Check:
        return InspectorRow::Kind::Check;
    case RowKind::Composite:
        return InspectorRow::Kind::Composite;
    case RowKind::Text:
    case RowKind::Number:
    case RowKind::LongText:
        break;
    }
    return InspectorRow::Kind::Text;
}

} // namespace

InspectorGrid* createBandGrid(const BandLayout& band) {
    auto* grid = new InspectorGrid;
    grid->setObjectName(fromView(band.grid));
    grid->setAccessibleName(fromView(band.caption));
    grid->setDividerPosition(band.dividerPosition);
    for (const BandRow& description : band.rows) {
        InspectorRow* row = grid->addRow(fromView(description.name), fromView(description.caption),
                                         rowKind(description.kind));
        if (description.kind == RowKind::Check)
            row->setCheckValues(BoolText(true), BoolText(false));
        if (description.centred)
            row->setAlignment(Qt::AlignCenter);
        row->setEditsInDialog(description.kind == RowKind::LongText);
    }
    QList<InspectorRow*> lines;
    for (const BandRow* line : bandLines(band)) {
        InspectorRow* row = grid->row(fromView(line->name));
        for (const BandRow* member : membersOf(band, line->name)) {
            row->addMember(grid->row(fromView(member->name)), member->width, member->minWidth,
                           fromView(member->fitText));
        }
        lines.append(row);
    }
    grid->setShownOrder(lines);
    return grid;
}

} // namespace quillon
