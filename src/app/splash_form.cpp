#include "app/splash_form.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "skin/pictures.h"

namespace zx {

TfrmSplashScreen::TfrmSplashScreen() : QWidget(nullptr) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle("Zeltrix");
    setObjectName("frmSplashScreen");
    setFixedSize(196, 356);
    Image1 = new QLabel(this);
    Image1->setGeometry(-1, 0, 235, 379);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(SplashPicture());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

}  // namespace zx
