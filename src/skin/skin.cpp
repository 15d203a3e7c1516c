#include "skin/skin.h"

#include <zlib.h>

#include <QApplication>
#include <QFont>
#include <QPalette>

#include "base/exception.h"
#include "qtext/qt_text.h"
#include "skin/look.h"

namespace zx {

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
