#pragma once
// TfrmSplashScreen: the picture shown while the program starts.
#include <QWidget>

class QLabel;

namespace zx {

class TfrmSplashScreen : public QWidget {
    Q_OBJECT

public:
    TfrmSplashScreen();
    QLabel* Image1 = nullptr;

    // Shows the window and returns once its picture is on screen, so that it
    // stays there while the thread then sleeps and builds the other windows.
    // A window manager maps a window only after framing it, later than the
    // toolkit's show returns; the wait for that ends after `timeoutMs`.
    void ShowPainted(int timeoutMs = 3000);
};

}  // namespace zx
