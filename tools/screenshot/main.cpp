// Shows the window with an audio file loaded and saves a picture of it.
// usage: quillon-screenshot AUDIOFILE PICTURE.png   (run it under xvfb-run)
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

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: quillon-screenshot AUDIOFILE PICTURE.png\n", stderr);
        return 2;
    }
    QuillonApplication app(argc, argv);
    AppDef::initPaths(QApplication::applicationFilePath());
    // A settings file of its own, so that every picture starts from the defaults.
    QTemporaryDir settings;
    AppDef::IniFileName = settings.filePath("quillon.ini");
    const QFileInfo audio(QString::fromLocal8Bit(argv[1]));

    TfmMain window;
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    window.ShellTree->openFolder(audio.absolutePath());
    if (!QTest::qWaitFor([&] { return window.ShellList->isFilled(); }, 10000))
        return 1;

    QAbstractItemView* view = window.ShellList->itemView();
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
    return picture.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
