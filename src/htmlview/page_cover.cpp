#include "htmlview/page_cover.h"

#include <QEvent>
#include <QPalette>
#include <QTimer>
#include <chrono>

namespace zx {
namespace {

using namespace std::chrono_literals;

// After the load, the cover stays until the picture changes, for at most
// this many checks this far apart (a new page that looks like the old one
// never changes it).
constexpr auto kCheckEvery = 40ms;
constexpr int kMostChecks = 250;
// Whatever happens, the cover goes after this long.
constexpr auto kLongestCover = 20s;

}  // namespace

PageCover::PageCover(QWidget* view) : QWidget(view), view_(view), watch_(new QTimer(this)), bound_(new QTimer(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
    hide();
    watch_->setInterval(kCheckEvery);
    connect(watch_, &QTimer::timeout, this, [this] {
        if (++checks_ >= kMostChecks || EnginePicture() != before_) Uncover();
    });
    bound_->setSingleShot(true);
    bound_->setInterval(kLongestCover);
    connect(bound_, &QTimer::timeout, this, &PageCover::Uncover);
    // The engine may give the view a new drawing surface for a new page,
    // above the cover.
    view->installEventFilter(this);
}

void PageCover::Cover() {
    if (!isVisible()) before_ = EnginePicture();
    watch_->stop();
    setGeometry(view_->rect());
    raise();
    show();
    bound_->start();
    ++pending_;
}

void PageCover::Loaded() {
    if (pending_ == 0 || --pending_ > 0) return;
    checks_ = 0;
    watch_->start();
}

bool PageCover::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::ChildAdded && isVisible()) QTimer::singleShot(0, this, [this] { raise(); });
    return false;
}

QImage PageCover::EnginePicture() {
    // What the view would show without the cover: the engine may draw into
    // more than one surface while it changes pages. Nothing reaches the
    // screen between the hide and the show.
    const bool covered = isVisible();
    if (covered) setVisible(false);
    QImage picture = view_->grab().toImage();
    if (covered) setVisible(true);
    return picture;
}

void PageCover::Uncover() {
    watch_->stop();
    bound_->stop();
    pending_ = 0;
    before_ = QImage();
    hide();
}

}  // namespace zx
