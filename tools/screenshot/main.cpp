// Shows the window with an audio file loaded and saves a picture of it, in the default palette
// or, with --dark, in a dark one such as a dark desktop theme gives.
// usage: quillon-screenshot [--dark] AUDIOFILE PICTURE.png   (run it under xvfb-run)
#include "app/Main.h"
#include "app/AppDef.h"
#include "app/ErrorGuard.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>

using namespace quillon;

namespace {

// The colours of a common dark theme (Breeze Dark's main ones).
QPalette darkPalette() {
    QPalette palette;
    const QColor window(0x2A, 0x2E, 0x32);
    const QColor base(0x1B, 0x1E, 0x20);
    const QColor text(0xFC, 0xFC, 0xFC);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::Button, QColor(0x31, 0x36, 0x3B));
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::ToolTipText,
          QPalette::BrightText, QPalette::HighlightedText})
        palette.setColor(role, text);
    palette.setColor(QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9));
    palette.setColor(QPalette::Link, QColor(0x1D, 0x99, 0xF3));
    palette.setColor(QPalette::Light, QColor(0x40, 0x46, 0x4C));
    palette.setColor(QPalette::Midlight, QColor(0x36, 0x3B, 0x40));
    palette.setColor(QPalette::Mid, QColor(0x22, 0x25, 0x28));
    palette.setColor(QPalette::Dark, QColor(0x14, 0x16, 0x18));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::PlaceholderText, QColor(0xA1, 0xA9, 0xB1));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(QPalette::Disabled, role, QColor(0x6E, 0x71, 0x73));
    return palette;
}

} // namespace

int main(int argc, char** argv) {
    const bool dark = argc == 4 && std::strcmp(argv[1], "--dark") == 0;
    if (argc != 3 && !dark) {
        std::fputs("usage: quillon-screenshot [--dark] AUDIOFILE PICTURE.png\n", stderr);
        return 2;
    }
    QuillonApplication app(argc, argv);
    if (dark)
        QApplication::setPalette(darkPalette());
    AppDef::initPaths(QApplication::applicationFilePath());
    // A settings file of its own, so that every picture starts from the defaults.
    QTemporaryDir settings;
    AppDef::IniFileName = settings.filePath("quillon.ini");
    const QFileInfo audio(QString::fromLocal8Bit(argv[argc - 2]));

    TfmMain window;
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    window.findChild<ShellTreeView*>("ShellTree")->openFolder(audio.absolutePath());
    auto* list = window.findChild<ShellListView*>("ShellList");
    if (!QTest::qWaitFor([&] { return list->isFilled(); }, 10000))
        return 1;

    QAbstractItemView* view = list->itemView();
    const QModelIndex root = view->rootIndex();
    QModelIndex target;
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
        const QModelIndex index = view->model()->index(row, 0, root);
        if (index.data().toString() == audio.fileName())
            target = index;
    }
    if (!target.isValid()) {
        std::fputs("quillon-screenshot: the file is not in the list\n", stderr);
        return 1;
    }
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(target).center());
    QTest::qWait(500);
    const QPixmap picture = window.screen()->grabWindow(
        0, window.frameGeometry().x(), window.frameGeometry().y(), window.frameGeometry().width(),
        window.frameGeometry().height());
    return picture.save(QString::fromLocal8Bit(argv[argc - 1])) ? 0 : 1;
}
