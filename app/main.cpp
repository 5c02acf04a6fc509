// Entry point of the Quillon window.
#include "app/Main.h"
#include "app/AppDef.h"
#include "app/ErrorGuard.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

namespace {

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
    if (!haveDisplay()) {
        std::fputs("quillon: no display found (DISPLAY is not set); on a machine without one, "
                   "run it as: xvfb-run -a quillon\n",
                   stderr);
        return 1;
    }
    QuillonApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName("Quillon");
    AppDef::initPaths(QApplication::applicationFilePath());
    TfmMain fmMain;
    fmMain.show();
    return app.exec();
}
