#pragma once
// The two questions a user asks of a desktop program from a terminal,
// --help and --version, answered before anything else starts: no display,
// no web engine, no single-instance state.
#include <cstdio>
#include <optional>

namespace zx {

// When argv holds "-h"/"--help" or "--version" (before any "--"), writes the
// answer to `out` and returns the exit code: 0, or 1 when the text could not
// be written. Otherwise returns nothing and the program starts; every other
// argument is left to Qt and its web engine (such as "-platform xcb").
std::optional<int> AnswerCommandLine(int argc, char** argv, std::FILE* out);

}  // namespace zx
