#include "popup/popup_form.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

#include "base/cell_document.h"
#include "htmlview/embedded_wb.h"
#include "platform/platform.h"
#include "popup/actual_view_page.h"
#include "popup/ts_memo.h"
#include "qtext/qt_text.h"
#include "skin/look.h"
#include "skin/ts_label.h"

namespace zx {

TfrmPopupForm::TfrmPopupForm() : QWidget(nullptr) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle("Popup Form");
    setObjectName("frmPopupForm");
    setFont(DesignFont());
    setFixedSize(400, 303);
    CreateControls();
}

void TfrmPopupForm::CreateControls() {
    // The three previews scale the cell page by its own script; the
    // actual-size view must not be fitted, and is the only silent one.
    HtmlViewOptions preview;
    preview.silent = false;
    HtmlViewOptions actual;
    actual.silent = true;
    actual.fitImage = false;
    wb1 = new TEmbeddedWB(this, preview);
    wb1->setObjectName("wb1");
    wb1->setGeometry(71, 8, 80, 80);
    wb2 = new TEmbeddedWB(this, preview);
    wb2->setObjectName("wb2");
    wb2->setGeometry(8, 96, 143, 144);
    wb3 = new TEmbeddedWB(this, preview);
    wb3->setObjectName("wb3");
    wb3->setGeometry(160, 8, 229, 232);
    wb = new TEmbeddedWB(this, actual);
    wb->setObjectName("wb");
    wb->setGeometry(8, 34, 54, 25);

    sLabel1 = new TsLabel(this, "Actual");
    sLabel1->setObjectName("sLabel1");
    sLabel1->setGeometry(22, 62, 30, 13);
    sLabel1->setFont(DesignFont());
    sLabel1->setStyleSheet("color: " + kLinkInk.name() + ";");
    sLabel1->adjustSize();  // the fallback for the design font is wider than 30 px

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TfrmPopupForm::Timer1Timer);
    Timer1->start();

    sMemo1 = new TsMemo(this);
    sMemo1->setObjectName("sMemo1");
    sMemo1->setGeometry(8, 248, 381, 47);
    sMemo1->setReadOnly(true);
    // Read-only, yet with a caret and keyboard selection, like an edit box.
    sMemo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    sMemo1->setFont(DesignFont());
    // A widget's own style wins over the skin's rule for read-only memos.
    sMemo1->setStyleSheet("background-color: " + kEditFace.name() + "; color: #000000;");
    memoText_ = "sMemo1";
    sMemo1->setPlainText(ToQString(memoText_));
    sMemo1->OnContextPopup = [this](TsMemo*, QPoint mousePos, bool& handled) { sMemo1ContextPopup(mousePos, handled); };

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    Copy1 = PopupMenu1->addAction("Copy");
    Copy1->setObjectName("Copy1");
    connect(Copy1, &QAction::triggered, this, &TfrmPopupForm::Copy1Click);

    // Tab order 0 to 4: the three previews, the actual-size view, the memo.
    setTabOrder(wb1, wb2);
    setTabOrder(wb2, wb3);
    setTabOrder(wb3, wb);
    setTabOrder(wb, sMemo1);
}

void TfrmPopupForm::FillActualView(int i) {
    if (!cells_) return;
    const TStringList& cell = cells_->at(static_cast<size_t>(i))->HTMLCode();
    if (cell.Count() > 2)
        wb->HTMLCode().SetLines(ActualViewPage(AddressFromMarkerLine(cell[0])));
    else
        wb->HTMLCode().SetLines(cell.Lines());
}

void TfrmPopupForm::Timer1Timer() {
    std::string text;
    // The line count comes from the actual-size view, the address from wb1,
    // which alone holds the cell document with its marker line.
    if (wb->HTMLCode().Count() >= 2 && wb1->HTMLCode().Count() > 0) text = AddressFromMarkerLine(wb1->HTMLCode()[0]);
    if (text == memoText_) return;
    memoText_ = std::move(text);
    sMemo1->setPlainText(MemoShows(memoText_));
}

QString TfrmPopupForm::MemoShows(const std::string& address) {
    // Laying out one line costs the memo far more than its length, and a
    // cell's address can be megabytes long: the memo shows its head.
    if (address.size() <= kMemoShownBytes) return ToQString(address);
    size_t cut = kMemoShownBytes;
    while (cut > 0 && (static_cast<unsigned char>(address[cut]) & 0xC0) == 0x80) --cut;  // whole characters
    return ToQString(address.substr(0, cut)) + QChar(0x2026);
}

void TfrmPopupForm::sMemo1ContextPopup(QPoint MousePos, bool& Handled) {
    Handled = true;
    PopupMenu1->popup(sMemo1->viewport()->mapToGlobal(MousePos));
}

void TfrmPopupForm::Copy1Click() {
    sMemo1->selectAll();
    // The whole address, also when the memo shows only its head.
    const std::string text = memoText_;
    // An empty memo copies nothing and leaves the clipboard as it was.
    if (text.empty()) return;
    platform().SetClipboardText(text);
}

}  // namespace zx
