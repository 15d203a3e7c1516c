#include "loopback_site.h"

#include <QColor>
#include <QImage>
#include <QRandomGenerator>
#include <fstream>

namespace zx::bench {
namespace {

// Hue running across the picture, noise on top: saturated everywhere (so a
// painted view is told from an empty one by colour) and about as hard to
// compress as a photo.
QImage Picture(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(static_cast<quint32>(seed));
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int hue = (seed * 37 + x * 300 / width + y * 60 / height) % 360;
            const int value = 170 + static_cast<int>(random.bounded(80));
            row[x] = QColor::fromHsv(hue, 230, value).rgb();
        }
    }
    return image;
}

}  // namespace

LoopbackSite::LoopbackSite() : folder_("zx-bench-memory-"), server_(folder_.Path()) {
    listFile_ = folder_ / "bar.txt";
    std::ofstream list(listFile_, std::ios::binary);
    for (int i = 0; i < 20; ++i) {
        // Sizes from 200 x 150 up to about 600 x 450, both orientations.
        const int w = 200 + (i * 53) % 400, h = 150 + (i * 71) % 300;
        const bool png = i % 2 == 1;
        const std::string name = "/photo" + std::to_string(i + 1) + (png ? ".png" : ".jpg");
        Picture(w, h, i + 1).save(QString::fromStdString(folder_.Path() + name), png ? "PNG" : "JPEG", 85);
        list << server_.Url(name) << "\r\n";
    }
}

}  // namespace zx::bench
