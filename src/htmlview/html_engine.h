#pragma once
// The seam between an HTML view and what draws its page. The program uses the
// Qt WebEngine engine; logic tests install a headless one of their own, which
// keeps the same contract without a browser.
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace zx {

class TEmbeddedWB;

class HtmlEngine {
public:
    virtual ~HtmlEngine() = default;

    // The widget that shows the page; the view lays it out over its whole area.
    virtual QWidget* Widget() = 0;
    // Navigates to an address the view has already announced and let pass.
    virtual void Navigate(const std::string& url) = 0;
    // Replaces the page by `text` parsed as HTML. Not a navigation: nothing is
    // announced. Failures are swallowed.
    virtual void LoadDocumentText(const std::string& text) = 0;

    // Set by the view. The engine calls it before each navigation of its own
    // (link clicks, script, drops) with the target address; it returns false
    // when the navigation is vetoed.
    std::function<bool(const std::string& url)> OnBeforeNavigate;
    // While a drop is announced: the web address of the image the drag
    // carries in its markup (a gallery thumbnail inside a link), else empty.
    std::string DroppedImage;
};

// Options shared by all views of the program; `silent` differs per view.
struct HtmlViewOptions {
    bool silent = true;                      // no dialogs of the engine's own
    std::string disableCtrlShortcuts = "N";  // Ctrl+<key> swallowed for these keys
    bool noScrollBars = true;
    // An image page (an image with an onload script, as the cell pages have)
    // shows its image centred and scaled to fit the view less 6 pixels. Off
    // for a view that shows images at their natural size.
    bool fitImage = true;
};

using HtmlEngineFactory = std::function<std::unique_ptr<HtmlEngine>(TEmbeddedWB& view, const HtmlViewOptions&)>;

// The factory every new view uses. Without one, creating a view throws
// zx::Exception "No web engine is installed".
void SetHtmlEngineFactory(HtmlEngineFactory factory);
std::unique_ptr<HtmlEngine> CreateHtmlEngine(TEmbeddedWB& view, const HtmlViewOptions& options);

// One callback for all views, called after any of them finished loading a page
// (the program then hands back what the load no longer needs). Engines call
// PageLoaded.
void SetOnPageLoaded(std::function<void()> onPageLoaded);
void PageLoaded();

}  // namespace zx
