#pragma once
// The web engine renders pages in a sandboxed process: the engine's zygote
// runs in user, process-id and network namespaces of its own. Where it cannot
// have them (root, whose sandbox the engine refuses; a container or a kernel
// that denies user namespaces) the engine would end the program at its first
// page, so the sandbox is switched off there and the pages render in the
// program itself.
#include <string>

namespace zx {

// Sets QTWEBENGINE_DISABLE_SANDBOX where the engine's sandbox cannot start,
// unless the variable is set already, and returns why the sandbox is off
// (empty when it stays on). With `report`, says so in one line on standard
// error. Call before the engine is set up, while the process has one thread.
std::string SwitchEngineSandboxOffWhereItCannotStart(bool report);

// Why this process cannot make the namespaces the engine's sandbox runs in,
// tried in a short-lived child; empty when it can.
std::string WhyNoSandboxNamespaces();

}  // namespace zx
