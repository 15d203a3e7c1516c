#pragma once
// Whether a window of the program holds the pointer, in the X server's terms:
// a press that began in one of our windows grabs the pointer for that window
// until every button is up again. The server ends the grab early when the
// window is hidden, and then gives the release to whatever lies under the
// pointer: the toolkit never hears of it and goes on believing the button
// held. So the toolkit's belief alone is never the answer.
#include <QObject>
#include <QPointer>
#include <optional>

class QWindow;

namespace zx {

class PointerCapture : public QObject {
    Q_OBJECT

public:
    // Watches the presses and releases of the whole application.
    PointerCapture();
    ~PointerCapture() override;

    // True while the window of the press that began in one of our windows is
    // still shown and the server reports a button down; an explicit grab of
    // a shown widget counts too. A press whose end went elsewhere is
    // forgotten here.
    bool Held();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWindow> pressed_;
};

// The server's word on the pointer's buttons: true when any is down; nullopt
// off X11 or when the server does not answer.
std::optional<bool> ServerReportsButtonDown();

}  // namespace zx
