#include "skin/ts_label.h"

namespace zx {

void TsLabel::mouseDoubleClickEvent(QMouseEvent* e) {
    // The toolkit's default treats the second press like a first one, which
    // would make its release a second click.
    pressed_ = false;
    e->accept();
}

void TsLabel::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(e);
    if (click) emit clicked();
}

}  // namespace zx
