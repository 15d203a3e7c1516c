#pragma once
// The Qt WebEngine engine under the HTML views. All views share one profile
// without disk storage or HTTP cache.
#include <string>

#include "htmlview/html_engine.h"

class QWebEngineProfile;

namespace zx {

class WebEngineView;
class WebEnginePage;
class PageCover;

class WebEngineEngine : public HtmlEngine {
public:
    WebEngineEngine(QWebEngineProfile* profile, const HtmlViewOptions& options);
    ~WebEngineEngine() override;

    QWidget* Widget() override;
    void Navigate(const std::string& url) override;
    void LoadDocumentText(const std::string& text) override;

    WebEngineView* View() const { return view_; }
    WebEnginePage* Page() const { return page_; }

private:
    WebEngineView* view_;
    WebEnginePage* page_;
    bool fitImage_;
    PageCover* cover_ = nullptr;  // over the view while a new text replaces its page
};

// The Chromium switches the program runs its engine with: one renderer
// process for all views, the GPU work inside the program's own process, a
// small script heap and the engine's low-memory mode; when the sandbox is off,
// no zygote and no renderer process apart from the program. Two dozen image
// views then fit in little memory.
std::string DefaultChromiumFlags();
// True when the engine will run without its sandbox: switched off through
// QTWEBENGINE_DISABLE_SANDBOX (which the platform sets when running as root).
bool EngineSandboxOff();

// Makes every HTML view created from now on use Qt WebEngine. Call once,
// before the QApplication exists (it sets how the toolkit renders the views)
// and before the first view. Puts `chromiumFlags`
// in front of any QTWEBENGINE_CHROMIUM_FLAGS already set.
void InstallWebEngineFactory(const std::string& chromiumFlags = DefaultChromiumFlags());

// The one profile of all views; created on first use, owned by the application.
QWebEngineProfile* SharedWebEngineProfile();

}  // namespace zx
