// The pictures of the ID3v2 tag in the window: the thumbnail of the front cover beside the
// ID3v2 rows, the large view, and the commands that add, remove and save pictures. An edit
// changes the tag object of the ID3v2 pane, which the pane's Save writes and its Undo reads
// again, like the rows.
#include "app/Main.h"

#include "app/ErrorGuard.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "tags/PictureInfo.h"
#include "ui/BarManager.h"
#include "ui/DropFilesTarget.h"
#include "ui/InspectorGrid.h"
#include "ui/PictureView.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QMimeDatabase>
#include <QSaveFile>
#include <algorithm>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillon {

namespace {

using Picture = std::decay_t<decltype(std::declval<const TID3v2&>().Pictures())>::value_type;

constexpr std::uint8_t kFrontCover = 3;
constexpr std::uint8_t kOtherPicture = 0;

const QString kImageFilter = QStringLiteral("JPEG and PNG pictures (*.jpg *.jpeg *.png)");
const QString kNotAPicture = QStringLiteral("\"%1\" is not a JPEG or PNG picture");
const QString kReadError = QStringLiteral("Cannot read \"%1\"");
const QString kWriteError = QStringLiteral("Error writing picture to \"%1\"");

QString fromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QByteArray bytesOf(const std::string& data) {
    return QByteArray(data.data(), qsizetype(data.size()));
}

// The picture a holder of the tag shows first: the front cover, else the first; -1 for none.
int shownPicture(const std::vector<Picture>& pictures) {
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (pictures[i].type == kFrontCover)
            return int(i);
    }
    return pictures.empty() ? -1 : 0;
}

// What tag readers everywhere take: JPEG and PNG, known by their first bytes.
QString pictureMime(const QByteArray& data) {
    if (data.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("image/jpeg");
    if (data.startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("image/png");
    return QString();
}

} // namespace

void TfmMain::createPictureThumbnail() {
    imID3v2Picture = new PictureThumbnail;
    imID3v2Picture->setObjectName("imID3v2Picture");
    imID3v2Picture->hide();
    auto* drop = new DropFilesTarget(imID3v2Picture);
    drop->setObjectName("dfID3v2Picture");
    connect(drop, &DropFilesTarget::dropped, this, [this](const QStringList& paths, const QPoint&) {
        runGuarded([&] { addPictureFiles(paths, true); });
    });
    connect(imID3v2Picture, &PictureThumbnail::clicked, this,
            [this] { runGuarded([this] { imID3v2PictureClick(); }); });
}

void TfmMain::createPictureCommands() {
    struct PictureCommand {
        const char* name;
        const char* caption;
        const char* hint;
        void (TfmMain::*handler)();
    };
    const PictureCommand commands[] = {
        {"bbShowPictures", "Show &Pictures...", "Show the pictures of the ID3v2 tag",
         &TfmMain::imID3v2PictureClick},
        {"bbAddPicture", "&Add Picture...", "Add a picture to the ID3v2 tag",
         &TfmMain::bbAddPictureClick},
        {"bbRemovePicture", "&Remove Picture", "Remove the picture from the ID3v2 tag",
         &TfmMain::bbRemovePictureClick},
        {"bbSavePictureAs", "&Save Picture As...", "Save the picture as a file",
         &TfmMain::bbSavePictureAsClick},
    };
    QMenu* tags = BarManager->submenu("bbTags");
    // A group of their own in the Tags menu, whatever else it holds.
    const bool group = BarManager->linkCount(tags) > 0;
    for (const PictureCommand& c : commands) {
        quillon::BarManager::Command command;
        command.name = c.name;
        command.caption = c.caption;
        command.hint = c.hint;
        command.category = "Tags";
        QAction* action = BarManager->addCommand(command);
        connect(action, &QAction::triggered, this,
                [this, handler = c.handler](bool) { runGuarded([&] { (this->*handler)(); }); });
        BarManager->addLink(tags, command.name, group && &c == commands);
        imID3v2Picture->addAction(action);
    }
    imID3v2Picture->setContextMenuPolicy(Qt::ActionsContextMenu);
    updatePictureCommands();
}

bool TfmMain::picturesEditable() const {
    return AudioFile && !readingInBackground() && !m_panes[1].widgets().grid->row(0)->isReadOnly();
}

void TfmMain::updatePictureCommands() {
    const bool editable = picturesEditable();
    const bool any = editable && !AudioFile->ID3v2Tag().Pictures().empty();
    BarManager->action("bbAddPicture")->setEnabled(editable);
    for (const char* name : {"bbShowPictures", "bbRemovePicture", "bbSavePictureAs"})
        BarManager->action(name)->setEnabled(any);
}

void TfmMain::showPictures() {
    const std::vector<Picture>& pictures = AudioFile->ID3v2Tag().Pictures();
    const int shown = shownPicture(pictures);
    imID3v2Picture->setPicture(shown < 0 ? QByteArray() : bytesOf(pictures[shown].data));
    imID3v2Picture->setVisible(shown >= 0);
    if (m_pictureDialog && m_pictureDialog->isVisible())
        fillPictureDialog(shown);
    updatePictureCommands();
}

void TfmMain::clearPictures() {
    imID3v2Picture->setPicture(QByteArray());
    imID3v2Picture->hide();
    if (m_pictureDialog && m_pictureDialog->isVisible())
        m_pictureDialog->setPictures({}, -1);
    updatePictureCommands();
}

void TfmMain::fillPictureDialog(int current) {
    QList<PictureEntry> entries;
    for (const Picture& picture : AudioFile->ID3v2Tag().Pictures()) {
        entries.append({QString::fromLatin1(pictureTypeName(picture.type).data(),
                                            qsizetype(pictureTypeName(picture.type).size())),
                        fromStd(picture.mime), fromStd(picture.description),
                        bytesOf(picture.data)});
    }
    m_pictureDialog->setPictures(entries, current);
}

int TfmMain::currentPicture() const {
    const std::vector<Picture>& pictures = AudioFile->ID3v2Tag().Pictures();
    if (m_pictureDialog && m_pictureDialog->isVisible()) {
        const int chosen = m_pictureDialog->currentIndex();
        if (chosen >= 0 && chosen < int(pictures.size()))
            return chosen;
    }
    return shownPicture(pictures);
}

// Not modal: the list and the panes stay at hand, and the view follows the pane's pictures.
void TfmMain::imID3v2PictureClick() {
    if (!picturesEditable() || AudioFile->ID3v2Tag().Pictures().empty())
        return;
    if (!m_pictureDialog) {
        m_pictureDialog = new PictureDialog(this);
        m_pictureDialog->list()->setContextMenuPolicy(Qt::ActionsContextMenu);
        for (const char* name : {"bbRemovePicture", "bbSavePictureAs"})
            m_pictureDialog->list()->addAction(BarManager->action(name));
    }
    fillPictureDialog(shownPicture(AudioFile->ID3v2Tag().Pictures()));
    m_pictureDialog->show();
    m_pictureDialog->raise();
}

bool TfmMain::addPictureFiles(const QStringList& paths, bool warn) {
    if (!picturesEditable() || paths.isEmpty())
        return false;
    std::vector<Picture> pictures = AudioFile->ID3v2Tag().Pictures();
    // The first picture added becomes the front cover unless the tag has one.
    bool hasFront = std::any_of(pictures.begin(), pictures.end(),
                                [](const Picture& p) { return p.type == kFrontCover; });
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            if (warn)
                dialogs().warning(kReadError.arg(displayFileName(path)));
            return false;
        }
        const QByteArray data = file.readAll();
        const QString mime = pictureMime(data);
        if (mime.isEmpty()) {
            if (warn)
                dialogs().warning(kNotAPicture.arg(displayFileName(path)));
            return false;
        }
        Picture picture;
        picture.type = hasFront ? kOtherPicture : kFrontCover;
        hasFront = true;
        picture.mime = mime.toStdString();
        picture.data = data.toStdString();
        pictures.push_back(std::move(picture));
    }
    AudioFile->ID3v2Tag().SetPictures(std::move(pictures));
    m_panes[1].setModified(true);
    showPictures();
    return true;
}

void TfmMain::bbAddPictureClick() {
    if (!picturesEditable())
        return;
    const QString path = dialogs().openFileName(QStringLiteral("Add Picture"), kImageFilter);
    if (!path.isEmpty())
        addPictureFiles({path}, true);
}

void TfmMain::bbRemovePictureClick() {
    if (!picturesEditable())
        return;
    const int index = currentPicture();
    if (index < 0)
        return;
    std::vector<Picture> pictures = AudioFile->ID3v2Tag().Pictures();
    pictures.erase(pictures.begin() + index);
    AudioFile->ID3v2Tag().SetPictures(std::move(pictures));
    m_panes[1].setModified(true);
    showPictures();
}

void TfmMain::bbSavePictureAsClick() {
    if (!picturesEditable())
        return;
    const int index = currentPicture();
    if (index < 0)
        return;
    const Picture& picture = AudioFile->ID3v2Tag().Pictures()[std::size_t(index)];
    const QString suffix = QMimeDatabase().mimeTypeForName(fromStd(picture.mime)).preferredSuffix();
    const QString folder = CurrentFile.left(CurrentFile.lastIndexOf(QLatin1Char('/')) + 1);
    const QString name = QString::fromLatin1(pictureTypeName(picture.type).data(),
                                             qsizetype(pictureTypeName(picture.type).size()));
    const QString path = dialogs().saveFileName(
        QStringLiteral("Save Picture As"),
        folder + name + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix),
        QStringLiteral("Pictures (*.%1);;All files (*)").arg(suffix.isEmpty() ? "*" : suffix));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray data = bytesOf(picture.data);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        dialogs().warning(kWriteError.arg(displayFileName(path)));
}

} // namespace quillon
