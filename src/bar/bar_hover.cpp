// Reveal, hide, hover preview and arrow keys: the bar's 200 ms tick. It reads
// the pointer and runs one pass of a small state machine; nothing here reacts
// to mouse events. Every tick that finds nothing changed changes no window:
// geometry, position and focus are only set when they differ.
#include <QApplication>
#include <QWidget>
#include <climits>

#include "about/form2.h"
#include "bar/form1.h"
#include "bar/key_hook.h"
#include "htmlview/embedded_wb.h"
#include "popup/popup_form.h"
#include "skin/ts_label.h"

namespace zx {
namespace {

constexpr int kDwellTicks = 2;

// The bar counts as showing for the hover only once it has been revealed: at
// start-up it is shown off the left edge until the first tick hides it, and no
// preview may open under a bar that was never revealed.
bool ShownOnScreen(const QWidget& bar, const Rect& primary) {
    return bar.isVisible() && bar.x() >= primary.Left;
}

// The tick works in the primary monitor's frame, whose top-left corner is
// (0, 0) whatever other monitors lie left of it or above it.
Point ToFrame(const QPoint& global, const Rect& primary) {
    return Point{global.x() - primary.Left, global.y() - primary.Top};
}
QPoint ToGlobal(int x, int y, const Rect& primary) {
    return QPoint(primary.Left + x, primary.Top + y);
}

// Gives `form` the focus unless it has it already, or a modal window of the
// program blocks it; a refusal by the window manager is not an error.
void Activate(QWidget* form) {
    if (form->isActiveWindow()) return;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != form) return;
    form->activateWindow();
}

void PlaceIfMoved(QWidget* w, int left, int top) {
    if (w->pos() != QPoint(left, top)) w->move(left, top);
}

bool SameText(const TEmbeddedWB& view, const std::string& text) {
    return view.HTMLCode().Text() == text;
}

}  // namespace

void TForm1::InstallApplicationEvents() {
    new ArrowKeyHook(
        this,
        [this] {
            return std::vector<QWidget*>{this, frmPopupForm, Form2};
        },
        [this](Qt::Key key) { return ApplicationEvents1ShortCut(key); });
}

bool TForm1::ApplicationEvents1ShortCut(Qt::Key key) {
    // Modifiers are not looked at; a second key before the next tick wins.
    if (key == Qt::Key_Left) {
        state_.KeyStep = -1;
        return true;
    }
    if (key == Qt::Key_Right) {
        state_.KeyStep = +1;
        return true;
    }
    return false;
}

void TForm1::SetFormShown(QWidget* form, bool shown) {
    if (!form) return;
    if (form->isVisible()) {
        Activate(form);
        if (!shown) form->hide();
    } else if (shown) {
        form->show();
        form->raise();
        Activate(form);
    }
}

bool TForm1::InputDesktopAvailable() {
    return !platform().SessionLocked();
}

void TForm1::Timer1Timer() {
    // Nothing while the session is locked; a pending step waits.
    if (!InputDesktopAvailable()) return;

    // The top row is watched from the first tick on, not only once the bar
    // has hidden: a pointer resting in the bar's rows at the start neither
    // reveals nor hides it, and in a Wayland session the X server may hear of
    // the pointer again only at the top row.
    if (!topEdgeWatched_) {
        topEdgeWatched_ = true;
        platform().WatchTopEdge();
    }

    // The pointer; a failed read leaves (0, 0) of the primary's frame.
    const Rect primary = platform().PrimaryScreen();
    Point P = platform().PointerPosition().value_or(Point{primary.Left, primary.Top});
    P = ToFrame(QPoint(P.X, P.Y), primary);

    // Frozen while the pointer rests where the last step was taken.
    if (P == state_.StepCursorPos && state_.KeyStep == 0) return;

    // A refused arrow-key step ends the tick.
    if (state_.KeyStep != 0 && !TakeKeyStep(P, primary)) return;

    const int W = primary.Width;
    const int H = kBarHeight;

    // Reveal at the top edge, unless a mouse button is held on one of ours.
    if (P.Y < 1 && !platform().PointerCapturedByUs()) {
        PlaceIfMoved(sLabel1, W - 142, 57);
        PrepareReveal(primary);
        const QRect bounds(ToGlobal(0, 0, primary), QSize(W, height()));
        if (geometry() != bounds) setGeometry(bounds);
        SetFormShown(this, true);
    }

    if (P.Y > H)
        HideBelowBar(P, primary);
    else if (P == state_.LastCursorPos)
        Dwell(P, primary);
    else
        FollowMove(P, primary);
}

bool TForm1::TakeKeyStep(Point& P, const Rect& primary) {
    // An arrow-key step replaces the point by the neighbour cell's.
    const int step = state_.KeyStep;
    state_.KeyStep = 0;
    if (step < 0 ? state_.HoverIndex < 1 : state_.HoverIndex >= state_.VisibleCellCount - 1) return false;
    state_.StepCursorPos = P;
    const int neighbour = state_.HoverIndex + step;
    P = ToFrame(Cells.at(static_cast<size_t>(neighbour))->mapToGlobal(QPoint(1, 1)), primary);
    return true;
}

void TForm1::HideBelowBar(const Point& P, const Rect& primary) {
    // Below the bar: both hide, unless the pointer is in the popup.
    if (frmPopupForm && frmPopupForm->isVisible() && frmPopupForm->geometry().contains(ToGlobal(P.X, P.Y, primary)))
        return;
    const bool wasShown = isVisible();
    SetFormShown(this, false);
    SetFormShown(frmPopupForm, false);
    state_.HoverIndex = -1;
    // Whatever covers the top row now, the next touch there is seen.
    if (wasShown) platform().WatchTopEdge();
}

void TForm1::Dwell(const Point& P, const Rect& primary) {
    // Resting: count the dwell down, then update the preview.
    if (Timer1->Tag > 0 || !ShownOnScreen(*this, primary)) {
        if (Timer1->Tag > INT_MIN) --Timer1->Tag;
        return;
    }
    HoverUpdate(P, primary);
}

void TForm1::FollowMove(const Point& P, const Rect& primary) {
    // Moved: an open preview follows at once, else the dwell starts.
    state_.LastCursorPos = P;
    if (frmPopupForm && frmPopupForm->isVisible() && ShownOnScreen(*this, primary))
        HoverUpdate(P, primary);
    else
        Timer1->Tag = kDwellTicks;
}

// A window manager frames the bar anew at every reveal, in a frame window
// made at that moment. A drag source that learnt the window tree when its drag
// began, and follows it by the events of the windows it knew (Chromium does),
// never learns that the bar inside the new frame is showing, and its drops
// pass the bar by. So a bar revealed while a button is held (a drag from
// another program, as the capture test has ruled out one of ours) shows
// without the window manager, right under the root window that every source
// watches. The next reveal without a held button gives it back to the window
// manager and so to the taskbar; switching while it is on screen would make it
// flicker, so it keeps its kind until then. A bar never revealed yet is
// unframed too, off screen, and gets its kind like a hidden one.
//
// Inside a Wayland session the bar always shows without the window manager:
// compositors tile it, centre it or put it below their top panel, and only an
// unmanaged window stands at the top row, above the panel, where the tick's
// rules expect it.
void TForm1::PrepareReveal(const Rect& primary) {
    const bool unframed = platform().DisplayNested() || platform().MouseButtonHeld();
    const bool isUnframed = windowFlags().testFlag(Qt::X11BypassWindowManagerHint);
    if (unframed == isUnframed) return;
    if (isVisible()) {
        if (ShownOnScreen(*this, primary)) return;
        hide();
    }
    setWindowFlag(Qt::X11BypassWindowManagerHint, unframed);
}

void TForm1::HoverUpdate(const Point& P, const Rect& primary) {
    if (!frmPopupForm) return;
    const int W = primary.Width;

    // The right zone, over the buttons, closes the preview.
    if (InRightZone(P.X, W)) {
        SetFormShown(frmPopupForm, false);
        state_.HoverIndex = -1;
        return;
    }

    // The hovered cell. The revealed bar lies at (0, 0) of the frame, so
    // frame coordinates serve directly.
    const int hovered = CellAt(P, state_.VisibleCellCount);
    if (hovered < 0) return;
    TEmbeddedWB* cell = Cells.at(static_cast<size_t>(hovered));

    // Copy the page only where it differs; the actual-size view follows wb1.
    // Before the popup moves: a view covers its old page as its text
    // changes, and the move must not carry the old pictures under the cell.
    const std::string text = cell->HTMLCode().Text();
    if (!SameText(*frmPopupForm->wb1, text)) {
        frmPopupForm->wb1->HTMLCode().SetLines(cell->HTMLCode().Lines());
        frmPopupForm->FillActualView(hovered);
    }
    if (!SameText(*frmPopupForm->wb2, text)) frmPopupForm->wb2->HTMLCode().SetLines(cell->HTMLCode().Lines());
    if (!SameText(*frmPopupForm->wb3, text)) frmPopupForm->wb3->HTMLCode().SetLines(cell->HTMLCode().Lines());

    // Under the cell, pulled back to stay on the primary monitor.
    int left = cell->x();
    if (W < left + frmPopupForm->width()) left = W - frmPopupForm->width();
    const QPoint place = ToGlobal(left, kBarHeight, primary);
    PlaceIfMoved(frmPopupForm, place.x(), place.y());

    // Under the cell also inside a Wayland session, where a managed preview
    // would be tiled or centred.
    if (platform().DisplayNested() && !frmPopupForm->isVisible() &&
        !frmPopupForm->windowFlags().testFlag(Qt::X11BypassWindowManagerHint))
        frmPopupForm->setWindowFlag(Qt::X11BypassWindowManagerHint, true);
    SetFormShown(frmPopupForm, true);
    state_.HoverIndex = hovered;
}

}  // namespace zx
