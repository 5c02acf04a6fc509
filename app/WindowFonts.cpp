#include "app/WindowFonts.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>

namespace quillon {

bool drawsScaled() {
    return !qFuzzyCompare(qGuiApp->devicePixelRatio(), 1.0);
}

void registerWindowFaces() {
    static const bool registered = [] {
        // Wine's MS Sans Serif has bitmaps only (13, 16 and 20 pixels): sharp and as designed at
        // one pixel per unit, unevenly spaced when scaled. When the screen scales, the name
        // goes to Tahoma, an outline face of nearly the same metrics, so every size is drawn
        // from outlines.
        const bool scaled = drawsScaled();
        const char* const files[] = {"tahoma.ttf", "ms_sans_serif.ttf"};
        for (const char* file : files) {
            if (scaled && qstrcmp(file, "ms_sans_serif.ttf") == 0)
                continue;
            const QString path = QStringLiteral("/usr/share/wine/fonts/") + QLatin1String(file);
            if (QFileInfo::exists(path))
                QFontDatabase::addApplicationFont(path);
        }
        QFont::insertSubstitutions("MS Sans Serif", {"Tahoma", "Liberation Sans", "DejaVu Sans"});
        QFont::insertSubstitutions("Tahoma", {"DejaVu Sans", "Liberation Sans"});
        return true;
    }();
    Q_UNUSED(registered);
}

QFont windowFont() {
    registerWindowFaces();
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    return font;
}

QFont statusFont() {
    registerWindowFaces();
    QFont font("Tahoma");
    font.setPointSize(8);
    return font;
}

} // namespace quillon
