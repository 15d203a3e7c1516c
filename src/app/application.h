#pragma once
// The application object: its title, and the error box for exceptions that
// leave an event handler. Exceptions must not cross the toolkit's event loop,
// so every dispatch is guarded here as a last line behind the handlers' own
// guards.
#include <QApplication>
#include <exception>
#include <string>

namespace zx {

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // The error box: message (with "." added by the rule), the title as
    // caption, an error icon, OK.
    void ShowException(const std::exception& e);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::string title_;
};

}  // namespace zx
