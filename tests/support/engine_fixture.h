#pragma once
// Helpers for the tests that run the real engine: a loopback HTTP server for
// images and pages, waiting on the event loop, the pages the program shows,
// and reading a view's pixels.
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QMap>
#include <QRect>
#include <QStringList>
#include <QTcpServer>
#include <QVariant>
#include <functional>
#include <string>

class QWebEnginePage;

namespace zx::test {

// Serves fixed bodies on 127.0.0.1 and remembers each request's head.
class LoopbackServer : public QTcpServer {
public:
    LoopbackServer();
    void Put(const QString& path, const QByteArray& body, const QByteArray& type);
    QString Url(const QString& path) const;
    // Request heads received so far, in order.
    QStringList requests;
    bool Requested(const QString& path) const;

private:
    void Serve(QTcpSocket* socket);
    QMap<QString, std::pair<QByteArray, QByteArray>> files_;
};

// Spins the event loop until `done` holds or `ms` pass; returns `done()`.
bool WaitFor(const std::function<bool()>& done, int ms = 15000);
// Spins the event loop for `ms`.
void Spin(int ms);

// Runs `code` in the page's own script world and returns its result.
QVariant RunJs(QWebEnginePage& page, const QString& code);

QByteArray PngOf(int width, int height, QColor colour);

// The cell page for an image address: marker line and template, CR LF joined.
std::string CellPage(const std::string& address);
// The popup's actual-size page for an image address.
std::string ActualSizePage(const std::string& address);

// The smallest rectangle holding every pixel close to `colour`; empty if none.
QRect BoxOf(const QImage& image, QColor colour);

}  // namespace zx::test
