#include "about/form2.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QShowEvent>
#include <QToolButton>
#include <string>

#include "app/version.h"
#include "platform/platform.h"
#include "skin/look.h"
#include "skin/pictures.h"
#include "skin/ts_label.h"

namespace zx {
namespace {

void OpenPage(const char* path) {
    platform().OpenWebPage(std::string(kMakerSite) + path);
}

// The about picture leaves a gap above the credits for the product's name and
// version, written here so that it always shows the version of the build.
QPixmap AboutPictureWithVersion() {
    QPixmap picture = AboutPicture();
    QPainter painter(&picture);
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(kVersionInk);
    painter.drawText(QRect(2, 203, picture.width(), 16), Qt::AlignHCenter | Qt::AlignTop, kVersionLine);
    return picture;
}

}  // namespace

TForm2::TForm2(QWidget* splash) : QDialog(nullptr), splash_(splash) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle("Form2");
    setObjectName("Form2");
    setFont(DesignFont());
    setFixedSize(195, 356);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(-4, 0, 235, 379);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(AboutPictureWithVersion());

    sLabel2 = ClickArea("sLabel2", 8, 310, 36, 13, &TForm2::sLabel2Click);
    sLabel3 = ClickArea("sLabel3", 149, 310, 36, 13, &TForm2::sLabel3Click);
    sLabel6 = ClickArea("sLabel6", 32, 160, 131, 13, &TForm2::sLabel6Click);

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setText("X");
    SpeedButton1->setAutoRaise(true);  // flat
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setGeometry(169, 12, 23, 22);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm2::SpeedButton1Click);

    sLabel1 = ClickArea("sLabel1", 32, 112, 131, 17, &TForm2::sLabel1Click);
}

TsLabel* TForm2::ClickArea(const char* name, int left, int top, int width, int height, void (TForm2::*handler)()) {
    // No caption and no background: it draws nothing and only takes clicks.
    auto* label = new TsLabel(this);
    label->setObjectName(name);
    label->setGeometry(left, top, width, height);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setStyleSheet("background: transparent;");
    label->setCursor(Qt::PointingHandCursor);
    connect(label, &TsLabel::clicked, this, handler);
    return label;
}

int TForm2::ShowModal() {
    const Rect area = platform().PrimaryScreen();
    move(area.Left + (area.Width - width()) / 2, area.Top + (area.Height - height()) / 2);
    return exec() == QDialog::Accepted ? mrOk : mrCancel;
}

void TForm2::FormShow() {
    if (splash_) splash_->close();
}

void TForm2::sLabel1Click() {
    OpenPage("/");
}
void TForm2::sLabel6Click() {
    OpenPage("/zeltrix.html");
}
void TForm2::sLabel2Click() {
    OpenPage("/zeltrix-faq.html");
}
void TForm2::sLabel3Click() {
    OpenPage("/zeltrix-help.html");
}

void TForm2::SpeedButton1Click() {
    reject();
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

}  // namespace zx
