#include "app/working_set_trim.h"

#include <QEvent>
#include <QWidget>

#include "htmlview/html_engine.h"
#include "platform/platform.h"

namespace zx {

WorkingSetTrim::WorkingSetTrim(std::chrono::milliseconds quiet) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(quiet);
    connect(&quiet_, &QTimer::timeout, this, [] { platform().ReleaseLibraryCodePages(); });
    SetOnPageLoaded([this] { Poke(); });
}

WorkingSetTrim::~WorkingSetTrim() {
    SetOnPageLoaded(nullptr);
}

void WorkingSetTrim::Poke() {
    quiet_.start();
}

void WorkingSetTrim::Watch(QWidget& window) {
    window.installEventFilter(this);
}

bool WorkingSetTrim::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide) Poke();
    return QObject::eventFilter(watched, event);
}

}  // namespace zx
