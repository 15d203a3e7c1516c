#include "skin/ts_label.h"

#include "base/handler_guard.h"

namespace zx {

void TsLabel::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(e);
    if (click) RunHandler([this] { emit clicked(); });
}

}  // namespace zx
