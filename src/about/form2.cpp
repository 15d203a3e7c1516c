#include "about/form2.h"

#include <QShowEvent>

#include "base/handler_guard.h"

namespace zx {

TForm2::TForm2(QWidget* splash) : QDialog(nullptr), splash_(splash) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(195, 356);
}

int TForm2::ShowModal() { return exec(); }

void TForm2::FormShow() {
    if (splash_) splash_->close();
}

void TForm2::sLabel1Click() {}
void TForm2::sLabel6Click() {}
void TForm2::sLabel2Click() {}
void TForm2::sLabel3Click() {}
void TForm2::SpeedButton1Click() { done(QDialog::Rejected); }

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RunHandler([this] { FormShow(); });
}

}  // namespace zx
