#pragma once
// White over a view while a new text replaces its page. The engine keeps
// the old page's last picture on screen until the new page has drawn, which
// for a large image takes seconds after the new page has loaded; a view must
// never show a page other than its current text. The cover goes once the
// engine's picture has changed after the load, or after a bound.
#include <QImage>
#include <QWidget>

class QTimer;

namespace zx {

class PageCover : public QWidget {
public:
    // Covers `view` (its parent), whose engine draws into its focus proxy.
    explicit PageCover(QWidget* view);

    // A new text goes to the engine now.
    void Cover();
    // A load has finished (any load of the page).
    void Loaded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QImage EnginePicture();
    void Uncover();

    QWidget* view_;
    QImage before_;    // the engine's picture when the cover came
    int pending_ = 0;  // texts given whose load has not finished
    QTimer* watch_;    // compares the engine's picture after the load
    QTimer* bound_;    // the longest the cover stays
    int checks_ = 0;   // comparisons since the load
};

}  // namespace zx
