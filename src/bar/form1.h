#pragma once
// TForm1: the bar. A borderless, always-on-top strip 70 px high with the logo,
// twenty image cells with their clear labels, the site link and four buttons.
// Each feature lives in a file of its own: bar_window (controls, layout, small
// clicks, close), bar_hover (reveal, hide, hover, arrow keys), bar_drop (drops
// and the URL-cache lookup), bar_list (Save and Load), bar_download.
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "bar/bar_layout.h"
#include "platform/platform.h"

class QFrame;
class QPushButton;

namespace zx {

class TEmbeddedWB;
class TsLabel;
class TfrmPopupForm;
class TForm2;
class TIdHTTP;

// A timer with the integer Tag the bar uses as its dwell countdown.
class TaggedTimer : public QTimer {
    Q_OBJECT

public:
    using QTimer::QTimer;
    int Tag = 0;
};

// The hover's state: written by the tick, the key hook and the layout pass only.
struct BarState {
    Point LastCursorPos;
    Point StepCursorPos;
    int HoverIndex = -1;
    int KeyStep = 0;  // -1, +1: an arrow key waiting for the next tick
    int VisibleCellCount = 0;
};

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // `splash` is hidden by FormCreate.
    explicit TForm1(QWidget* splash = nullptr);
    ~TForm1() override;

    // The main sequence wires the windows created after the bar.
    void SetPopup(TfrmPopupForm* popup) { frmPopupForm = popup; }
    void SetAbout(TForm2* about) { Form2 = about; }

    // Controls, with their designer names.
    TsLabel* Image1 = nullptr;                     // the logo
    std::array<TEmbeddedWB*, kCellCount> Cells{};  // EmbeddedWB2 .. EmbeddedWB21
    TsLabel* sLabel1 = nullptr;
    QPushButton* Button1 = nullptr;  // Close
    QPushButton* Button2 = nullptr;  // Save
    QPushButton* Button3 = nullptr;  // Load
    QPushButton* Button4 = nullptr;  // Download
    QFrame* Bevel1 = nullptr;
    TaggedTimer* Timer1 = nullptr;
    std::shared_ptr<TIdHTTP> IdHTTP1;  // made by CreateHttpClient

    std::array<TsLabel*, kCellCount> ClearLabels{};  // made by the first FormShow

    const BarState& State() const { return state_; }

    // bar_window.cpp
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    // The clear label under cell `index`.
    void HandleLblClick(int index);
    void Image1Click();
    void sLabel1Click();
    void Button1Click();

    // bar_hover.cpp
    void Timer1Timer();
    // The application-wide key hook; returns Handled.
    bool ApplicationEvents1ShortCut(Qt::Key key);
    void SetFormShown(QWidget* form, bool shown);
    bool InputDesktopAvailable();

    // bar_drop.cpp
    void EmbeddedWB1BeforeNavigate2(TEmbeddedWB* ASender, const std::string& URL, bool& Cancel);
    std::string SourceUrlFromCache(const std::string& localPath);

    // bar_list.cpp
    void Button2Click();
    void Button3Click();

    // bar_download.cpp
    void Button4Click();

    TfrmPopupForm* frmPopupForm = nullptr;
    TForm2* Form2 = nullptr;

signals:
    // The bar's native window was replaced; `handle` is the new one.
    void WindowHandleChanged(zx::WindowId handle);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    // bar_window.cpp: the controls, in creation order.
    void CreateControls();
    void CreateLogo();
    void CreateCells();
    void CreateSiteLink();
    void CreateButtons();
    // Hands a cell's navigations to the drop handler.
    void BindDropHandler(TEmbeddedWB& cell);
    // bar_hover.cpp: the application-wide key hook.
    void InstallApplicationEvents();
    // bar_download.cpp: the HTTP client the drop handler and download share.
    void CreateHttpClient();
    // bar_hover.cpp: the steps of a tick, in the primary monitor's frame.
    // Takes the pending arrow-key step: `P` becomes the neighbour cell's
    // point. False when the step is refused, which ends the tick.
    bool TakeKeyStep(Point& P, const Rect& primary);
    void HideBelowBar(const Point& P, const Rect& primary);
    void Dwell(const Point& P, const Rect& primary);
    void FollowMove(const Point& P, const Rect& primary);
    void HoverUpdate(const Point& P, const Rect& primary);
    // Before a reveal: whether the bar shows framed by the window manager.
    void PrepareReveal(const Rect& primary);
    QWidget* splash_ = nullptr;
    BarState state_;
    bool topEdgeWatched_ = false;  // by the first tick
    // Set while the drop handler loads a cell, whose own navigations must pass.
    bool Busy = false;
};

// The product's web site, opened by the bar's site link; a bare host name.
inline constexpr const char* kProductSite = "zeltrix.example";
// The caption of the bar's site link.
inline constexpr const char* kProductSiteCaption = "Web site";

}  // namespace zx
