#include "htmlview/html_engine.h"

#include "base/exception.h"

namespace zx {
namespace {
HtmlEngineFactory& Factory() {
    static HtmlEngineFactory factory;
    return factory;
}
std::function<void()>& OnPageLoaded() {
    static std::function<void()> onPageLoaded;
    return onPageLoaded;
}
}  // namespace

void SetHtmlEngineFactory(HtmlEngineFactory factory) {
    Factory() = std::move(factory);
}

std::unique_ptr<HtmlEngine> CreateHtmlEngine(TEmbeddedWB& view, const HtmlViewOptions& options) {
    // The program installs its engine before the first view; a view without
    // one would stay blank, so this is an error, never a silent fallback.
    if (!Factory()) throw Exception("No web engine is installed");
    return Factory()(view, options);
}

void SetOnPageLoaded(std::function<void()> onPageLoaded) {
    OnPageLoaded() = std::move(onPageLoaded);
}

void PageLoaded() {
    if (OnPageLoaded()) OnPageLoaded()();
}

}  // namespace zx
