#include "platform/linux/log_categories.h"

namespace zx {

// Debug messages are off by default; warnings and worse keep the toolkit's
// default, which the program silences unless diagnostics are on.
Q_LOGGING_CATEGORY(lcLock, "zeltrix.platform.lock", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNamedObjects, "zeltrix.platform.named", QtInfoMsg)
Q_LOGGING_CATEGORY(lcOrigin, "zeltrix.platform.origin", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWindowMessage, "zeltrix.platform.message", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSandbox, "zeltrix.platform.sandbox", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPages, "zeltrix.platform.pages", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDesktop, "zeltrix.platform.desktop", QtInfoMsg)

}  // namespace zx
