#include "app/splash_form.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>
#include <QWindow>

#include "platform/platform.h"
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
    // Centred on the primary monitor, when there is one.
    if (const Rect area = platform().PrimaryScreen(); area.Width > 0 && area.Height > 0) {
        move(area.Left + (area.Width - width()) / 2, area.Top + (area.Height - height()) / 2);
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
