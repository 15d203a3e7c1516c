#pragma once
// Whether the views may be handed an image: what its head declares decides,
// before anything decodes it. A picture costs its width times its height times
// four bytes once decoded, whatever its file's size (a 35-byte GIF can declare
// a canvas of two gigabytes), and an SVG document that declares entities can
// expand without end.
#include <QByteArray>
#include <string>

namespace zx {

// Pictures up to this many pixels are shown: a 6000 x 4000 photograph and
// some to spare, about 150 MiB decoded.
inline constexpr qint64 kMostImagePixels = 36'000'000;
// Longer than this on either side is refused even when thin.
inline constexpr int kLongestImageSide = 32'768;

struct ImageVerdict {
    bool accepted = false;
    QByteArray mimeType;  // when accepted
    std::string reason;   // when refused
};

// Judges a whole image file. Accepted are PNG, GIF, JPEG, BMP, ICO, WebP and
// AVIF whose declared size is within the bounds, and SVG documents without a
// document type or entity declaration. Anything else is refused.
ImageVerdict CheckImage(const QByteArray& data);

}  // namespace zx
