#include "skin/skin.h"

#include <zlib.h>

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QPalette>

#include "base/exception.h"
#include "qtext/qt_text.h"
#include "skin/look.h"

namespace zx {

namespace {
constexpr const char* kTahomaFile = "/usr/share/wine/fonts/tahoma.ttf";
}  // namespace

extern const unsigned char kSkinPacked[];
extern const std::size_t kSkinPackedSize;
extern const std::size_t kSkinSize;

std::string UnpackSkin() {
    std::string text(kSkinSize, '\0');
    uLongf size = kSkinSize;
    if (uncompress(reinterpret_cast<Bytef*>(text.data()), &size, kSkinPacked, kSkinPackedSize) != Z_OK ||
        size != kSkinSize)
        throw Exception("The built-in skin is damaged");
    return text;
}

QString WithSkinColours(QString sheet) {
    return sheet.replace("@LinkInk", kLinkInk.name()).replace("@EditFace", kEditFace.name());
}

QFont DesignFont() {
    // Debian ships a face with Tahoma's metrics (fonts-wine) outside the
    // system's font folders: the program adds it for itself when the system
    // has no Tahoma.
    static const bool added = [] {
        // (Not hasFamily, which answers for whatever face the system would
        // substitute.)
        if (!QFontDatabase::families().contains("Tahoma", Qt::CaseInsensitive))
            QFontDatabase::addApplicationFont(kTahomaFile);
        return true;
    }();
    (void)added;
    QFont font("Tahoma");
    font.setPixelSize(11);
    return font;
}

void ApplySkin(QApplication& app) {
    // Unpacked first: a damaged skin changes nothing, so that the error box
    // that reports it stays readable.
    const QString sheet = WithSkinColours(ToQString(UnpackSkin()));
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    app.setFont(font);
    QPalette palette = app.palette();
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) palette.setColor(role, kInk);
    app.setPalette(palette);
    app.setStyleSheet(sheet);
}

}  // namespace zx
