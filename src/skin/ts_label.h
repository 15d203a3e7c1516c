#pragma once
// A label drawn from the skin that reacts to clicks: the bar's logo, site link
// and clear labels, the popup's caption, the about window's click areas.
#include <QLabel>
#include <QMouseEvent>

namespace zx {

class TsLabel : public QLabel {
    Q_OBJECT

public:
    explicit TsLabel(QWidget* parent, const QString& caption = {}) : QLabel(caption, parent) {}

signals:
    // A left press and release inside the label. A double-click is one
    // click: its second press does not start another.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) pressed_ = true;
        QLabel::mousePressEvent(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool pressed_ = false;
};

}  // namespace zx
