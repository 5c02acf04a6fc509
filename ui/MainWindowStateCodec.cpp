#include "ui/MainWindowStateCodec.h"

#include <QDataStream>
#include <QIODevice>
#include <algorithm>

namespace quillon {

namespace MainWindowStateCodec {

namespace {

constexpr int VersionMarker = 0xff;
constexpr uchar DockWidgetMarker = 0xfd;
constexpr uchar ToolBarMarker = 0xfc;

} // namespace

int dockIndex(Qt::ToolBarArea area) {
    for (int i = 0; i < 4; ++i) {
        if (Docks[i] == area)
            return i;
    }
    return 2;
}

QRect ToolBarEntry::floatRect() const {
    const uint word0 = geom0 >> 1;
    return QRect(int(word0 & 0xffff) - 0x7fff, int(geom1 & 0xffff) - 0x7fff,
                 int(word0 >> 16) & 0xffff, int(geom1 >> 16) & 0xffff);
}

void ToolBarEntry::setFloatRect(const QRect& rect) {
    geom0 = ((uint(rect.width()) << 16) | (uint(rect.x() + 0x7fff) & 0xffff)) << 1 | 1;
    geom1 = (uint(rect.height()) << 16) | (uint(rect.y() + 0x7fff) & 0xffff);
}

QList<ToolBarPlace> placesOf(const QList<ToolBarLine>& lines, const ExtentOf& extentOf) {
    QList<ToolBarPlace> places;
    int linesInDock[4] = {0, 0, 0, 0};
    for (const ToolBarLine& line : lines) {
        if (line.dock < 0 || line.dock > 3)
            continue;
        const Qt::ToolBarArea area = Docks[line.dock];
        const int index = linesInDock[line.dock]++;
        int left = 0;
        for (const ToolBarEntry& entry : line.entries) {
            const int extent = extentOf(entry.name, area);
            if (extent < 0)
                continue;
            places.append({entry.name, area, index, left, (entry.shown & 1) != 0, entry.floating(),
                           entry.floating() ? entry.floatRect() : QRect()});
            if ((entry.shown & 1) && !entry.floating())
                left += entry.size > 0 ? entry.size : extent;
        }
    }
    return places;
}

QList<ToolBarLine> linesOf(const QList<ToolBarPlace>& places, const ExtentOf& extentOf) {
    QList<ToolBarLine> lines;
    for (int dock = 0; dock < 4; ++dock) {
        QList<ToolBarPlace> inDock;
        for (const ToolBarPlace& place : places) {
            if (dockIndex(place.area) == dock)
                inDock.append(place);
        }
        std::stable_sort(inDock.begin(), inDock.end(),
                         [](const ToolBarPlace& a, const ToolBarPlace& b) {
                             return a.line != b.line ? a.line < b.line : a.left < b.left;
                         });
        for (int i = 0; i < inDock.size();) {
            ToolBarLine line;
            line.dock = dock;
            int end = i;
            while (end < inDock.size() && inDock.at(end).line == inDock.at(i).line)
                ++end;
            for (int k = i; k < end; ++k) {
                const ToolBarPlace& place = inDock.at(k);
                ToolBarEntry entry;
                entry.name = place.name;
                entry.shown = place.shown ? 1 : 0;
                entry.pos = place.left;
                for (int next = k + 1; next < end; ++next) {
                    const int gap = inDock.at(next).left - place.left;
                    if (gap > 0) {
                        entry.size = std::max(gap, extentOf(place.name, place.area));
                        break;
                    }
                }
                if (place.floating)
                    entry.setFloatRect(place.floatRect);
                line.entries.append(entry);
            }
            lines.append(line);
            i = end;
        }
    }
    return lines;
}

bool decode(const QByteArray& bytes, WindowState* state) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_5_0);
    int marker = 0;
    int version = 0;
    in >> marker >> version;
    if (marker != VersionMarker)
        return false;
    qint64 headEnd = in.device()->pos();
    QList<ToolBarLine> lines;
    while (!in.atEnd()) {
        uchar section = 0;
        in >> section;
        if (section == DockWidgetMarker) {
            int docks = 0;
            in >> docks;
            if (docks != 0)
                return false;
            int width = 0;
            int height = 0;
            int corner = 0;
            in >> width >> height;
            for (int i = 0; i < 4; ++i)
                in >> corner;
            headEnd = in.device()->pos();
        } else if (section == ToolBarMarker) {
            int count = 0;
            in >> count;
            for (int i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
                ToolBarLine line;
                int entries = 0;
                in >> line.dock >> entries;
                for (int k = 0; k < entries && in.status() == QDataStream::Ok; ++k) {
                    ToolBarEntry entry;
                    in >> entry.name >> entry.shown >> entry.pos >> entry.size >> entry.geom0 >>
                        entry.geom1;
                    line.entries.append(entry);
                }
                lines.append(line);
            }
        } else {
            return false;
        }
    }
    if (in.status() != QDataStream::Ok)
        return false;
    state->head = bytes.left(headEnd);
    state->lines = lines;
    return true;
}

QByteArray encode(const WindowState& state) {
    QByteArray bytes = state.head;
    QDataStream out(&bytes, QIODevice::WriteOnly | QIODevice::Append);
    out.setVersion(QDataStream::Qt_5_0);
    out << ToolBarMarker << int(state.lines.size());
    for (const ToolBarLine& line : state.lines) {
        out << line.dock << int(line.entries.size());
        for (const ToolBarEntry& entry : line.entries)
            out << entry.name << entry.shown << entry.pos << entry.size << entry.geom0
                << entry.geom1;
    }
    return bytes;
}

} // namespace MainWindowStateCodec

} // namespace quillon
