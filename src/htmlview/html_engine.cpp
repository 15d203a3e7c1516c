#include "htmlview/html_engine.h"

#include "htmlview/headless_engine.h"

namespace zx {
namespace {
HtmlEngineFactory& Factory() {
    static HtmlEngineFactory factory;
    return factory;
}
}  // namespace

void SetHtmlEngineFactory(HtmlEngineFactory factory) {
    Factory() = std::move(factory);
}

std::unique_ptr<HtmlEngine> CreateHtmlEngine(TEmbeddedWB& view, const HtmlViewOptions& options) {
    if (Factory()) return Factory()(view, options);
    return std::make_unique<HeadlessEngine>();
}

}  // namespace zx
