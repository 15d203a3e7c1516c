// The bar window: its controls, the layout pass, the clear labels and the
// small click handlers, and the close confirmation.
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>

#include "bar/form1.h"
#include "base/cell_document.h"
#include "base/handler_guard.h"
#include "base/text.h"
#include "htmlview/embedded_wb.h"
#include "qtext/qt_text.h"
#include "skin/look.h"
#include "skin/pictures.h"
#include "skin/ts_label.h"

namespace zx {
namespace {

constexpr int kCellTop = 8;
constexpr int kLastCellTop = 2;
constexpr int kButtonWidth = 70;

}  // namespace

TForm1::TForm1(QWidget* splash) : QWidget(nullptr), splash_(splash) {
    // Unframed until the first reveal: shown off screen at start-up, where a
    // window manager would pull a framed window partly back onto the screen.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint);
    setWindowTitle("Form1");
    setObjectName("Form1");
    resize(696, kBarHeight);
    move(0, 0);
    CreateControls();
    CreateHttpClient();
    InstallApplicationEvents();
    RunHandler([this] { FormCreate(); });
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::CreateControls() {
    Image1 = new TsLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, -3, 85, 69);
    Image1->setPixmap(LogoPicture());
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    connect(Image1, &TsLabel::clicked, this, [this] { Image1Click(); });

    HtmlViewOptions cellOptions;
    cellOptions.silent = true;
    for (int i = 0; i < kCellCount; ++i) {
        auto* cell = new TEmbeddedWB(this, cellOptions);
        cell->setObjectName(QString("EmbeddedWB%1").arg(i + 2));
        cell->setGeometry(0, i == kCellCount - 1 ? kLastCellTop : kCellTop, kCellWidth, kCellHeight);
        cell->OnBeforeNavigate2 = [this](TEmbeddedWB* s, const std::string& url, bool& cancel) {
            EmbeddedWB1BeforeNavigate2(s, url, cancel);
        };
        Cells[static_cast<size_t>(i)] = cell;
    }

    // The link sits in the 72 px between the last cells and the buttons: in
    // the design font the site's address would not fit there, a short
    // caption does.
    sLabel1 = new TsLabel(this, kProductSiteCaption);
    sLabel1->setObjectName("sLabel1");
    sLabel1->setGeometry(540, 2, 54, 13);
    sLabel1->setFont(DesignFont());
    sLabel1->adjustSize();
    QPalette pal = sLabel1->palette();
    pal.setColor(QPalette::WindowText, kLinkInk);
    sLabel1->setPalette(pal);
    sLabel1->setCursor(Qt::PointingHandCursor);
    connect(sLabel1, &TsLabel::clicked, this, [this] { sLabel1Click(); });

    const char* captions[] = {"Close", "Save", "Load", "Download"};
    QPushButton** buttons[] = {&Button1, &Button2, &Button3, &Button4};
    void (TForm1::*clicks[])() = {&TForm1::Button1Click, &TForm1::Button2Click, &TForm1::Button3Click,
                                  &TForm1::Button4Click};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QPushButton(ToQString(captions[i]), this);
        b->setObjectName(QString("Button%1").arg(i + 1));
        b->setGeometry(width() - kButtonWidth, 2 + 16 * i, kButtonWidth, 16);
        b->setFocusPolicy(Qt::TabFocus);
        // Clicks and keys reach the button as events, inside the application's exception net.
        connect(b, &QPushButton::clicked, this, clicks[i]);
        *buttons[i] = b;
    }

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(645, 27, 51, 43);

    Timer1 = new TTimer(this);
    Timer1->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();

    // Buttons keep to the right edge whatever the width.
    setMinimumHeight(kBarHeight);
    setMaximumHeight(kBarHeight);
}

void TForm1::FormCreate() {
    move(-1000, 0);
    sLabel1->move(platform().PrimaryScreen().Width - 166, 57);
    if (splash_) splash_->hide();
    state_.HoverIndex = -1;
    state_.StepCursorPos = Point{0, 0};
    state_.VisibleCellCount = 0;
}

void TForm1::FormShow() {
    const int W = platform().PrimaryScreen().Width;
    state_.VisibleCellCount = 0;
    for (int i = 0; i < kCellCount; ++i) {
        TEmbeddedWB* cell = Cells[static_cast<size_t>(i)];
        cell->move(CellLeft(i), cell->y());
        cell->resize(kCellWidth, cell->height());
        cell->SetVisible(CellShows(i, W));
        cell->OnBeforeNavigate2 = [this](TEmbeddedWB* s, const std::string& url, bool& cancel) {
            EmbeddedWB1BeforeNavigate2(s, url, cancel);
        };
        TsLabel*& label = ClearLabels[static_cast<size_t>(i)];
        if (!label) {
            label = new TsLabel(this, "x");
            label->setCursor(Qt::PointingHandCursor);
            label->adjustSize();
            label->move(cell->x(), cell->y() + cell->height() - 2);
            connect(label, &TsLabel::clicked, this, [this, i] { HandleLblClick(i); });
        }
        label->setVisible(cell->Visible());
        if (cell->Visible()) ++state_.VisibleCellCount;
    }
    Bevel1->setGeometry(0, kBarHeight, W, 2);
}

void TForm1::HandleLblClick(int index) {
    TEmbeddedWB* cell = Cells.at(static_cast<size_t>(index));
    if (cell->HTMLCode().Count() > 2) cell->HTMLCode().SetText(kClearedCellText);
}

void TForm1::sLabel1Click() {
    platform().OpenWebPage(kProductSite);
}

void TForm1::Button1Click() {
    close();
}

bool TForm1::FormCloseQuery() {
    if (!Confirm("You are about to close Zeltrix. Are you sure you want to do that.", DialogButtons::YesCancel,
                 DialogAnswer::Yes, DialogAnswer::Cancel))
        return false;
    // The loop ends when it reaches this; exit, not quit, which would ask the
    // windows to close once more.
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    return true;
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A failed question keeps the bar open.
    bool canClose = false;
    RunHandler([&] { canClose = FormCloseQuery(); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!Button1) return;
    QPushButton* buttons[] = {Button1, Button2, Button3, Button4};
    for (int i = 0; i < 4; ++i) buttons[i]->move(width() - kButtonWidth, 2 + 16 * i);
}

bool TForm1::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WinIdChange && internalWinId() != 0)
        emit WindowHandleChanged(static_cast<WindowId>(internalWinId()));
    return handled;
}

}  // namespace zx
