// The window's commands on the whole ID3v2 tag: the list of the frames its rows do not show,
// and the conversion between revisions 2.3 and 2.4.
#include "app/Main.h"

#include "app/ErrorGuard.h"
#include "app/FailureText.h"
#include "app/TagDialogs.h"
#include "display/FrameTexts.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "tags/ID3v2.h"
#include "ui/BarManager.h"

#include <QAction>
#include <QMenu>
#include <QStyle>
#include <QToolButton>

namespace quillon {

namespace {

const QString kConvertWarning = QStringLiteral("Error writing ID3 tag to \"%1\"");

} // namespace

void TfmMain::createWholeTagCommands() {
    auto command = [](const char* name, const char* caption, const char* hint) {
        quillon::BarManager::Command c;
        c.name = name;
        c.caption = caption;
        c.hint = hint;
        c.category = "Tags";
        return c;
    };
    QAction* others =
        BarManager->addCommand(command("bbOtherFrames", "Other Frames...", "Other Frames"));
    QAction* to23 = BarManager->addCommand(
        command("bbConvertToV23", "Convert to ID3v2.3", "Convert to ID3v2.3"));
    QAction* to24 = BarManager->addCommand(
        command("bbConvertToV24", "Convert to ID3v2.4", "Convert to ID3v2.4"));
    QMenu* tags = BarManager->submenu("bbTags");
    BarManager->addLink(tags, "bbOtherFrames", true);
    BarManager->addLink(tags, "bbConvertToV23", true);
    BarManager->addLink(tags, "bbConvertToV24");
    connect(others, &QAction::triggered, this,
            [this] { runGuarded([this] { bbOtherFramesClick(); }); });
    connect(to23, &QAction::triggered, this, [this] { runGuarded([this] { bbConvertClick(3); }); });
    connect(to24, &QAction::triggered, this, [this] { runGuarded([this] { bbConvertClick(4); }); });
    connect(tags, &QMenu::aboutToShow, this, [this] { updateWholeTagCommands(); });

    // The list is opened from the ID3v2 band too, from its speed bar.
    QWidget* bar = m_panes[1].widgets().speedBar;
    auto* button = new QToolButton(bar);
    button->setObjectName("btID3v2_OtherFrames");
    button->setAutoRaise(true);
    button->setIcon(bar->style()->standardIcon(QStyle::SP_FileDialogListView));
    button->setIconSize(QSize(14, 14));
    button->setToolTip("Other Frames");
    button->setAccessibleName("Other Frames");
    button->setGeometry(86, 2, 20, 17);
    connect(button, &QToolButton::clicked, others, &QAction::trigger);
    updateWholeTagCommands();
}

void TfmMain::updateWholeTagCommands() {
    const bool shown = !readingInBackground() && !CurrentFile.isEmpty() && AudioFile &&
                       AudioFile->ID3v2Tag().Exists();
    const int revision = shown ? AudioFile->ID3v2Tag().VersionId() : 0;
    BarManager->action("bbOtherFrames")->setEnabled(shown);
    BarManager->action("bbConvertToV23")->setEnabled(shown && revision != 3);
    BarManager->action("bbConvertToV24")->setEnabled(shown && revision != 4);
}

void TfmMain::bbOtherFramesClick() {
    updateWholeTagCommands();
    if (!BarManager->action("bbOtherFrames")->isEnabled())
        return;
    QList<OtherFrameTexts> frames;
    for (const TOtherFrame& frame : AudioFile->ID3v2Tag().OtherFrames())
        frames.append(otherFrameTexts(frame));
    auto* dialog = new OtherFramesDialog(displayFileName(CurrentFile), frames, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

// Edits of the pane are saved first, through the pane's own Save and its question; a
// conversion goes ahead only over a pane that shows the file.
void TfmMain::bbConvertClick(int major) {
    updateWholeTagCommands();
    if (!BarManager->action(major == 3 ? "bbConvertToV23" : "bbConvertToV24")->isEnabled())
        return;
    TagPane& pane = m_panes[1];
    if (pane.isModified()) {
        paneCommand(pane, &TagPane::save);
        if (pane.isModified())
            return;
    }
    TID3v2& tag = AudioFile->ID3v2Tag();
    if (!tag.Exists() || tag.VersionId() == major || !mayWriteLoadedFile())
        return;
    const std::vector<std::string> losses = tag.ConversionLosses(major);
    const QString question = conversionQuestion(major, displayFileName(CurrentFile), losses);
    if (!(losses.empty() ? dialogs().confirm(question) : dialogs().confirmDefaultNo(question)))
        return;
    tag.ConvertTo(major);
    const bool written = tag.Save(nativePath(CurrentFile));
    if (!written)
        dialogs().warning(withTagWriteReason(kConvertWarning.arg(displayFileName(CurrentFile))));
    // Either way the pane shows the file as it now is, the conversion no longer pending.
    reloadPane(pane);
}

} // namespace quillon
