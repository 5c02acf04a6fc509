// Start-up, closing and shutdown of the main window.
#include "app/Main.h"

#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "ui/InspectorGrid.h"
#include "ui/SegmentProgressBar.h"

#include <QAction>
#include <QCloseEvent>

void TfmMain::FormCreate() {
    CurrentFile.clear();
    m_audioFile = std::make_unique<TMPEGaudio>();
    AudioFile = m_audioFile.get();
    ProgressBar->setValue(0);
    SetID3v1Modified(false);
    SetID3v2Modified(false);
    QStringList genres;
    for (const std::string_view name : GenreNames)
        genres.append(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    iID3v1_Genre->setPickItems(genres);
    iID3v2_Genre->setPickItems(iID3v1_Genre->pickItems());
    ClearFileInfo(true);
}

void TfmMain::FormDestroy() {
    m_audioFile.reset();
    AudioFile = nullptr;
}

bool TfmMain::FormCloseQuery() {
    if (bbConfQuit && bbConfQuit->isChecked())
        return dialogs().confirm("Quit the program?");
    return true;
}

void TfmMain::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TfmMain::bbCloseClick() {
    close();
}
