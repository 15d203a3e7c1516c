#include "htmlview/bounded_images.h"

#include <QBuffer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include "htmlview/image_check.h"

namespace zx {
namespace {

constexpr char kScheme[] = "zx-image";

// One picture on its way: the job the engine waits on and the transfer
// that feeds it. Ends itself once the job is answered or gone.
//
// Each fetch has a network access manager of its own, which goes with it:
// its connections, and the thread that reads them, end with the fetch. An
// aborted transfer on a shared manager could leave its connection behind,
// still reading an endless answer on the shared thread, which then served
// no other picture.
class ImageFetch : public QObject {
public:
    ImageFetch(QWebEngineUrlRequestJob* job, const QUrl& web) : job_(job) {
        QNetworkRequest request(web);
        // Plain bytes: a compressed answer would let a small transfer grow
        // without bound while it is unpacked.
        request.setRawHeader("Accept-Encoding", "identity");
        request.setRawHeader("Accept", "image/avif,image/webp,image/png,image/svg+xml,image/*;q=0.8");
        request.setRawHeader("Cache-Control", "no-cache");
        request.setMaximumRedirectsAllowed(5);
        request.setTransferTimeout(int(std::chrono::milliseconds(kImageTimeLimit).count()));
        // The reply belongs to the manager, which takes it along when it goes.
        reply_ = (new QNetworkAccessManager(this))->get(request);
        reply_->setReadBufferSize(1 << 20);
        connect(reply_, &QNetworkReply::readyRead, this, &ImageFetch::Take);
        connect(reply_, &QNetworkReply::finished, this, &ImageFetch::Finish);
        connect(job, &QObject::destroyed, this, [this] { End(); });
        QTimer::singleShot(kImageTimeLimit, this, [this] { Fail(QWebEngineUrlRequestJob::RequestAborted); });
    }

private:
    void Take() {
        if (!reply_) return;
        if (reply_->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMostImageBytes) {
            Fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        data_ += reply_->read(kMostImageBytes + 1 - data_.size());
        if (data_.size() > kMostImageBytes) Fail(QWebEngineUrlRequestJob::RequestDenied);
    }
    void Finish() {
        if (!reply_ || !job_) return End();
        Take();
        if (!reply_) return;
        if (reply_->error() != QNetworkReply::NoError) return Fail(QWebEngineUrlRequestJob::RequestFailed);
        const ImageVerdict verdict = CheckImage(data_);
        if (!verdict.accepted) return Fail(QWebEngineUrlRequestJob::RequestDenied);
        // The engine reads the buffer on its own thread until the job ends;
        // the buffer goes when the engine closes it.
        auto* body = new QBuffer;
        body->setData(data_);
        body->open(QIODevice::ReadOnly);
        connect(body, &QIODevice::aboutToClose, body, &QObject::deleteLater);
        job_->reply(verdict.mimeType, body);
        End();
    }
    void Fail(QWebEngineUrlRequestJob::Error error) {
        if (job_) job_->fail(error);
        End();
    }
    void End() {
        job_ = nullptr;
        if (reply_) {
            QNetworkReply* reply = reply_;
            reply_ = nullptr;
            reply->disconnect(this);
            reply->abort();
        }
        data_.clear();
        deleteLater();
    }

    QPointer<QWebEngineUrlRequestJob> job_;
    QPointer<QNetworkReply> reply_;
    QByteArray data_;
};

class BoundedImageHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QUrl web = WebAddressOf(job->requestUrl());
        if (!web.isValid() || job->requestMethod() != "GET") {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        new ImageFetch(job, web);
    }
};

}  // namespace

void RegisterBoundedImageScheme() {
    if (QWebEngineUrlScheme::schemeByName(kScheme).name() == kScheme) return;
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // A picture from the web: any page may show it, none may read it.
    scheme.setFlags(QWebEngineUrlScheme::LocalAccessAllowed | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

void HandleBoundedImages(QWebEngineProfile* profile) {
    profile->installUrlSchemeHandler(kScheme, new BoundedImageHandler(profile));
}

// The web address travels as hexadecimal digits, which no layer of address
// handling changes.
QUrl BoundedImageUrl(const QUrl& web) {
    return QUrl(QString::fromLatin1(kScheme) + ':' + QString::fromLatin1(web.toEncoded().toHex()));
}

QUrl WebAddressOf(const QUrl& bounded) {
    if (bounded.scheme() != kScheme) return {};
    const QUrl web = QUrl::fromEncoded(QByteArray::fromHex(bounded.path().toLatin1()));
    return web.scheme() == "http" || web.scheme() == "https" ? web : QUrl();
}

}  // namespace zx
