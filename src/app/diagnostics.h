#pragma once
// The toolkit and the web engine report on standard error what they set up
// (graphics backend, engine switches) and what they trip over. The program
// writes no log: those reports stay silent unless the environment variable
// ZELTRIX_DEBUG is set to anything but "" or "0", for a bug report.
#include <string>

namespace zx {

bool DiagnosticsWanted();

// Call before the application object and the engine start: silences the
// toolkit's messages in this process and in the engine's helper processes
// (fatal messages still go out), or, with diagnostics wanted, turns on the
// platform's debug categories (zeltrix.platform.*) as well.
void QuietDiagnostics();

// The engine's switches that keep its own log quiet; empty when diagnostics
// are wanted.
std::string EngineLogSwitches();

}  // namespace zx
