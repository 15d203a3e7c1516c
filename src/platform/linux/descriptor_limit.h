#pragma once
// The number of files the process may hold open. The web engine opens many
// (sockets, shared memory, pipes to its helper processes) and ends the
// process when it runs out, so the program takes all the system allows.

namespace zx {

// Raises the soft limit on open descriptors to the hard limit; the soft
// limit in force afterwards.
long RaiseDescriptorLimit();

// Fewer than this and the engine cannot start its views and load their
// pages; start-up refuses such a limit with a line on standard error.
inline constexpr long kFewestDescriptors = 256;

}  // namespace zx
