#pragma once
// An engine that draws nothing and remembers what it was asked to show, so
// that the bar's logic runs in plain tests. SimulateNavigation plays a drop
// or a link click: it is announced to the view first, as a real engine does.
#include <memory>
#include <string>
#include <vector>

#include "htmlview/html_engine.h"

namespace zx {

class HeadlessEngine : public HtmlEngine {
public:
    QWidget* Widget() override { return nullptr; }
    void Navigate(const std::string& url) override {
        navigations.push_back(url);
        currentText.clear();
    }
    void LoadDocumentText(const std::string& text) override {
        loads.push_back(text);
        currentText = text;
    }

    // Returns true when the view let the navigation happen.
    // image: the image address the drag's markup carries, as a browser's
    // drag of a linked thumbnail does.
    bool SimulateNavigation(const std::string& url, const std::string& image = {}) {
        DroppedImage = image;
        const bool pass = !OnBeforeNavigate || OnBeforeNavigate(url);
        DroppedImage.clear();
        if (!pass) return false;
        Navigate(url);
        return true;
    }

    std::vector<std::string> navigations;  // addresses navigated to, in order
    std::vector<std::string> loads;        // texts loaded, in order
    std::string currentText;               // the text shown now
};

// Makes the views created while it lives use the headless engine; in a
// fixture, declare it before the views.
class ScopedHeadlessEngine {
public:
    ScopedHeadlessEngine() {
        SetHtmlEngineFactory([](TEmbeddedWB&, const HtmlViewOptions&) { return std::make_unique<HeadlessEngine>(); });
    }
    ~ScopedHeadlessEngine() { SetHtmlEngineFactory(nullptr); }
    ScopedHeadlessEngine(const ScopedHeadlessEngine&) = delete;
    ScopedHeadlessEngine& operator=(const ScopedHeadlessEngine&) = delete;
};

}  // namespace zx
