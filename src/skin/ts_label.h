#pragma once
// A label drawn from the skin that reacts to clicks: the bar's site link and
// clear labels, the popup's caption, the about window's click areas.
#include <QLabel>
#include <QMouseEvent>

namespace zx {

class TsLabel : public QLabel {
    Q_OBJECT

public:
    explicit TsLabel(QWidget* parent, const QString& caption = {}) : QLabel(caption, parent) {}

signals:
    // A left press and release inside the label.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) pressed_ = true;
        QLabel::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool pressed_ = false;
};

}  // namespace zx
