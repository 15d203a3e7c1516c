#pragma once
// The application object: its title, and the error box for exceptions that
// leave an event handler.
#include <QApplication>
#include <exception>
#include <string>

#include "app/guarded_application.h"

namespace zx {

class TApplication : public GuardedApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    void SetTitle(const std::string& title);

    // The error box: message (with "." added by the rule), the title as
    // caption, an error icon, OK.
    void ShowException(const std::exception& e);

private:
    std::string title_;
};

}  // namespace zx
