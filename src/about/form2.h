#pragma once
// TForm2: the about window. A borderless picture with four click areas that
// open the maker's pages, and an "X" button that ends its modal showing.
#include <QDialog>

namespace zx {

class TsLabel;

class TForm2 : public QDialog {
public:
    // `splash` is closed again each time the window is shown.
    explicit TForm2(QWidget* splash = nullptr);

    // Shows the window modally, centred; returns the modal result.
    int ShowModal();

    void FormShow();
    void sLabel1Click();
    void sLabel6Click();
    void sLabel2Click();
    void sLabel3Click();
    void SpeedButton1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* splash_ = nullptr;
};

}  // namespace zx
