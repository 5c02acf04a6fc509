// Reads the file list's columns from inside a file: the fields of its tags (ID3v2 first, ID3v1
// where the ID3v2 tag has none) and the bit rate and duration of its stream.
#pragma once

#include "ui/FileColumns.h"

namespace quillon {

// Reads the tags and the first frames only; safe on several threads at once.
FileColumnValues readFileColumns(const QString& path, FileColumnSet wanted);

// The settings' text of a set of columns ("Artist,Track"), and back; unknown names are skipped.
QString fileColumnsText(FileColumnSet columns);
FileColumnSet fileColumnsFromText(const QString& text);

} // namespace quillon
