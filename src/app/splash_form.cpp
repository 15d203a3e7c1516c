#include "app/splash_form.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QThread>
#include <QWindow>

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

void TfrmSplashScreen::ShowPainted(int timeoutMs) {
    show();
    QElapsedTimer waited;
    waited.start();
    // Only window-system events: no input reaches the program yet.
    auto pump = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    pump();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < timeoutMs) {
        QThread::msleep(5);
        pump();
    }
    repaint();
    // Handing the painted picture to the X server happens as the events are
    // processed; the second pass also takes the exposure the first one caused.
    pump();
    pump();
}

}  // namespace zx
