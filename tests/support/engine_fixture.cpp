#include "support/engine_fixture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QThread>
#include <QWebEnginePage>
#include <cstdlib>

#include "base/cell_document.h"
#include "base/text.h"

namespace zx::test {

LoopbackServer::LoopbackServer() {
    if (!listen(QHostAddress::LocalHost, 0)) std::abort();
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void LoopbackServer::Put(const QString& path, const QByteArray& body, const QByteArray& type) {
    files_[path] = {body, type};
}

QString LoopbackServer::Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path);
}

bool LoopbackServer::Requested(const QString& path) const {
    for (const QString& head : requests) {
        const QString prefix = QStringLiteral("GET ") + path;
        if (head.startsWith(prefix + QLatin1Char(' ')) || head.startsWith(prefix + QLatin1Char('?'))) return true;
    }
    return false;
}

void LoopbackServer::Serve(QTcpSocket* socket) {
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    if (head.size() > 65536) {
        socket->abort();
        return;
    }
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("head", head);
        return;
    }
    head.truncate(end);
    requests.append(QString::fromLatin1(head));
    const QList<QByteArray> parts = head.left(head.indexOf("\r\n")).split(' ');
    QString path = parts.size() >= 2 ? QString::fromLatin1(parts[1]) : QString();
    path.truncate(path.indexOf(QLatin1Char('?')) < 0 ? path.size() : path.indexOf(QLatin1Char('?')));
    QByteArray response;
    if (files_.contains(path)) {
        const auto& [body, type] = files_[path];
        response = "HTTP/1.1 200 OK\r\nContent-Type: " + type +
                   "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    } else {
        response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    }
    socket->write(response);
    socket->disconnectFromHost();
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

QVariant RunJs(QWebEnginePage& page, const QString& code) {
    QVariant result;
    bool done = false;
    page.runJavaScript(code, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    WaitFor([&] { return done; }, 10000);
    return result;
}

QByteArray PngOf(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::string CellPage(const std::string& address) {
    return JoinLinesCRLF(MakeImagePage(CellPageTemplate(), address));
}

std::string ActualSizePage(const std::string& address) {
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
           "\"http://www.w3.org/TR/html4/loose.dtd\">\r\n"
           "<html>\r\n<head>\r\n<title>Image</title>\r\n"
           "<body scroll=\"no\" TOPMARGIN=0 LEFTMARGIN=0 MARGINHEIGHT=0 MARGINWIDTH=0>\r\n"
           "<img margin=\"0\" border=\"0\" src=\"" +
           address + "\">\r\n</body>\r\n</head>\r\n</html>";
}

QRect BoxOf(const QImage& image, QColor colour) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    int left = img.width(), top = img.height(), right = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = row[x];
            if (std::abs(qRed(p) - colour.red()) < 40 && std::abs(qGreen(p) - colour.green()) < 40 &&
                std::abs(qBlue(p) - colour.blue()) < 40) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace zx::test
