// The file list's columns whose values come from inside the files (their tags and stream), and
// the reader that fills them: the window supplies it, the folder model runs it on its worker
// threads as it reads a folder.
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <functional>
#include <string_view>

namespace quillon {

enum class FileColumn { Artist, Title, Album, Track, Year, Genre, BitRate, Duration };
inline constexpr int FileColumnCount = 8;

struct FileColumnInfo {
    std::string_view key; // in the settings
    std::string_view caption;
    bool numeric; // sorts by number, aligned right
};

// In the order they follow the list's own columns.
inline constexpr std::array<FileColumnInfo, FileColumnCount> FileColumns = {{
    {"Artist", "Artist", false},
    {"Title", "Title", false},
    {"Album", "Album", false},
    {"Track", "Track", true},
    {"Year", "Year", true},
    {"Genre", "Genre", false},
    {"BitRate", "Bit rate", true},
    {"Duration", "Duration", true},
}};

// A set of columns, one bit per FileColumn.
using FileColumnSet = quint32;

inline constexpr FileColumnSet columnBit(int column) {
    return FileColumnSet(1) << column;
}

// One file's values: the text shown, and for numeric columns the number it sorts by (-1 when
// the file has none, which sorts first).
struct FileColumnValues {
    std::array<QString, FileColumnCount> text;
    std::array<qint64, FileColumnCount> number;

    FileColumnValues() { number.fill(-1); }
    bool operator==(const FileColumnValues&) const = default;
};

// Reads the `wanted` columns of one file. Runs on worker threads, on several at once.
using FileColumnReader = std::function<FileColumnValues(const QString& path, FileColumnSet wanted)>;

} // namespace quillon
