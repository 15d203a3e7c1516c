#pragma once
// A view shows its current text or nothing: while a new text replaces its
// page, an opaque cover in the page's background colour lies over the view.
// The engine keeps the old page's last picture on screen until the new page
// has drawn, which can take seconds while other views decode large pictures.
// The cover goes once the new document has drawn frames of its own, asked
// of the engine in a script world apart from the page's.
#include <QColor>
#include <QWidget>
#include <cstdint>

class QTimer;
class QWebEnginePage;

namespace zx {

// When the cover goes: plain rules over two clocks in milliseconds, a steady
// one for the bounds and the wall clock the engine dates its documents by.
class CoverRule {
public:
    // The engine answered no probe for this long: it is stuck, the cover goes.
    static constexpr int64_t kLongestSilenceMs = 2500;
    // Whatever the engine answers, the cover goes after this long.
    static constexpr int64_t kLongestCoverMs = 30000;

    // The engine's clock for its documents may run a little apart from ours.
    static constexpr double kClockSlackMs = 1000;

    // A new text went to the engine; the probes of this text carry the
    // number Text() gives from now on.
    void TextGiven(int64_t steadyMs, double wallMs);
    int Text() const { return text_; }
    // The engine answered a probe: its current document began at
    // `documentBegan` (wall clock), was first probed for text `firstText`
    // and has or has not drawn. True when the cover goes now: a document
    // first seen for this text, begun about after it, has drawn.
    bool Answered(int64_t steadyMs, double documentBegan, int firstText, bool drawn);
    // The view is not on screen: the engine draws nothing for it. The bounds
    // count from when it shows again.
    void Unseen(int64_t steadyMs) { givenAt_ = lastAnswer_ = steadyMs; }
    // True when a bound has run out at `steadyMs`; the cover goes.
    bool Expired(int64_t steadyMs);
    bool Covered() const { return covered_; }

private:
    bool covered_ = false;
    int64_t givenAt_ = 0;     // steady
    int64_t lastAnswer_ = 0;  // steady: the text, or the last answer since
    double givenWall_ = 0;
    int text_ = 0;
};

class PageCover : public QWidget {
public:
    // Lies over `view` (its parent), which shows `page`.
    PageCover(QWidget* view, QWebEnginePage* page);

    // A new text goes to the engine now.
    void Cover();
    // The engine's process for the page has gone: nothing is left to wait for.
    void Uncover();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Probe();

    QWidget* view_;
    QWebEnginePage* page_;
    QTimer* probe_;
    QColor colour_;  // the page's background, whatever the program's style sheet says
    CoverRule rule_;
    bool asking_ = false;  // a probe is on its way
};

}  // namespace zx
