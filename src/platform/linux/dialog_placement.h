#pragma once
// Where the program's message boxes and dialogs open and how they stack. Each
// opens centred on the primary monitor, whole, and clear of the program's
// windows that stay on top of others (the bar and the preview under it) as far
// as the monitor leaves room: below the rows of those shown as it opens. It stays
// above them while it is open, whatever the bar's tick shows or raises
// meanwhile: it stays on top itself, is a transient of the bar (or of the
// program's whole window group while no bar shows), and raises itself again
// after the program has shown another window that stays on top.
#include <QShowEvent>
#include <QWidget>
#include <utility>

namespace zx {

// Marks `dialog` to stay above the program's windows; before it is shown.
void KeepAboveProgram(QWidget& dialog);
// Moves `dialog`, sized and not yet mapped, to its place on the primary monitor.
void PlaceOnPrimary(QWidget& dialog);

// A toolkit dialog (`QMessageBox`, `QFileDialog`) that opens in its place.
template <class Dialog>
class PlacedDialog : public Dialog {
public:
    template <class... Args>
    explicit PlacedDialog(Args&&... args) : Dialog(std::forward<Args>(args)...) {
        KeepAboveProgram(*this);
    }

protected:
    // After the dialog's own sizing, before the window is mapped.
    void showEvent(QShowEvent* event) override {
        Dialog::showEvent(event);
        if (!event->spontaneous()) PlaceOnPrimary(*this);
    }
};

}  // namespace zx
