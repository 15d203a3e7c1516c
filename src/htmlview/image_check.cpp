#include "htmlview/image_check.h"

#include <QSize>
#include <algorithm>
#include <cstdlib>

namespace zx {
namespace {

uint32_t Le16(const QByteArray& d, qsizetype at) {
    return uint32_t(uint8_t(d[at])) | uint32_t(uint8_t(d[at + 1])) << 8;
}
uint32_t Le24(const QByteArray& d, qsizetype at) {
    return Le16(d, at) | uint32_t(uint8_t(d[at + 2])) << 16;
}
uint32_t Le32(const QByteArray& d, qsizetype at) {
    return Le16(d, at) | Le16(d, at + 2) << 16;
}
uint32_t Be16(const QByteArray& d, qsizetype at) {
    return uint32_t(uint8_t(d[at])) << 8 | uint32_t(uint8_t(d[at + 1]));
}
uint32_t Be32(const QByteArray& d, qsizetype at) {
    return uint32_t(uint8_t(d[at])) << 24 | uint32_t(uint8_t(d[at + 1])) << 16 | uint32_t(uint8_t(d[at + 2])) << 8 |
           uint32_t(uint8_t(d[at + 3]));
}

// A declared size as a QSize; a side too long for an int stands as the
// longest one, which the bounds refuse anyway.
QSize Clamped(uint32_t w, uint32_t h) {
    constexpr uint32_t kMost = 1u << 30;
    return QSize(int(std::min(w, kMost)), int(std::min(h, kMost)));
}

qint64 Pixels(QSize size) {
    return qint64(size.width()) * size.height();
}

bool WithinBounds(QSize size) {
    return size.isValid() && size.width() <= kLongestImageSide && size.height() <= kLongestImageSide &&
           qint64(size.width()) * size.height() <= kMostImagePixels;
}

// An XML document, as an SVG file starts: markup after an optional byte
// order mark and white space.
bool LooksLikeMarkup(const QByteArray& data) {
    qsizetype at = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < data.size() && (data[at] == ' ' || data[at] == '\t' || data[at] == '\r' || data[at] == '\n')) ++at;
    return at < data.size() && data[at] == '<';
}

ImageVerdict Refused(std::string reason) {
    return {false, {}, std::move(reason)};
}

// The size the head of a file in one format declares (the largest when it
// declares several); invalid when the data is not of that format.
QSize DeclaredPngSize(const QByteArray& d) {
    if (d.size() < 24 || !d.startsWith("\x89PNG\r\n\x1a\n") || d.mid(12, 4) != "IHDR") return {};
    return Clamped(Be32(d, 16), Be32(d, 20));
}

QSize DeclaredGifSize(const QByteArray& d) {
    // The canvas, and every frame: the engine widens the canvas to hold a
    // frame that does not fit.
    if (d.size() < 13 || !(d.startsWith("GIF87a") || d.startsWith("GIF89a"))) return {};
    uint32_t w = Le16(d, 6), h = Le16(d, 8);
    qsizetype at = 13;
    if (uint8_t(d[10]) & 0x80) at += 3 * (qsizetype(2) << (uint8_t(d[10]) & 7));
    auto skipBlocks = [&] {
        while (at < d.size() && uint8_t(d[at]) != 0) at += 1 + uint8_t(d[at]);
        ++at;
    };
    while (at < d.size()) {
        const char kind = d[at];
        if (kind == ';') break;
        if (kind == '!' && at + 2 <= d.size()) {
            at += 2;
            skipBlocks();
        } else if (kind == ',' && at + 10 <= d.size()) {
            w = std::max(w, Le16(d, at + 1) + Le16(d, at + 5));
            h = std::max(h, Le16(d, at + 3) + Le16(d, at + 7));
            const uint8_t flags = uint8_t(d[at + 9]);
            at += 10;
            if (flags & 0x80) at += 3 * (qsizetype(2) << (flags & 7));
            ++at;  // the code size
            skipBlocks();
        } else {
            break;
        }
    }
    return Clamped(w, h);
}

QSize DeclaredJpegSize(const QByteArray& d) {
    // The largest frame header (SOF0 to SOF15 but DHT, JPG and DAC).
    if (d.size() < 4 || uint8_t(d[0]) != 0xFF || uint8_t(d[1]) != 0xD8) return {};
    QSize largest;
    for (qsizetype at = 2; at + 9 <= d.size();) {
        if (uint8_t(d[at]) != 0xFF) return largest;
        const uint8_t marker = uint8_t(d[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            const QSize size = Clamped(Be16(d, at + 7), Be16(d, at + 5));
            if (!largest.isValid() || Pixels(size) > Pixels(largest)) largest = size;
        }
        if (marker == 0xDA) return largest;  // the picture's data follows
        at += 2 + Be16(d, at + 2);
    }
    return largest;
}

QSize DeclaredBmpSize(const QByteArray& d) {
    if (d.size() < 26 || !d.startsWith("BM")) return {};
    const auto w = int32_t(Le32(d, 18)), h = int32_t(Le32(d, 22));
    return Clamped(uint32_t(std::abs(int64_t(w))), uint32_t(std::abs(int64_t(h))));
}

QSize DeclaredIcoSize(const QByteArray& d) {
    // Each entry says up to 256 x 256; one that holds a PNG has the PNG's own.
    if (d.size() < 6 || Le16(d, 0) != 0 || Le16(d, 2) != 1) return {};
    QSize largest;
    for (uint32_t i = 0, n = Le16(d, 4); i < n; ++i) {
        const qsizetype entry = 6 + 16 * qsizetype(i);
        if (entry + 16 > d.size()) return {};
        QSize size(uint8_t(d[entry]) ? uint8_t(d[entry]) : 256, uint8_t(d[entry + 1]) ? uint8_t(d[entry + 1]) : 256);
        const QByteArray inner = d.mid(Le32(d, entry + 12), 24);
        if (inner.startsWith("\x89PNG")) size = DeclaredPngSize(inner);
        if (!size.isValid()) return {};
        if (!largest.isValid() || Pixels(size) > Pixels(largest)) largest = size;
    }
    return largest;
}

QSize DeclaredWebpSize(const QByteArray& d) {
    if (d.size() < 30 || !d.startsWith("RIFF") || d.mid(8, 4) != "WEBP") return {};
    const QByteArray chunk = d.mid(12, 4);
    if (chunk == "VP8X") return Clamped(Le24(d, 24) + 1, Le24(d, 27) + 1);
    if (chunk == "VP8 ") return Clamped(Le16(d, 26) & 0x3FFF, Le16(d, 28) & 0x3FFF);
    if (chunk == "VP8L" && uint8_t(d[20]) == 0x2F) {
        const uint32_t bits = Le32(d, 21);
        return Clamped((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    return {};
}

QSize DeclaredAvifSize(const QByteArray& d) {
    // Every image item carries an "ispe" property: version and flags, then
    // width and height as 32-bit numbers. The largest one counts.
    if (d.size() < 12 || d.mid(4, 4) != "ftyp") return {};
    QSize largest;
    for (qsizetype at = d.indexOf("ispe"); at >= 0 && at + 16 <= d.size(); at = d.indexOf("ispe", at + 4)) {
        const QSize size = Clamped(Be32(d, at + 8), Be32(d, at + 12));
        if (!largest.isValid() || Pixels(size) > Pixels(largest)) largest = size;
    }
    return largest;
}

}  // namespace

ImageVerdict CheckImage(const QByteArray& data) {
    static const struct {
        QSize (*declared)(const QByteArray&);
        const char* mime;
    } kFormats[] = {
        {DeclaredPngSize, "image/png"},   {DeclaredGifSize, "image/gif"},    {DeclaredJpegSize, "image/jpeg"},
        {DeclaredBmpSize, "image/bmp"},   {DeclaredIcoSize, "image/x-icon"}, {DeclaredWebpSize, "image/webp"},
        {DeclaredAvifSize, "image/avif"},
    };
    for (const auto& format : kFormats) {
        const QSize size = format.declared(data);
        if (!size.isValid()) continue;
        if (!WithinBounds(size)) return Refused(std::string(format.mime) + " too large to show");
        return {true, format.mime, {}};
    }
    if (LooksLikeMarkup(data)) {
        // Entities are declared in the document type; without one nothing
        // can expand.
        if (data.contains("<!DOCTYPE") || data.contains("<!ENTITY"))
            return Refused("an SVG document that declares a document type");
        return {true, "image/svg+xml", {}};
    }
    return Refused("not a picture the views show, or one without a size");
}

}  // namespace zx
