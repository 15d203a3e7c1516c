#pragma once
// TfrmPopupForm: the preview under the bar. Three views show the hovered
// cell's page at growing sizes, a fourth the image at natural size, and a
// read-only memo its address, which the context menu copies. The bar alone
// decides when it opens, where it stands and what its views hold.
#include <QWidget>
#include <array>
#include <string>

#include "base/cell_document.h"

class QAction;
class QMenu;
class QTimer;

namespace zx {

class TEmbeddedWB;
class TsLabel;
class TsMemo;

class TfrmPopupForm : public QWidget {
    Q_OBJECT

public:
    TfrmPopupForm();

    // The bar's cells, which FillActualView reads.
    void SetCells(const std::array<TEmbeddedWB*, kCellCount>* cells) { cells_ = cells; }

    // Controls, in the order of the design.
    TEmbeddedWB* wb1 = nullptr;
    TEmbeddedWB* wb2 = nullptr;
    TEmbeddedWB* wb3 = nullptr;
    TEmbeddedWB* wb = nullptr;
    TsLabel* sLabel1 = nullptr;
    QTimer* Timer1 = nullptr;
    TsMemo* sMemo1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Copy1 = nullptr;

    // Loads the actual-size view from cell i's page.
    void FillActualView(int i);
    // Keeps the address memo in step with the views.
    void Timer1Timer();
    // MousePos in the memo's client coordinates, (-1, -1) from the keyboard.
    void sMemo1ContextPopup(QPoint MousePos, bool& Handled);
    void Copy1Click();

private:
    void CreateControls();

    const std::array<TEmbeddedWB*, kCellCount>* cells_ = nullptr;
    // The text the memo stands for, the whole address, so that a tick that
    // would give the same text again leaves it (and its selection) alone.
    std::string memoText_;
    // What the memo shows of an address: all of it up to kMemoShownBytes,
    // else its head and an ellipsis.
    static QString MemoShows(const std::string& address);
    static constexpr size_t kMemoShownBytes = 4096;
};

}  // namespace zx
