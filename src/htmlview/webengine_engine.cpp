#include "htmlview/webengine_engine.h"

#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "base/cell_document.h"
#include "base/text.h"
#include "htmlview/bounded_images.h"
#include "htmlview/drag_origin.h"
#include "htmlview/page_cover.h"
#include "htmlview/webengine_widgets.h"
#include "qtext/qt_text.h"

namespace zx {
namespace {

// Every request asks for a fresh copy, so images come from their server.
// Pictures from the web take the bounded path (bounded_images.h).
class NoCacheInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeImage &&
            (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))) {
            // No server takes an address this long; it is not even handed on.
            if (info.requestUrl().toEncoded().size() > kLongestImageAddress) {
                info.block(true);
            } else {
                info.redirect(BoundedImageUrl(url));
            }
            return;
        }
        info.setHttpHeader("Cache-Control", "no-cache");
        info.setHttpHeader("Pragma", "no-cache");
    }
};

// The cell page scales its image from script with unitless sizes, which the
// engine ignores outside quirks mode. This style sheet gets the same look: the
// image with an onload script (the cell page's one) is centred in the view and
// scaled to fit it less 6 pixels, aspect kept. An image without one (the
// actual-size page) is left alone. It goes at the end of the text a fitting
// view shows, where the parser puts it into the body: it changes neither the
// document's mode nor what comes before it, and unlike a script injected into
// every page it costs no script world of its own (bench/memory/README.md).
constexpr const char* kFitImageStyle =
    "\r\n<style>img[onload] { position: fixed !important; left: 3px !important; top: 3px !important;"
    " width: calc(100vw - 6px) !important; height: calc(100vh - 6px) !important;"
    " max-width: none !important; max-height: none !important; margin: 0 !important;"
    " object-fit: contain !important; object-position: 50% 50% !important; }</style>";

void ApplySettings(QWebEngineSettings* settings, const HtmlViewOptions& options) {
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, !options.noScrollBars);
    // The pages are local (their base is file:) and show images from the web.
    // Local files only for a page that shows one (see AllowLocalFilesFor).
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
}

// True when an image of the page comes from something other than the web: a
// local file, by file: address or by a path read against the pages' file:
// base. A cell's marker line is no image of it.
bool ShowsLocalImage(std::string_view html) {
    static constexpr std::string_view kSrc = "src=\"";
    if (IsCellMarkerLine(html)) html.remove_prefix(std::min(html.size(), html.find('\n')));
    for (size_t at = html.find(kSrc); at != std::string_view::npos; at = html.find(kSrc, at + 1)) {
        const std::string_view value = html.substr(at + kSrc.size());
        if (!StartsWithAsciiCaseless(value, "http:") && !StartsWithAsciiCaseless(value, "https:")) return true;
    }
    return false;
}

// The longest text a view hands its engine, written into an address. An
// image page is a few KiB with its address twice; the engine refuses a far
// longer one only after it has built and parsed the address on the GUI
// thread, which holds the program up.
constexpr qsizetype kLongestEngineAddress = qsizetype{256} * 1024;
qsizetype EncodedLength(const QByteArray& text) {
    qsizetype length = 0;
    for (const char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~';
        length += plain ? 1 : 3;
    }
    return length;
}

// Local files can be read by the script of any page that may load them, so
// only a page that shows a local image (or a local page navigated to) may.
void AllowLocalFilesFor(QWebEngineSettings* settings, bool local) {
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, local);
}

}  // namespace

bool EngineSandboxOff() {
    const char* off = std::getenv("QTWEBENGINE_DISABLE_SANDBOX");
    return off && *off;
}

std::string DefaultChromiumFlags() {
    // One renderer, no GPU process and a small script heap: the engine's
    // default process model costs the views about twice the memory
    // (bench/memory/README.md has the figures).
    std::string flags =
        "--renderer-process-limit=1 --in-process-gpu --disable-gpu --js-flags=--max-old-space-size=32"
        " --enable-low-end-device-mode";
    // The zygote and a renderer process apart from the program exist for the
    // sandbox. Without it they only keep a second copy of the engine's heaps
    // and start-up, so the pages render in the program itself. With it, the
    // engine starts a second, unsandboxed zygote for helper processes (GPU,
    // network, audio, storage) that here all run in the program or never
    // start: its own relocated library data and heap for nothing.
    flags += EngineSandboxOff() ? " --no-zygote --single-process" : " --no-unsandboxed-zygote";
    return flags;
}

QWebEngineProfile* SharedWebEngineProfile() {
    static QWebEngineProfile* profile = [] {
        // No storage name: off the record, nothing written to disk.
        auto* p = new QWebEngineProfile(QCoreApplication::instance());
        p->setHttpCacheType(QWebEngineProfile::NoCache);
        p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        p->setUrlRequestInterceptor(new NoCacheInterceptor(p));
        HandleBoundedImages(p);
        return p;
    }();
    return profile;
}

void InstallWebEngineFactory(const std::string& chromiumFlags) {
    std::string flags = chromiumFlags;
    if (const char* user = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS"); user && *user) {
        // The user's own switches come last, so they win.
        flags += flags.empty() ? "" : " ";
        flags += user;
    }
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
    RegisterBoundedImageScheme();
    // The views draw in software (the engine runs without a GPU). Without
    // these the toolkit still loads an OpenGL stack with a compiler in it for
    // its scene graph, for nothing. Read when the application
    // object starts, so this must run before it; the user's own values win.
    setenv("QT_QUICK_BACKEND", "software", 0);
    setenv("QT_XCB_GL_INTEGRATION", "none", 0);
    SetHtmlEngineFactory([](TEmbeddedWB&, const HtmlViewOptions& options) -> std::unique_ptr<HtmlEngine> {
        return std::make_unique<WebEngineEngine>(SharedWebEngineProfile(), options);
    });
}

WebEngineEngine::WebEngineEngine(QWebEngineProfile* profile, const HtmlViewOptions& options)
    : view_(new WebEngineView(options.disableCtrlShortcuts)),
      page_(new WebEnginePage(profile, view_, options.silent)),
      fitImage_(options.fitImage) {
    ApplySettings(page_->settings(), options);
    page_->OnBeforeNavigate = [this](const std::string& url) {
        DroppedImage = page_->DroppedImage();
        const bool pass = !OnBeforeNavigate || OnBeforeNavigate(url);
        DroppedImage.clear();
        return pass;
    };
    view_->setPage(page_);
    // A new text replaces the page at once: until the new page has drawn,
    // the view shows its background, never the page before.
    cover_ = new PageCover(view_, page_);
    QObject::connect(page_, &QWebEnginePage::renderProcessTerminated, cover_, &PageCover::Uncover);
    QObject::connect(page_, &QWebEnginePage::loadFinished, page_, [] { PageLoaded(); });
    view_->setContextMenuPolicy(Qt::DefaultContextMenu);
    RecordDraggedImageOrigins();
}

WebEngineEngine::~WebEngineEngine() {
    page_->OnBeforeNavigate = nullptr;
    delete view_;  // and its page with it
}

QWidget* WebEngineEngine::Widget() {
    return view_;
}

void WebEngineEngine::Navigate(const std::string& url) {
    const QUrl target = QUrl::fromUserInput(ToQString(url));
    AllowLocalFilesFor(page_->settings(), target.isLocalFile());
    cover_->Cover();
    page_->LoadOwn(target);
}

void WebEngineEngine::LoadDocumentText(const std::string& text) {
    // A cell's marker line stays one comment, whatever its address holds.
    const std::string inert = InertMarkerLine(text);
    AllowLocalFilesFor(page_->settings(), ShowsLocalImage(inert));
    QByteArray html(inert.data(), static_cast<qsizetype>(inert.size()));
    if (fitImage_) html += kFitImageStyle;
    // The engine takes a text as an address with every byte but letters,
    // digits and "-._~" written as %XX. A longer one shows as an empty page
    // at once.
    if (EncodedLength(html) > kLongestEngineAddress) html.clear();
    cover_->Cover();
    page_->SetContentOwn(html);
}

}  // namespace zx

#include "webengine_engine.moc"
