#include "skin/pictures.h"

#include <QFile>

namespace zx {
namespace {
QByteArray Resource(const char* name) {
    QFile f(QString(":/pictures/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
QPixmap Png(const char* name) {
    QPixmap p;
    p.loadFromData(Resource(name), "PNG");
    return p;
}
}  // namespace

QPixmap LogoPicture() {
    return Png("logo.png");
}
QPixmap AboutPicture() {
    return Png("about.png");
}
QPixmap IconPicture() {
    return Png("icon.png");
}

QPixmap SplashPicture() {
    const QByteArray data = Resource("splash.jpg");
    return QPixmap::fromImage(DecodeJpeg(std::string_view(data.constData(), static_cast<size_t>(data.size()))));
}

}  // namespace zx
