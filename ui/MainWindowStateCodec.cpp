#include "ui/MainWindowStateCodec.h"

#include <QDataStream>
#include <QIODevice>

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
