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

// The bar's buttons, top to bottom: each with its caption, its control and
// its click handler. Their places come from ButtonRect.
struct ButtonRow {
    const char* caption;
    QPushButton* TForm1::*button;
    void (TForm1::*click)();
};
constexpr ButtonRow kButtons[kButtonCount] = {
    {"Close", &TForm1::Button1, &TForm1::Button1Click},
    {"Save", &TForm1::Button2, &TForm1::Button2Click},
    {"Load", &TForm1::Button3, &TForm1::Button3Click},
    {"Download", &TForm1::Button4, &TForm1::Button4Click},
};

void PlaceButtons(TForm1& bar) {
    for (int i = 0; i < kButtonCount; ++i) {
        const Rect r = ButtonRect(i, bar.width());
        (bar.*kButtons[i].button)->setGeometry(r.Left, r.Top, r.Width, r.Height);
    }
}

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

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    CreateLogo();
    CreateCells();
    CreateSiteLink();
    CreateButtons();

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(645, 27, 51, 43);

    Timer1 = new TaggedTimer(this);
    Timer1->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();

    // Buttons keep to the right edge whatever the width.
    setMinimumHeight(kBarHeight);
    setMaximumHeight(kBarHeight);
}

void TForm1::CreateLogo() {
    Image1 = new TsLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, -3, 85, 69);
    Image1->setPixmap(LogoPicture());
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    connect(Image1, &TsLabel::clicked, this, [this] { Image1Click(); });
}

void TForm1::CreateCells() {
    HtmlViewOptions cellOptions;
    cellOptions.silent = true;
    for (int i = 0; i < kCellCount; ++i) {
        auto* cell = new TEmbeddedWB(this, cellOptions);
        cell->setObjectName(QString("EmbeddedWB%1").arg(i + 2));
        cell->setGeometry(0, i == kCellCount - 1 ? kLastCellTop : kCellTop, kCellWidth, kCellHeight);
        BindDropHandler(*cell);
        Cells[static_cast<size_t>(i)] = cell;
    }
}

void TForm1::BindDropHandler(TEmbeddedWB& cell) {
    cell.OnBeforeNavigate2 = [this](TEmbeddedWB* s, const std::string& url, bool& cancel) {
        EmbeddedWB1BeforeNavigate2(s, url, cancel);
    };
}

void TForm1::CreateSiteLink() {
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
}

void TForm1::CreateButtons() {
    for (int i = 0; i < kButtonCount; ++i) {
        const ButtonRow& row = kButtons[i];
        auto* b = new QPushButton(ToQString(row.caption), this);
        b->setObjectName(QString("Button%1").arg(i + 1));
        b->setFocusPolicy(Qt::TabFocus);
        // Clicks and keys reach the button as events, inside the application's exception net.
        connect(b, &QPushButton::clicked, this, row.click);
        this->*row.button = b;
    }
    PlaceButtons(*this);
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
        BindDropHandler(*cell);
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
    PlaceButtons(*this);
}

bool TForm1::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WinIdChange && internalWinId() != 0)
        emit WindowHandleChanged(static_cast<WindowId>(internalWinId()));
    return handled;
}

}  // namespace zx
