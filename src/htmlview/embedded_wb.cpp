#include "htmlview/embedded_wb.h"

#include <QDir>
#include <QResizeEvent>
#include <QString>

#include "base/handler_guard.h"
#include "base/text.h"
#include "qtext/qt_text.h"

namespace zx {

TEmbeddedWB::TEmbeddedWB(QWidget* parent, const HtmlViewOptions& options) : QWidget(parent), options_(options) {
    engine_ = CreateHtmlEngine(*this, options_);
    // The engine announces its own navigations (link clicks, scripts, drops)
    // from inside its code, which an exception must not cross: an error of
    // the handler goes to the program's error report like any handler's, and
    // the navigation is refused.
    engine_->OnBeforeNavigate = [this](const std::string& url) {
        bool pass = false;
        RunHandler([&] { pass = AnnounceNavigation(url); });
        return pass;
    };
    if (QWidget* w = engine_->Widget()) {
        w->setParent(this);
        w->setGeometry(rect());
        w->show();
    }
    htmlCode_.OnChange = [this] { ApplyHTMLCode(); };
}

TEmbeddedWB::~TEmbeddedWB() {
    htmlCode_.OnChange = nullptr;
    engine_->OnBeforeNavigate = nullptr;
}

void TEmbeddedWB::SetVisible(bool visible) {  // NOLINT(bugprone-virtual-near-miss)
    visible_ = visible;
    setVisible(visible);
}

void TEmbeddedWB::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (QWidget* w = engine_->Widget()) w->setGeometry(rect());
}

bool TEmbeddedWB::AnnounceNavigation(const std::string& url) {
    bool cancel = false;
    if (OnBeforeNavigate2) OnBeforeNavigate2(this, url, cancel);
    return !cancel;
}

void TEmbeddedWB::ApplyHTMLCode() {
    if (htmlCode_.Count() == 1) {
        const std::string& line = htmlCode_[0];
        const std::string head4 = AsciiLower(std::string_view(line).substr(0, 4));
        const bool isAddress = head4 == "http" || head4 == "www." || head4 == "ftp:" || head4 == "file" ||
                               AsciiLower(std::string_view(line).substr(0, 6)) == "about:";
        if (isAddress) {
            if (TrimControl(line).empty()) return;
            if (QDir(ToQString(line)).exists())
                NavigateTo("file:///" + line);
            else
                NavigateTo(line);
            return;
        }
    }
    LoadDocumentText(htmlCode_.Text());
}

void TEmbeddedWB::NavigateTo(const std::string& url) {
    if (!AnnounceNavigation(url)) return;
    hasDocument_ = true;
    engine_->Navigate(url);
}

void TEmbeddedWB::EnsureDocument() {
    if (hasDocument_) return;
    // The first document comes from an "about:blank" navigation, announced
    // like any other; a veto leaves the view without a document.
    NavigateTo("about:blank");
}

void TEmbeddedWB::LoadDocumentText(const std::string& text) {
    EnsureDocument();
    if (!hasDocument_) return;  // no document: the load is swallowed
    engine_->LoadDocumentText(text);
}

}  // namespace zx
