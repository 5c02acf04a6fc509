// The tag commands of the two tag panes: save, remove, undo and clear.
#include "app/Main.h"

void TfmMain::btID3v1_SaveClick() {}

void TfmMain::btID3v2_SaveClick() {}

void TfmMain::btID3v1_RemoveClick() {}

void TfmMain::btID3v2_RemoveClick() {}

void TfmMain::btID3v1_UndoClick() {}

void TfmMain::btID3v2_UndoClick() {}

void TfmMain::btClearID3v1Click() {}

void TfmMain::btClearID3v2Click() {}

void TfmMain::btGlobCancelClick() {}
