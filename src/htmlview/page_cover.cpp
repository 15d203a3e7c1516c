#include "htmlview/page_cover.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace zx {
namespace {

// How often the engine is asked whether the new page has drawn.
constexpr int kProbeEveryMs = 50;

// Run in a script world of the program's own, which the page cannot see or
// change. Once per document it notes the text it was first probed for and
// waits for three frames: the third begins only after the first one's
// picture has replaced the one before on screen. It answers when the
// document began, that text, and whether those frames have passed.
constexpr char kProbeScript[] = R"(
(function (text) {
    if (window.zxFrames === undefined) {
        window.zxText = text;
        window.zxFrames = 0;
        var next = function () { if (++window.zxFrames < 3) requestAnimationFrame(next); };
        requestAnimationFrame(next);
    }
    return [performance.timeOrigin, window.zxText, window.zxFrames >= 3];
})(%1))";

int64_t SteadyMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock.elapsed();
}

}  // namespace

void CoverRule::TextGiven(int64_t steadyMs, double wallMs) {
    covered_ = true;
    givenAt_ = lastAnswer_ = steadyMs;
    givenWall_ = wallMs;
    ++text_;
}

bool CoverRule::Answered(int64_t steadyMs, double documentBegan, int firstText, bool drawn) {
    if (!covered_) return false;
    lastAnswer_ = steadyMs;
    // An answer from the page before the text: it may still be on screen.
    if (firstText != text_ || documentBegan < givenWall_ - kClockSlackMs || !drawn) return false;
    covered_ = false;
    return true;
}

bool CoverRule::Expired(int64_t steadyMs) {
    if (!covered_) return false;
    if (steadyMs - lastAnswer_ < kLongestSilenceMs && steadyMs - givenAt_ < kLongestCoverMs) return false;
    covered_ = false;
    return true;
}

PageCover::PageCover(QWidget* view, QWebEnginePage* page)
    : QWidget(view), view_(view), page_(page), probe_(new QTimer(this)) {
    // Drops and clicks go to the page beneath.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
    probe_->setInterval(kProbeEveryMs);
    connect(probe_, &QTimer::timeout, this, &PageCover::Probe);
    // The engine may give the view a new drawing surface, above the cover.
    view->installEventFilter(this);
}

void PageCover::Cover() {
    rule_.TextGiven(SteadyMs(), static_cast<double>(QDateTime::currentMSecsSinceEpoch()));
    colour_ = page_->backgroundColor();
    setGeometry(view_->rect());
    raise();
    show();
    // Painted now, not at the next turn of the event loop: whatever else the
    // caller changes on screen next (a window moved to another cell) must
    // not show the old page first.
    repaint();
    probe_->start();
}

void PageCover::Uncover() {
    probe_->stop();
    hide();
}

void PageCover::Probe() {
    if (!isVisible()) rule_.Unseen(SteadyMs());
    if (rule_.Expired(SteadyMs())) return Uncover();
    if (asking_ || !isVisible()) return;
    asking_ = true;
    QPointer<PageCover> self(this);
    page_->runJavaScript(
        QString::fromLatin1(kProbeScript).arg(rule_.Text()), QWebEngineScript::ApplicationWorld,
        [self](const QVariant& answer) {
            if (!self) return;
            self->asking_ = false;
            const QVariantList values = answer.toList();
            if (values.size() != 3) return;
            if (self->rule_.Answered(SteadyMs(), values[0].toDouble(), values[1].toInt(), values[2].toBool()))
                self->Uncover();
        });
}

void PageCover::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), colour_);
}

bool PageCover::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Resize) setGeometry(view_->rect());
    if (event->type() == QEvent::ChildAdded && isVisible()) QTimer::singleShot(0, this, [this] { raise(); });
    return false;
}

}  // namespace zx
