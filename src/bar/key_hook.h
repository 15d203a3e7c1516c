#pragma once
// The application-wide arrow-key hook: left and right arrow key presses in the
// watched windows (including their web views and memos) are offered to a
// handler before the focused control sees them, whatever the modifiers. When
// the handler takes a key, the key press and its shortcut-override request are
// both eaten, so no control moves its caret or selection.
#include <QObject>
#include <functional>
#include <vector>

class QWidget;

namespace zx {

class ArrowKeyHook : public QObject {
    Q_OBJECT

public:
    // `onKey` gets Qt::Key_Left or Qt::Key_Right and returns Handled.
    // `windows` yields the windows whose keys are taken; asked at each key.
    ArrowKeyHook(QObject* parent, std::function<std::vector<QWidget*>()> windows, std::function<bool(Qt::Key)> onKey);
    ~ArrowKeyHook() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool InWatchedWindow(QObject* receiver) const;

    std::function<std::vector<QWidget*>()> windows_;
    std::function<bool(Qt::Key)> onKey_;
};

}  // namespace zx
