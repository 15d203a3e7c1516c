#include "popup/ts_memo.h"

namespace zx {

void TsMemo::contextMenuEvent(QContextMenuEvent* e) {
    bool handled = false;
    if (OnContextPopup) {
        // The event's position is in the viewport's coordinates, which are
        // the memo's client area.
        const QPoint mousePos = e->reason() == QContextMenuEvent::Keyboard ? QPoint(-1, -1) : e->pos();
        OnContextPopup(this, mousePos, handled);
    }
    if (handled)
        e->accept();
    else
        QPlainTextEdit::contextMenuEvent(e);
}

}  // namespace zx
