#pragma once
// TForm2: the about window. A borderless picture with four click areas that
// open the maker's pages, and an "X" button that ends its modal showing.
#include <QDialog>

class QLabel;
class QToolButton;

namespace zx {

class TsLabel;

// The modal results ShowModal reports.
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

// The maker's web site, in front of the paths of the about links.
inline constexpr const char* kMakerSite = "http://www.brightfold.example";

class TForm2 : public QDialog {
    Q_OBJECT

public:
    // `splash` is closed again each time the window is shown.
    explicit TForm2(QWidget* splash = nullptr);

    // Shows the window modally, centred on the primary screen; returns the
    // modal result (mrCancel after the "X" button).
    int ShowModal();

    // Controls, in the order of the design.
    QLabel* Image1 = nullptr;
    TsLabel* sLabel2 = nullptr;  // FAQ
    TsLabel* sLabel3 = nullptr;  // Help
    TsLabel* sLabel6 = nullptr;  // product page
    QToolButton* SpeedButton1 = nullptr;
    TsLabel* sLabel1 = nullptr;  // maker's site

    void FormShow();
    void sLabel1Click();
    void sLabel6Click();
    void sLabel2Click();
    void sLabel3Click();
    void SpeedButton1Click();

protected:
    void showEvent(QShowEvent* event) override;
    // The window has no cancel key: Escape does nothing here.
    void keyPressEvent(QKeyEvent* event) override;

private:
    TsLabel* ClickArea(const char* name, int left, int top, int width, int height, void (TForm2::*handler)());
    QWidget* splash_ = nullptr;
};

}  // namespace zx
