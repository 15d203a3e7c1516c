#include "htmlview/webengine_widgets.h"

#include <QAction>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <cctype>

#include "htmlview/drag_origin.h"
#include "qtext/qt_text.h"

namespace zx {
namespace {

// Own navigations the engine never asked about (superseded before they
// started) are dropped beyond this many.
constexpr size_t kMaxOwnPending = 16;

// The base of text pages: a plain path as image source then means a local
// file, and local pages may show images from the web.
const QUrl& ContentBaseUrl() {
    static const QUrl base(QStringLiteral("file:///"));
    return base;
}

QUrl Normalized(const QUrl& url) {
    return url.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash);
}

// How an own navigation is recognised when the engine asks about it. The
// engine may have rewritten the address it was given (a quote in the query
// becomes %27, for one), so both sides are compared fully decoded: the view
// announced the navigation already, and it must not be announced again.
QString OwnKey(const QUrl& url) {
    return QUrl::fromPercentEncoding(Normalized(url).toEncoded());
}

// A page the engine opens for a new window (window.open, target links, and
// drops the engine handles itself). It shows nothing: its first navigation is
// announced by the view it belongs to and, when let pass, happens there.
class WindowCatcher : public QWebEnginePage {
    Q_OBJECT

public:
    WindowCatcher(QWebEngineProfile* profile, WebEnginePage* owner) : QWebEnginePage(profile, owner), owner_(owner) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (!isMainFrame || done_) return false;
        done_ = true;
        deleteLater();
        if (owner_) owner_->NavigateAnnounced(DroppedAddress(url), url);
        return false;
    }

private:
    QPointer<WebEnginePage> owner_;
    bool done_ = false;
};

}  // namespace

bool IsDisabledCtrlShortcut(int qtKey, Qt::KeyboardModifiers modifiers, const std::string& keys) {
    if (!(modifiers & Qt::ControlModifier) || (modifiers & Qt::ShiftModifier)) return false;
    if (qtKey <= 0 || qtKey > 0x7f) return false;
    for (char c : keys) {
        if (std::toupper(static_cast<unsigned char>(c)) == qtKey) return true;
    }
    return false;
}

int RemoveDisabledMenuActions(QMenu& menu, QWebEnginePage& page) {
    static constexpr QWebEnginePage::WebAction kRemoved[] = {
        QWebEnginePage::Back,
        QWebEnginePage::Forward,
        QWebEnginePage::Stop,
        QWebEnginePage::Reload,
        QWebEnginePage::ReloadAndBypassCache,
        QWebEnginePage::ViewSource,
        QWebEnginePage::SavePage,
        QWebEnginePage::SelectAll,
        QWebEnginePage::Paste,
        QWebEnginePage::PasteAndMatchStyle,
        QWebEnginePage::OpenLinkInThisWindow,
        QWebEnginePage::OpenLinkInNewWindow,
        QWebEnginePage::OpenLinkInNewTab,
        QWebEnginePage::OpenLinkInNewBackgroundTab,
        QWebEnginePage::InspectElement,
    };
    int removed = 0;
    for (QWebEnginePage::WebAction a : kRemoved) {
        QAction* action = page.action(a);
        if (action && menu.actions().contains(action)) {
            menu.removeAction(action);
            ++removed;
        }
    }
    // Separators left at either end or doubled up by the removals go too.
    QAction* previous = nullptr;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator() && (!previous || previous->isSeparator())) {
            menu.removeAction(action);
            continue;
        }
        previous = action;
    }
    if (previous && previous->isSeparator()) menu.removeAction(previous);
    return removed;
}

std::string DroppedAddress(const QUrl& url) {
    if (url.isLocalFile()) return ToStdString(url.toLocalFile());
    return ToStdString(url.toString(QUrl::FullyEncoded));
}

// ---------------------------------------------------------------------------

WebEnginePage::WebEnginePage(QWebEngineProfile* profile, QObject* parent, bool silent)
    : QWebEnginePage(profile, parent), silent_(silent) {}

void WebEnginePage::LoadOwn(const QUrl& url) {
    own_.push_back(Normalized(url));
    if (own_.size() > kMaxOwnPending) own_.pop_front();
    load(url);
}

void WebEnginePage::SetContentOwn(const QByteArray& html) {
    own_.push_back(QUrl(QStringLiteral("data:")));
    if (own_.size() > kMaxOwnPending) own_.pop_front();
    setContent(html, QStringLiteral("text/html;charset=utf-8"), ContentBaseUrl());
}

void WebEnginePage::NavigateAnnounced(const std::string& announced, const QUrl& url, const std::string& image) {
    droppedImage_ = image;
    const bool pass = !OnBeforeNavigate || OnBeforeNavigate(announced);
    droppedImage_.clear();
    if (!pass) return;
    LoadOwn(url);
}

bool WebEnginePage::TakeOwn(const QUrl& url) {
    const QString key = OwnKey(url);
    for (auto it = own_.begin(); it != own_.end(); ++it) {
        const bool match = it->scheme() == QLatin1String("data") && it->path().isEmpty()
                               ? url.scheme() == QLatin1String("data")
                               : OwnKey(*it) == key;
        if (match) {
            // Earlier ones were superseded by this one.
            own_.erase(own_.begin(), it + 1);
            return true;
        }
    }
    return false;
}

bool WebEnginePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (isMainFrame && type == NavigationTypeTyped && TakeOwn(url)) return true;
    if (!OnBeforeNavigate) return true;
    return OnBeforeNavigate(ToStdString(url.toString(QUrl::FullyEncoded)));
}

QWebEnginePage* WebEnginePage::createWindow(WebWindowType) {
    return new WindowCatcher(profile(), this);
}

void WebEnginePage::javaScriptAlert(const QUrl& securityOrigin, const QString& msg) {
    if (!silent_) QWebEnginePage::javaScriptAlert(securityOrigin, msg);
}

bool WebEnginePage::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) {
    return silent_ ? false : QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

bool WebEnginePage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                                     QString* result) {
    return silent_ ? false : QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

// Script errors and console output are neither shown nor logged.
void WebEnginePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) {}

QStringList WebEnginePage::chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                                       const QStringList& acceptedMimeTypes) {
    if (silent_) return {};
    return QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
}

// ---------------------------------------------------------------------------

WebEngineView::WebEngineView(const std::string& disabledCtrlKeys, QWidget* parent)
    : QWebEngineView(parent), disabledCtrlKeys_(disabledCtrlKeys) {
    setAcceptDrops(true);
}

// The engine draws into a child widget that it creates (and may replace) on
// its own; that child gets the key events, so each one is watched.
void WebEngineView::childEvent(QChildEvent* event) {
    if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
    QWebEngineView::childEvent(event);
}

bool WebEngineView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (IsDisabledCtrlShortcut(key->key(), key->modifiers(), disabledCtrlKeys_)) return true;
    }
    return QWebEngineView::eventFilter(watched, event);
}

void WebEngineView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    RemoveDisabledMenuActions(*menu, *page());
    if (menu->actions().isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(event->globalPos());
}

void WebEngineView::dragEnterEvent(QDragEnterEvent* event) {
    // Read while the drag lasts: a Wayland compositor's bridge to X11 may
    // refuse it once the drop is made (see dropEvent).
    const QMimeData* mime = event->mimeData();
    enteredUrls_ = mime->hasUrls() ? mime->urls() : QList<QUrl>();
    enteredHtml_ = mime->hasUrls() && mime->hasHtml() ? mime->html() : QString();
    if (mime->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QWebEngineView::dragEnterEvent(event);
}

void WebEngineView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QWebEngineView::dragMoveEvent(event);
}

// A dropped link, image or file makes the view navigate to its address; the
// first address of the drop counts, announced like any other navigation.
// Sway's bridge from a native Wayland drag (wlroots 0.15) hands the drop on
// but refuses the reading that follows unless an X11 window has the keyboard,
// which the browser the drag came from holds: then what the drag carried
// when it entered the view stands for it.
void WebEngineView::dropEvent(QDropEvent* event) {
    QList<QUrl> urls = event->mimeData()->urls();
    QString html = event->mimeData()->hasHtml() ? event->mimeData()->html() : QString();
    if (urls.isEmpty()) {
        urls = enteredUrls_;
        html = enteredHtml_;
    }
    enteredUrls_.clear();
    enteredHtml_.clear();
    if (urls.isEmpty() || !urls.first().isValid()) {
        QWebEngineView::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    const QUrl& url = urls.first();
    Page()->NavigateAnnounced(DroppedAddress(url), url, DraggedImageAddress(ToStdString(html)));
}

}  // namespace zx

#include "webengine_widgets.moc"
