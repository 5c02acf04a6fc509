// Entry point of the Quillon window.
#include "app/Main.h"
#include "app/AppDef.h"
#include "app/ErrorGuard.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "tags/Journal.h"

#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace quillon;

namespace {

constexpr std::string_view Usage = "usage: quillon [QT-OPTION]... [FILE|FOLDER]...\n";

// Without a display Qt would abort with a long plugin message; say what to do.
bool haveDisplay() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("quillon %s\n", QUILLON_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", Usage.data());
            std::printf("Opens the window on each FOLDER, or on a FILE's folder with the file "
                        "loaded.\nQt's own options (-platform, -style...) are taken as well.\n");
            return 0;
        }
    }
    if (!haveDisplay()) {
        // Name the program as it can be run from here, wherever it is installed.
        char self[4096];
        const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
        const std::string program = length > 0 ? std::string(self, std::size_t(length)) : argv[0];
        std::fprintf(stderr,
                     "quillon: no display found (DISPLAY is not set); on a machine without one, "
                     "run it as: xvfb-run -a %s\n",
                     program.c_str());
        return 1;
    }
    QuillonApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName("Quillon");
    AppDef::initPaths(AppDef::executablePath());
    TfmMain fmMain;
    fmMain.show();
    // Saves that a crash interrupted are finished; a journal set aside is said once.
    for (const std::string& message : replayJournals())
        dialogs().warning(QString::fromStdString(message));
    // Qt has taken its own options out of the arguments; the rest are files and folders.
    QStringList paths;
    for (int i = 1; i < argc; ++i)
        paths.append(fileNameFromBytes(argv[i]));
    fmMain.openPaths(paths);
    return app.exec();
}
