#include "base/handler_guard.h"

#include <cstdio>

namespace zx {
namespace {
ExceptionReporter& Reporter() {
    static ExceptionReporter reporter;
    return reporter;
}
}  // namespace

ExceptionReporter SetExceptionReporter(ExceptionReporter reporter) {
    return std::exchange(Reporter(), std::move(reporter));
}

void ReportException(const std::exception& e) {
    if (Reporter()) {
        Reporter()(e);
    } else {
        std::fprintf(stderr, "zeltrix: %s\n", e.what());
    }
}

}  // namespace zx
