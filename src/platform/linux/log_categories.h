#pragma once
// What the Linux platform reports about its fallbacks: the quiet ways it goes
// on when the desktop lacks something (no session bus, no private directory
// for the named objects, no origin attribute, no X server to ask, no
// namespaces for the engine's sandbox). Each goes through a logging category
// of its own whose debug messages are off unless diagnostics are on
// (ZELTRIX_DEBUG); a user's QT_LOGGING_RULES can pick single ones.
#include <QLoggingCategory>

namespace zx {

// The rule that turns every category below on, for diagnostics.
inline constexpr char kPlatformLogRules[] = "zeltrix.*.debug=true";

Q_DECLARE_LOGGING_CATEGORY(lcLock)           // zeltrix.platform.lock: the session-lock watcher
Q_DECLARE_LOGGING_CATEGORY(lcNamedObjects)   // zeltrix.platform.named: named mutex and shared memory
Q_DECLARE_LOGGING_CATEGORY(lcOrigin)         // zeltrix.platform.origin: the origin attribute of files
Q_DECLARE_LOGGING_CATEGORY(lcWindowMessage)  // zeltrix.platform.message: the instance notification
Q_DECLARE_LOGGING_CATEGORY(lcSandbox)        // zeltrix.platform.sandbox: the engine sandbox probe
Q_DECLARE_LOGGING_CATEGORY(lcPages)          // zeltrix.platform.pages: library pages handed back
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)        // zeltrix.platform.desktop: dialogs, browser, window hints

}  // namespace zx
