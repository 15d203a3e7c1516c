#include "image_server.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <cstdlib>

namespace zx::bench {
namespace {

// A gradient with noise and shapes: compresses about as well as a photo.
QByteArray Picture(int width, int height, const char* format, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(static_cast<quint32>(seed));
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = static_cast<int>(random.bounded(48));
            row[x] = qRgb((x * 255 / width + n) & 0xff, (y * 255 / height + n) & 0xff, (seed * 60 + n) & 0xff);
        }
    }
    QPainter painter(&image);
    for (int i = 0; i < 12; ++i) {
        painter.setBrush(QColor::fromHsv(static_cast<int>(random.bounded(360)), 200, 220));
        painter.drawEllipse(QPoint(static_cast<int>(random.bounded(width)), static_cast<int>(random.bounded(height))),
                            width / 8, height / 8);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 85);
    return bytes;
}

}  // namespace

ImageServer::ImageServer() {
    files_[QStringLiteral("/photo1.jpg")] = {Picture(1024, 768, "JPEG", 1), "image/jpeg"};
    files_[QStringLiteral("/photo2.jpg")] = {Picture(800, 1200, "JPEG", 2), "image/jpeg"};
    files_[QStringLiteral("/photo3.jpg")] = {Picture(640, 480, "JPEG", 3), "image/jpeg"};
    files_[QStringLiteral("/banner.png")] = {Picture(600, 200, "PNG", 4), "image/png"};
    files_[QStringLiteral("/icon.png")] = {Picture(256, 256, "PNG", 5), "image/png"};
    if (!listen(QHostAddress::LocalHost, 0)) std::abort();
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QStringList ImageServer::Addresses() const {
    QStringList addresses;
    for (const QString& path : files_.keys())
        addresses << QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path);
    return addresses;
}

void ImageServer::Serve(QTcpSocket* socket) {
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    if (head.size() > 65536) {
        socket->abort();
        return;
    }
    if (!head.contains("\r\n\r\n")) {
        socket->setProperty("head", head);
        return;
    }
    const QList<QByteArray> parts = head.left(head.indexOf("\r\n")).split(' ');
    const QString path = parts.size() >= 2 ? QString::fromLatin1(parts[1]) : QString();
    if (files_.contains(path)) {
        const auto& [body, type] = files_[path];
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    } else {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }
    socket->disconnectFromHost();
}

}  // namespace zx::bench
