#pragma once
// TEmbeddedWB: a child control that shows a page given as lines of HTML text
// (HTMLCode), announces every navigation before it happens with a veto
// (OnBeforeNavigate2), and trims the engine's user interface.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "base/string_list.h"
#include "htmlview/html_engine.h"

namespace zx {

class TEmbeddedWB : public QWidget {
    Q_OBJECT

public:
    // Cancel is false on entry; a handler that sets it vetoes the navigation.
    using BeforeNavigate2Event = std::function<void(TEmbeddedWB* ASender, const std::string& URL, bool& Cancel)>;

    explicit TEmbeddedWB(QWidget* parent, const HtmlViewOptions& options = {});
    ~TEmbeddedWB() override;

    // The text the program last gave the view. Setting it makes the view show it.
    TStringList& HTMLCode() { return htmlCode_; }
    const TStringList& HTMLCode() const { return htmlCode_; }

    BeforeNavigate2Event OnBeforeNavigate2;

    bool Visible() const { return visible_; }
    // Keeps Visible() and shows or hides the widget; not an override of setVisible.
    void SetVisible(bool visible);  // NOLINT(bugprone-virtual-near-miss)

    const HtmlViewOptions& Options() const { return options_; }
    bool HasDocument() const { return hasDocument_; }
    HtmlEngine& Engine() { return *engine_; }

    // Raises OnBeforeNavigate2; returns true when the navigation may go on.
    // Engines call this (through HtmlEngine::OnBeforeNavigate) for their own
    // navigations, and the view for the ones it starts.
    bool AnnounceNavigation(const std::string& url);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyHTMLCode();
    void LoadDocumentText(const std::string& text);
    void EnsureDocument();
    void NavigateTo(const std::string& url);

    HtmlViewOptions options_;
    TStringList htmlCode_;
    std::unique_ptr<HtmlEngine> engine_;
    bool hasDocument_ = false;
    bool visible_ = true;
};

}  // namespace zx
