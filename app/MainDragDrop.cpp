// Drag and drop of tags and file names.
#include "app/Main.h"

void TfmMain::dfID3v1DropFiles(const QStringList&, const QPoint&) {}

void TfmMain::dfID3v2DropFiles(const QStringList&, const QPoint&) {}
