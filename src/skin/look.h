#pragma once
// The built-in look by name: the colours the code and the style sheet share,
// and the design font of the bar's site link, the popup and the about window.
#include <QColor>
#include <QFont>
#include <QString>

namespace zx {

// Text on the slate faces.
inline const QColor kInk(0xe9, 0xee, 0xf5);
// The bar's site link, the popup's caption and the default button's edge.
inline const QColor kLinkInk(0xcd, 0xd5, 0xde);
// Memos, edit boxes, lists and tool tips.
inline const QColor kEditFace(0xed, 0xf2, 0xf9);
// The version line written on the about picture.
inline const QColor kVersionInk(0x2b, 0x3a, 0x55);

// The style sheet names the shared colours "@LinkInk" and "@EditFace"; this
// fills them in.
QString WithSkinColours(QString sheet);

// Tahoma at 11 px (Debian's metric-compatible face where the system has no
// Tahoma), or the closest face the system has.
QFont DesignFont();

}  // namespace zx
