// The HTML view over the real engine: what a user sees and does in a view.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <fstream>
#include <stdexcept>

#include "bar/form1.h"
#include "base/cell_document.h"
#include "base/handler_guard.h"
#include "htmlview/embedded_wb.h"
#include "htmlview/image_check.h"
#include "htmlview/webengine_engine.h"
#include "htmlview/webengine_widgets.h"
#include "popup/actual_view_page.h"
#include "support/engine_fixture.h"
#include "support/fake_platform.h"
#include "support/scripted_http_server.h"

namespace zx {
namespace {

using test::ActualSizePage;
using test::BoxOf;
using test::CellPage;
using test::RunJs;
using test::WaitFor;

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

class WebEngineViewTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        InstallWebEngineFactory();
        server = new test::LoopbackServer;
        server->Put(QStringLiteral("/wide.png"), test::PngOf(300, 100, kRed), "image/png");
        server->Put(QStringLiteral("/tall.png"), test::PngOf(100, 300, kBlue), "image/png");
        server->Put(QStringLiteral("/small.png"), test::PngOf(20, 10, kRed), "image/png");
        server->Put(QStringLiteral("/next.html"), "<html><head><title>next</title></head></html>", "text/html");
    }
    void SetUp() override { server->requests.clear(); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    TEmbeddedWB& MakeView(int width, int height, HtmlViewOptions options = {}) {
        views.push_back(std::make_unique<TEmbeddedWB>(nullptr, options));
        TEmbeddedWB& view = *views.back();
        view.resize(width, height);
        view.show();
        view.OnBeforeNavigate2 = [this](TEmbeddedWB*, const std::string& url, bool& cancel) {
            announced.push_back(url);
            cancel = veto;
        };
        return view;
    }
    static WebEnginePage& PageOf(TEmbeddedWB& view) { return *dynamic_cast<WebEngineEngine&>(view.Engine()).Page(); }
    static WebEngineView& ViewOf(TEmbeddedWB& view) { return *dynamic_cast<WebEngineEngine&>(view.Engine()).View(); }
    // Sets the text and waits until the page's title shows it has loaded.
    void Show(TEmbeddedWB& view, const std::string& text, const QString& title) {
        view.HTMLCode().SetText(text);
        ASSERT_TRUE(WaitFor([&] { return PageOf(view).title() == title; })) << PageOf(view).title().toStdString();
    }
    // Grabs the view until `done` holds for the picture; returns the last one.
    static QImage GrabUntil(TEmbeddedWB& view, const std::function<bool(const QImage&)>& done) {
        QImage image;
        WaitFor([&] {
            image = view.grab().toImage();
            return done(image);
        });
        return image;
    }

    static inline test::LoopbackServer* server = nullptr;
    std::vector<std::unique_ptr<TEmbeddedWB>> views;
    std::vector<std::string> announced;
    bool veto = false;
};

// The image of a cell page: centred, scaled to fit the view less 6 pixels.
QRect FittedBox(QSize view, QSize image) {
    const double scale = std::min((view.width() - 6.0) / image.width(), (view.height() - 6.0) / image.height());
    const double w = image.width() * scale, h = image.height() * scale;
    return QRectF(3 + (view.width() - 6 - w) / 2, 3 + (view.height() - 6 - h) / 2, w, h).toRect();
}

bool Near(const QRect& a, const QRect& b, int slack = 2) {
    return std::abs(a.left() - b.left()) <= slack && std::abs(a.top() - b.top()) <= slack &&
           std::abs(a.right() - b.right()) <= slack && std::abs(a.bottom() - b.bottom()) <= slack;
}

TEST_F(WebEngineViewTest, CellPageFitsItsImageIntoTheView) {
    struct Case {
        QSize view;
        QString path;
        QSize image;
        QColor colour;
    };
    const Case cases[] = {
        {{71, 51}, QStringLiteral("/wide.png"), {300, 100}, kRed},
        {{71, 51}, QStringLiteral("/tall.png"), {100, 300}, kBlue},
        {{229, 232}, QStringLiteral("/wide.png"), {300, 100}, kRed},
        {{229, 232}, QStringLiteral("/tall.png"), {100, 300}, kBlue},
    };
    for (const Case& c : cases) {
        TEmbeddedWB& view = MakeView(c.view.width(), c.view.height());
        const std::string page = CellPage(server->Url(c.path).toStdString());
        view.HTMLCode().SetText(page);
        const QRect expected = FittedBox(c.view, c.image);
        QRect box;
        const QImage image = GrabUntil(view, [&](const QImage& img) {
            box = BoxOf(img, c.colour);
            return Near(box, expected);
        });
        EXPECT_TRUE(Near(box, expected)) << c.path.toStdString() << " in " << c.view.width() << "x" << c.view.height()
                                         << ": got " << box.x() << "," << box.y() << " " << box.width() << "x"
                                         << box.height() << ", want " << expected.x() << "," << expected.y() << " "
                                         << expected.width() << "x" << expected.height();
        // No scroll bars: the corners outside the image are the page's own white.
        EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() - 1), QColor(Qt::white));
        // The view shows the text, and the text is what was given.
        EXPECT_EQ(view.HTMLCode().Text(), page);
    }
    // Every image request asked for a fresh copy.
    for (const QString& head : server->requests) {
        if (head.contains(QStringLiteral(".png"))) {
            EXPECT_TRUE(head.contains(QStringLiteral("no-cache"))) << head.toStdString();
        }
    }
}

TEST_F(WebEngineViewTest, CellPageFollowsAResize) {
    TEmbeddedWB& view = MakeView(71, 51);
    view.HTMLCode().SetText(CellPage(server->Url(QStringLiteral("/wide.png")).toStdString()));
    ASSERT_TRUE(WaitFor([&] { return Near(BoxOf(view.grab().toImage(), kRed), FittedBox({71, 51}, {300, 100})); }));
    view.resize(143, 144);
    EXPECT_TRUE(WaitFor([&] { return Near(BoxOf(view.grab().toImage(), kRed), FittedBox({143, 144}, {300, 100})); }));
}

TEST_F(WebEngineViewTest, ACraftedMarkerLineRunsAndFetchesNothingAndTheImageStillFits) {
    test::LoopbackServer second;
    const std::string address = server->Url(QStringLiteral("/wide.png")).toStdString() +
                                "?><script>new Image().src = '" + second.Url(QStringLiteral("/s")).toStdString() +
                                "'</script><img src='" + second.Url(QStringLiteral("/i")).toStdString() + "'><!x.jpg";
    TEmbeddedWB& view = MakeView(71, 51);
    view.HTMLCode().SetText(CellPage(address));
    EXPECT_TRUE(WaitFor([&] { return Near(BoxOf(view.grab().toImage(), kRed), FittedBox({71, 51}, {300, 100})); }));
    test::Spin(500);
    EXPECT_TRUE(second.requests.isEmpty()) << second.requests.join(QStringLiteral("\n")).toStdString();
    EXPECT_EQ(view.HTMLCode()[0], "<!3423" + address + ">");
}

// Addresses from outside (a drop, a list line, a saved file's origin
// attribute) become pages only through the bar's drop handler. What it
// refuses shows nothing; what it takes runs no script and fetches nothing but
// its image, in the cell page (which the previews copy) and at actual size.
TEST_F(WebEngineViewTest, AddressesFromOutsideRunNoScriptAndFetchOnlyTheirImage) {
    test::LoopbackServer second;
    const std::string s = second.Url(QStringLiteral("/s")).toStdString();
    const std::string markup = "<img src=x onerror=\"new Image().src='" + s + "'\"><script>new Image().src='" + s +
                               "';document.title='ran'</script>";
    const std::string wide = server->Url(QStringLiteral("/wide.png")).toStdString();
    const std::string split = "http://127.0.0.1:" + std::to_string(server->serverPort()) +
                              "?@127.0.0.1:" + std::to_string(second.serverPort()) + "/wide.png";
    const std::string saved = "/home/u/Downloads/saved.jpg";
    struct Case {
        std::string dropped, origin;
        bool taken;
    };
    const Case cases[] = {
        {wide + "?\n" + markup + ".png", "", false},
        {saved, wide + "\n" + markup, false},
        {saved, wide + "\r" + markup, false},
        {saved, wide + std::string(1, '\0') + markup, false},
        {split, "", false},
        {saved, split, false},
        {wide + "?q='\"--><!--" + markup, "", true},  // only query text
        {saved, wide + "?q=<script>" + markup, true},
    };
    ScopedFakePlatform fake;
    TForm1 form1;
    form1.Timer1->stop();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.dropped + " from " + c.origin);
        fake->origins = {{saved, c.origin}};
        bool cancel = false;
        TEmbeddedWB& cell = *form1.Cells.at(i);
        form1.EmbeddedWB1BeforeNavigate2(&cell, c.dropped, cancel);
        EXPECT_EQ(IsImagePage(cell.HTMLCode()), c.taken);
        if (!IsImagePage(cell.HTMLCode())) continue;
        TEmbeddedWB& preview = MakeView(71, 51);
        preview.HTMLCode().SetText(cell.HTMLCode().Text());
        TEmbeddedWB& actual = MakeView(54, 25);
        actual.HTMLCode().SetLines(ActualViewPage(AddressFromMarkerLine(cell.HTMLCode()[0])));
        EXPECT_TRUE(WaitFor([&] {
            return Near(BoxOf(preview.grab().toImage(), kRed), FittedBox({71, 51}, {300, 100}));
        }));
        EXPECT_TRUE(WaitFor([&] { return BoxOf(actual.grab().toImage(), kRed) == QRect(0, 0, 54, 25); }));
        EXPECT_NE(PageOf(preview).title(), QLatin1String("ran"));
        EXPECT_NE(PageOf(actual).title(), QLatin1String("ran"));
    }
    test::Spin(500);
    EXPECT_TRUE(second.requests.isEmpty()) << second.requests.join(QStringLiteral("\n")).toStdString();
    for (const QString& head : server->requests)
        EXPECT_TRUE(head.contains(QStringLiteral("?q="))) << head.toStdString();
}

// Even a page that runs script cannot read local files, while a local image
// still shows in a cell.
TEST_F(WebEngineViewTest, PagesShowLocalImagesButCannotReadLocalFiles) {
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("local.png")),
                  secret = dir.filePath(QStringLiteral("secret.txt"));
    QImage blue(40, 20, QImage::Format_RGB32);
    blue.fill(kBlue);
    ASSERT_TRUE(blue.save(image));
    QFile file(secret);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("secret");
    file.close();
    TEmbeddedWB& cell = MakeView(71, 51);
    cell.HTMLCode().SetText(CellPage(QUrl::fromLocalFile(image).toString().toStdString()));
    EXPECT_TRUE(WaitFor([&] { return Near(BoxOf(cell.grab().toImage(), kBlue), FittedBox({71, 51}, {40, 20})); }));

    const QString url = QUrl::fromLocalFile(secret).toString();
    // The same view, given a page of its own next.
    Show(cell,
         ("<html><head><title>start</title><script>"
          "var got = [];"
          "function done(what) { got.push(what); if (got.length == 2) document.title = got.sort().join(' '); }"
          "fetch('" +
          url.toStdString() +
          "').then(r => r.text()).then(t => done('fetch:' + t), () => done('fetch:no'));"
          "var x = new XMLHttpRequest(); x.onload = () => done('xhr:' + x.responseText);"
          "x.onerror = () => done('xhr:no'); x.open('GET', '" +
          url.toStdString() +
          "'); x.send();"
          "</script></head></html>"),
         QStringLiteral("fetch:no xhr:no"));
}

TEST_F(WebEngineViewTest, ActualSizePageShowsTheImageAtNaturalSizeFromTheTopLeft) {
    // Also with the fit left on: the actual-size page's image has no onload script.
    for (bool fit : {false, true}) {
        HtmlViewOptions options;
        options.fitImage = fit;
        TEmbeddedWB& view = MakeView(54, 25, options);
        view.HTMLCode().SetText(ActualSizePage(server->Url(QStringLiteral("/small.png")).toStdString()));
        QRect box;
        GrabUntil(view, [&](const QImage& img) { return (box = BoxOf(img, kRed)) == QRect(0, 0, 20, 10); });
        EXPECT_EQ(box, QRect(0, 0, 20, 10)) << "fit " << fit;
    }
    // A large image is cut off at the view's edges.
    TEmbeddedWB& view = MakeView(54, 25);
    view.HTMLCode().SetText(ActualSizePage(server->Url(QStringLiteral("/wide.png")).toStdString()));
    QRect box;
    GrabUntil(view, [&](const QImage& img) { return (box = BoxOf(img, kRed)) == QRect(0, 0, 54, 25); });
    EXPECT_EQ(box, QRect(0, 0, 54, 25));
}

TEST_F(WebEngineViewTest, LoadingTextsIsNotAnnouncedButToldWhenLoaded) {
    int loaded = 0;
    SetOnPageLoaded([&] { ++loaded; });
    TEmbeddedWB& view = MakeView(80, 80);
    Show(view, "<html><head><title>one</title></head>\r\n<body>1</body></html>", QStringLiteral("one"));
    EXPECT_TRUE(test::WaitFor([&] { return loaded == 1; }));
    Show(view, "<html><head><title>two</title></head>\r\n<body>2</body></html>", QStringLiteral("two"));
    EXPECT_TRUE(test::WaitFor([&] { return loaded == 2; }));
    test::Spin(200);
    SetOnPageLoaded(nullptr);
    // Only the view's own first navigation, which the view announces itself.
    EXPECT_EQ(announced, std::vector<std::string>{"about:blank"});
    EXPECT_EQ(view.HTMLCode().Count(), 2);
}

TEST_F(WebEngineViewTest, OneLineAddressIsAnnouncedOnceAndShown) {
    // Also an address that the engine rewrites before it navigates (the
    // quote in the query becomes %27): still one announcement.
    for (const char* path : {"/next.html", "/next.html?it's"}) {
        TEmbeddedWB& view = MakeView(80, 80);
        announced.clear();
        const std::string url = server->Url(QString::fromLatin1(path)).toStdString();
        view.HTMLCode().SetText(url);
        ASSERT_TRUE(WaitFor([&] { return PageOf(view).title() == QLatin1String("next"); })) << path;
        test::Spin(200);
        EXPECT_EQ(announced, std::vector<std::string>{url}) << path;
    }
}

TEST_F(WebEngineViewTest, LinkClicksAndScriptNavigationsAreAnnouncedWithVeto) {
    TEmbeddedWB& view = MakeView(200, 100);
    const QString next = server->Url(QStringLiteral("/next.html"));
    Show(view,
         ("<html><head><title>start</title></head><body style='margin:0'>"
          "<a id=a href='" +
          next.toStdString() + "' style='display:block;width:200px;height:100px'>link</a></body></html>"),
         QStringLiteral("start"));
    announced.clear();

    // A click on the link, vetoed: announced, and the page stays.
    veto = true;
    WaitFor([&] { return ViewOf(view).focusProxy() != nullptr; });
    QWidget* target = ViewOf(view).focusProxy();
    ASSERT_NE(target, nullptr);
    // The engine may drop a click that comes before the page's first frame
    // reached the screen; a user then clicks again.
    for (int click = 0; click < 5 && announced.empty(); ++click) {
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(50, 50));
        WaitFor([&] { return !announced.empty(); }, 3000);
    }
    ASSERT_FALSE(announced.empty());
    EXPECT_EQ(announced, std::vector<std::string>{next.toStdString()});
    test::Spin(300);
    EXPECT_EQ(PageOf(view).title(), QLatin1String("start"));
    EXPECT_FALSE(server->Requested(QStringLiteral("/next.html")));

    // A script navigation, vetoed.
    announced.clear();
    RunJs(PageOf(view), QStringLiteral("location.href = '%1?script'").arg(next));
    ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }));
    EXPECT_EQ(announced, std::vector<std::string>{next.toStdString() + "?script"});
    test::Spin(300);
    EXPECT_EQ(PageOf(view).title(), QLatin1String("start"));

    // Let pass, the same script navigation happens.
    veto = false;
    announced.clear();
    RunJs(PageOf(view), QStringLiteral("location.href = '%1?script'").arg(next));
    ASSERT_TRUE(WaitFor([&] { return PageOf(view).title() == QLatin1String("next"); }));
    EXPECT_EQ(announced, std::vector<std::string>{next.toStdString() + "?script"});
    EXPECT_EQ(view.HTMLCode()[0], "<html><head><title>start</title></head><body style='margin:0'><a id=a href='" +
                                      next.toStdString() +
                                      "' style='display:block;width:200px;height:100px'>link</a></body></html>");
}

TEST_F(WebEngineViewTest, CtrlNIsSwallowedOtherKeysReachThePage) {
    TEmbeddedWB& view = MakeView(100, 60);
    Show(view,
         "<html><head><title>keys</title><script>window.keys = [];"
         "document.addEventListener('keydown', function (e) {"
         "  if (e.key.length == 1) keys.push((e.ctrlKey ? 'C' : '') + (e.shiftKey ? 'S' : '') + e.key.toLowerCase());"
         "});</script></head><body>keys</body></html>",
         QStringLiteral("keys"));
    view.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return ViewOf(view).focusProxy() != nullptr; }));
    QWidget* target = ViewOf(view).focusProxy();
    target->setFocus();
    QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(target, Qt::Key_N);
    QTest::keyClick(target, Qt::Key_M, Qt::ControlModifier);
    QStringList keys;
    WaitFor([&] {
        keys = RunJs(PageOf(view), QStringLiteral("keys")).toStringList();
        return keys.size() >= 3;
    });
    test::Spin(200);
    keys = RunJs(PageOf(view), QStringLiteral("keys")).toStringList();
    EXPECT_EQ(keys, (QStringList{QStringLiteral("CSn"), QStringLiteral("n"), QStringLiteral("Cm")}));
}

TEST_F(WebEngineViewTest, SilentViewShowsNoDialogsAndScriptErrorsShowNone) {
    TEmbeddedWB& view = MakeView(80, 80);  // silent by default
    Show(view,
         "<html><head><script>"
         "alert('hello');"
         "var c = confirm('sure?'); var p = prompt('name?', 'x');"
         "document.title = 'after:' + c + ':' + p;"
         "</script><script>undefinedFunction();</script>"
         "<script>document.title += ':alive';</script></head><body></body></html>",
         QStringLiteral("after:false:null:alive"));
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(w->isVisible() && qobject_cast<QDialog*>(w)) << w->metaObject()->className();
    }
}

TEST_F(WebEngineViewTest, ContextMenuLacksTheRemovedCommands) {
    TEmbeddedWB& view = MakeView(229, 232);
    view.HTMLCode().SetText(CellPage(server->Url(QStringLiteral("/wide.png")).toStdString()));
    ASSERT_TRUE(WaitFor([&] { return !BoxOf(view.grab().toImage(), kRed).isEmpty(); }));
    WebEnginePage& page = PageOf(view);
    const QWebEnginePage::WebAction removed[] = {
        QWebEnginePage::Back,       QWebEnginePage::Forward,        QWebEnginePage::Reload,
        QWebEnginePage::ViewSource, QWebEnginePage::SavePage,       QWebEnginePage::SelectAll,
        QWebEnginePage::Paste,      QWebEnginePage::InspectElement, QWebEnginePage::OpenLinkInNewWindow,
    };

    // The trim itself, on a menu of the page's own actions.
    QMenu menu;
    menu.addAction(page.action(QWebEnginePage::Back));
    menu.addAction(page.action(QWebEnginePage::Forward));
    menu.addAction(page.action(QWebEnginePage::Reload));
    menu.addSeparator();
    menu.addAction(page.action(QWebEnginePage::Copy));
    menu.addSeparator();
    menu.addAction(page.action(QWebEnginePage::ViewSource));
    EXPECT_EQ(RemoveDisabledMenuActions(menu, page), 4);
    EXPECT_EQ(menu.actions(), QList<QAction*>{page.action(QWebEnginePage::Copy)});

    // A right-click on the image opens the engine's menu without them.
    QWidget* target = ViewOf(view).focusProxy();
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::RightButton, {}, QPoint(114, 116));
    QMenu* shown = nullptr;
    WaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) shown = m;
        }
        return shown != nullptr;
    });
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->actions().isEmpty());
    for (QWebEnginePage::WebAction a : removed) EXPECT_FALSE(shown->actions().contains(page.action(a))) << a;
    EXPECT_TRUE(shown->actions().contains(page.action(QWebEnginePage::CopyImageUrlToClipboard)));
    shown->close();
}

// Sends a drag that enters, moves over and drops on the view's page, as the
// window system does for a drop from another program.
void Drop(TEmbeddedWB& view, QWidget* target, const QMimeData& data) {
    const QPointF at(view.width() / 2.0, view.height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::LinkAction, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction | Qt::LinkAction, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(at, Qt::CopyAction | Qt::LinkAction, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

TEST_F(WebEngineViewTest, DropsArriveAsAnnouncedAddresses) {
    TEmbeddedWB& view = MakeView(71, 51);
    Show(view, "<html><head><title>cell</title></head></html>", QStringLiteral("cell"));
    WaitFor([&] { return ViewOf(view).focusProxy() != nullptr; });
    QWidget* target = ViewOf(view).focusProxy() ? ViewOf(view).focusProxy() : &ViewOf(view);
    announced.clear();

    // An image address out of a browser: vetoed, nothing is loaded.
    veto = true;
    const QString address = server->Url(QStringLiteral("/wide.png"));
    QMimeData web;
    web.setData(QStringLiteral("text/uri-list"), (address + QStringLiteral("\r\n")).toUtf8());
    web.setText(address);
    Drop(view, target, web);
    ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }, 5000));
    EXPECT_EQ(announced, std::vector<std::string>{address.toStdString()});
    test::Spin(300);
    EXPECT_EQ(PageOf(view).title(), QLatin1String("cell"));
    EXPECT_FALSE(server->Requested(QStringLiteral("/wide.png")));

    // A local file arrives as its plain path.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cached image.png"));
    QImage(4, 4, QImage::Format_RGB32).save(path);
    announced.clear();
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(path)});
    Drop(view, target, file);
    ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }, 5000));
    EXPECT_EQ(announced, std::vector<std::string>{path.toStdString()});

    // Let pass, the view goes to the dropped address; the text is untouched.
    veto = false;
    announced.clear();
    Drop(view, target, web);
    ASSERT_TRUE(WaitFor([&] { return server->Requested(QStringLiteral("/wide.png")); }));
    EXPECT_EQ(announced, std::vector<std::string>{address.toStdString()});
    EXPECT_EQ(view.HTMLCode().Text(), "<html><head><title>cell</title></head></html>\r\n");

    // An error leaving the handler goes to the error report, not through the
    // engine, and the drop goes nowhere.
    std::vector<std::string> reported;
    const ExceptionReporter previous =
        SetExceptionReporter([&](const std::exception& e) { reported.push_back(e.what()); });
    view.OnBeforeNavigate2 = [](TEmbeddedWB*, const std::string&, bool&) { throw std::runtime_error("drop failed"); };
    QMimeData tall;
    tall.setUrls({QUrl(server->Url(QStringLiteral("/tall.png")))});
    Drop(view, target, tall);
    EXPECT_TRUE(WaitFor([&] { return !reported.empty(); }, 5000));
    SetExceptionReporter(previous);
    EXPECT_EQ(reported, std::vector<std::string>{"drop failed"});
    test::Spin(300);
    EXPECT_FALSE(server->Requested(QStringLiteral("/tall.png")));
}

// `n` bytes of v, most significant first or last.
QByteArray Bytes(uint32_t v, int n, bool bigEndian) {
    QByteArray out;
    for (int i = 0; i < n; ++i) out += char(v >> (8 * (bigEndian ? n - 1 - i : i)));
    return out;
}
QByteArray Be32(uint32_t v) {
    return Bytes(v, 4, true);
}
QByteArray Le16(uint32_t v) {
    return Bytes(v, 2, false);
}
QByteArray Le24(uint32_t v) {
    return Bytes(v, 3, false);
}
// The head of a PNG file up to its header chunk, with its check sum.
QByteArray PngHead(uint32_t w, uint32_t h) {
    const QByteArray chunk = "IHDR" + Be32(w) + Be32(h) + QByteArray("\x08\x06\x00\x00\x00", 5);
    const auto crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size())));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + Be32(13) + chunk + Be32(crc);
}
// A whole GIF file with an empty picture on a canvas of w x h.
QByteArray Gif(uint32_t w, uint32_t h) {
    return "GIF89a" + Le16(w) + Le16(h) + QByteArray("\x00\x00\x00,\x00\x00\x00\x00", 8) + Le16(1) + Le16(1) +
           QByteArray("\x00\x02\x02\x4c\x01\x00;", 8);
}
QByteArray WebpHead(uint32_t w, uint32_t h) {
    return "RIFF" + Le24(0) + QByteArray(1, 0) + "WEBPVP8X" + Le24(10) + QByteArray(5, 0) + Le24(w - 1) + Le24(h - 1);
}
QByteArray AvifHead(uint32_t w, uint32_t h) {
    return Be32(24) + "ftypavif" + QByteArray(12, 0) + Be32(20) + "ispe" + Be32(0) + Be32(w) + Be32(h);
}
const QByteArray kEntitySvg =
    "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;\">]>"
    "<svg xmlns=\"http://www.w3.org/2000/svg\"><text>&b;</text></svg>";

// What the head of a picture declares decides before anything decodes it.
TEST(ImageCheck, PicturesWithinTheBoundsPassAndEverythingElseIsRefused) {
    const struct {
        const char* what;
        QByteArray data;
        QByteArray mime;  // empty: refused
    } cases[] = {
        {"a small PNG", test::PngOf(20, 10, kRed), "image/png"},
        {"a 6000 x 4000 photograph", PngHead(6000, 4000), "image/png"},
        {"a PNG of 30000 x 30000", PngHead(30000, 30000), ""},
        {"a PNG one pixel high and too long", PngHead(40000, 1), ""},
        {"a GIF of 100 x 100", Gif(100, 100), "image/gif"},
        {"a GIF canvas of 23170 x 23170", Gif(23170, 23170), ""},
        {"a WebP of 100 x 100", WebpHead(100, 100), "image/webp"},
        {"a WebP of 20000 x 20000", WebpHead(20000, 20000), ""},
        {"an AVIF of 100 x 100", AvifHead(100, 100), "image/avif"},
        {"an AVIF of 16000 x 16000", AvifHead(16000, 16000), ""},
        {"an AVIF without a size", AvifHead(100, 100).left(24), ""},
        {"an SVG document", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "image/svg+xml"},
        {"an SVG document with entities", kEntitySvg, ""},
        {"plain text", "hello", ""},
        {"nothing", "", ""},
    };
    for (const auto& c : cases) {
        const ImageVerdict verdict = CheckImage(c.data);
        EXPECT_EQ(verdict.accepted, !c.mime.isEmpty()) << c.what << ": " << verdict.reason;
        EXPECT_EQ(verdict.mimeType, c.mime) << c.what;
    }
}

// The most this process (the engine renders in it here) has held at once.
long PeakResidentMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
    return -1;
}

TEST_F(WebEngineViewTest, ImagesBeyondTheBoundsShowNothingAndTheOtherViewsGoOn) {
    server->Put(QStringLiteral("/bomb.gif"), Gif(23170, 23170), "image/gif");
    server->Put(QStringLiteral("/laughs.svg"), kEntitySvg, "image/svg+xml");
    // A picture that never ends: a head, then data without a length.
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n\r\n";
    test::ScriptedHttpServer endless(
        {{{.response = head + PngHead(100, 100).toStdString(), .closeAfter = true, .fillerBytes = uint64_t{1} << 36}}},
        60000);
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& address :
         {server->Url(QStringLiteral("/bomb.gif")).toStdString(),
          server->Url(QStringLiteral("/laughs.svg")).toStdString(), endless.Url("/endless.png")}) {
        MakeView(71, 51).HTMLCode().SetText(CellPage(address));
    }
    TEmbeddedWB& good = MakeView(71, 51);
    good.HTMLCode().SetText(CellPage(server->Url(QStringLiteral("/wide.png")).toStdString()));
    EXPECT_FALSE(GrabUntil(good, [](const QImage& img) { return !BoxOf(img, kRed).isEmpty(); }).isNull());
    EXPECT_FALSE(BoxOf(good.grab().toImage(), kRed).isEmpty()) << "the good picture does not show";
    // The fetch runs on this thread: the wait keeps its events going.
    ASSERT_TRUE(WaitFor([&] { return endless.WaitConnectionsEnded(1, 0); }, 30000))
        << "the endless picture is still being read";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
    EXPECT_LT(PeakResidentMiB(), 512);
}

TEST_F(WebEngineViewTest, ViewsShareOneProfileWithoutCache) {
    TEmbeddedWB& a = MakeView(10, 10);
    TEmbeddedWB& b = MakeView(10, 10);
    EXPECT_EQ(PageOf(a).profile(), PageOf(b).profile());
    EXPECT_TRUE(PageOf(a).profile()->isOffTheRecord());
    EXPECT_EQ(PageOf(a).profile()->httpCacheType(), QWebEngineProfile::NoCache);
    EXPECT_FALSE(PageOf(a).settings()->testAttribute(QWebEngineSettings::ShowScrollBars));
}

}  // namespace
}  // namespace zx
