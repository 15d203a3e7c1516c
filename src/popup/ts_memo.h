#pragma once
// A memo drawn from the skin whose context-menu request goes to a handler
// first: MousePos in client coordinates, (-1, -1) when the request came from
// the keyboard. A handler that sets Handled keeps the memo's own menu shut.
#include <QContextMenuEvent>
#include <QPlainTextEdit>
#include <functional>

namespace zx {

class TsMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    using ContextPopupEvent = std::function<void(TsMemo* Sender, QPoint MousePos, bool& Handled)>;

    explicit TsMemo(QWidget* parent) : QPlainTextEdit(parent) {}

    ContextPopupEvent OnContextPopup;

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
};

}  // namespace zx
