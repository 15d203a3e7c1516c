#pragma once
// A loopback HTTP server with a few photo-like JPEG and PNG images.
#include <QByteArray>
#include <QMap>
#include <QStringList>
#include <QTcpServer>

namespace zx::bench {

class ImageServer : public QTcpServer {
public:
    ImageServer();
    // Addresses of the images it serves.
    QStringList Addresses() const;

private:
    void Serve(class QTcpSocket* socket);
    QMap<QString, std::pair<QByteArray, QByteArray>> files_;  // path -> (body, type)
};

}  // namespace zx::bench
