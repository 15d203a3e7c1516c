#include "popup/popup_form.h"

#include "htmlview/embedded_wb.h"

namespace zx {

TfrmPopupForm::TfrmPopupForm() : QWidget(nullptr) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle("Popup Form");
    setFixedSize(400, 303);
    HtmlViewOptions preview;
    preview.silent = false;
    wb1 = new TEmbeddedWB(this, preview);
    wb1->setGeometry(71, 8, 80, 80);
    wb2 = new TEmbeddedWB(this, preview);
    wb2->setGeometry(8, 96, 143, 144);
    wb3 = new TEmbeddedWB(this, preview);
    wb3->setGeometry(160, 8, 229, 232);
    wb = new TEmbeddedWB(this);
    wb->setGeometry(8, 34, 54, 25);
}

void TfrmPopupForm::FillActualView(int) {}

}  // namespace zx
