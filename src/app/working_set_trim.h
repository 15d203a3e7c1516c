#pragma once
// Start-up and page loads run much code that the program may not need again
// for a long while. Once the program has been quiet for a moment (after
// start-up, after a burst of page loads such as a loaded list or the preview
// showing another image, after a watched window hid) it hands the memory of
// that code back; what is used again comes back by itself.
#include <QObject>
#include <QTimer>
#include <chrono>

class QWidget;

namespace zx {

class WorkingSetTrim : public QObject {
    Q_OBJECT

public:
    // Pokes after every page load of any view while it lives.
    explicit WorkingSetTrim(std::chrono::milliseconds quiet = std::chrono::seconds(2));
    ~WorkingSetTrim() override;
    WorkingSetTrim(const WorkingSetTrim&) = delete;
    WorkingSetTrim& operator=(const WorkingSetTrim&) = delete;

    // Trims once no poke came for the quiet time.
    void Poke();
    // Pokes whenever `window` hides.
    void Watch(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer quiet_;
};

}  // namespace zx
