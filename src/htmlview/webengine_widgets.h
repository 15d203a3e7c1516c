#pragma once
// The Qt WebEngine page and view under one HTML view. The page decides which
// navigations are announced (everything the view did not start itself) and
// keeps the engine's own dialogs away from silent views; the view trims keys,
// the context menu and takes drops.
#include <QList>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <deque>
#include <functional>
#include <string>

class QMenu;

namespace zx {

// True for a key press that a view swallows: Ctrl (without Shift) and a key
// whose character occurs in `keys` (letters compared without case).
bool IsDisabledCtrlShortcut(int qtKey, Qt::KeyboardModifiers modifiers, const std::string& keys);

// Removes the engine's commands that the views do not offer (history, reload,
// page source, select all, paste, page saving, link opening, inspection) from
// a context menu built from `page`'s actions. Returns how many were removed.
int RemoveDisabledMenuActions(QMenu& menu, QWebEnginePage& page);

class WebEnginePage : public QWebEnginePage {
    Q_OBJECT

public:
    // Called with the address of every navigation the view did not start;
    // returns false to refuse it.
    using BeforeNavigateEvent = std::function<bool(const std::string& url)>;

    WebEnginePage(QWebEngineProfile* profile, QObject* parent, bool silent);

    // Loads `url` without announcing it (the view has done so already).
    void LoadOwn(const QUrl& url);
    // Shows `html` (UTF-8) as a page. Not announced.
    void SetContentOwn(const QByteArray& html);
    // A navigation that came from outside the page (a drop): announced with
    // `announced` as the address; loaded when let pass.
    void NavigateAnnounced(const std::string& announced, const QUrl& url, const std::string& image = {});
    // The image address of the drop being announced, else empty.
    const std::string& DroppedImage() const { return droppedImage_; }

    BeforeNavigateEvent OnBeforeNavigate;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    bool TakeOwn(const QUrl& url);

    bool silent_;
    std::string droppedImage_;
    // Navigations started through LoadOwn/SetContentOwn that the engine has
    // not asked about yet, oldest first.
    std::deque<QUrl> own_;
};

class WebEngineView : public QWebEngineView {
    Q_OBJECT

public:
    WebEngineView(const std::string& disabledCtrlKeys, QWidget* parent = nullptr);

    WebEnginePage* Page() const { return static_cast<WebEnginePage*>(page()); }

protected:
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    std::string disabledCtrlKeys_;
    // What the drag over the view carried when it entered (see dropEvent).
    QList<QUrl> enteredUrls_;
    QString enteredHtml_;
};

// The address a dropped URL is announced with: a local file as its plain
// file-system path, anything else as its encoded address.
std::string DroppedAddress(const QUrl& url);

}  // namespace zx
