#pragma once
// TfrmSplashScreen: the picture shown while the program starts.
#include <QWidget>

class QLabel;

namespace zx {

class TfrmSplashScreen : public QWidget {
public:
    TfrmSplashScreen();
    QLabel* Image1 = nullptr;
};

}  // namespace zx
