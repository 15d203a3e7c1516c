#pragma once
// The bar list file: twenty lines of 8-bit text, one address or nothing per
// cell, each line ended by CR LF, no byte-order mark.
#include <cstddef>
#include <string>
#include <vector>

#include "base/cell_document.h"

namespace zx {

inline constexpr int kListLineCount = kCellCount;
// Reading stops at the twentieth line break; the text before it may be at
// most this long, or the file is refused as too large.
inline constexpr size_t kMaxListReadBytes = size_t{4} * 1024 * 1024;

// True when `path` names something that is not a directory.
bool ListFileExists(const std::string& path);

// Writes every line followed by CR LF. An existing regular file is replaced
// only once the new text is completely on disk (a temporary file in the same
// folder, renamed over it), so a failed write leaves the old list intact;
// where that cannot keep the file's owner, group, mode and links, or the
// folder refuses it, the file is written in place. A file the user may not
// open for writing is never replaced. Throws EFCreateError when the file
// cannot be created or opened for writing and EWriteError when writing fails.
void WriteListFile(const std::string& path, const std::vector<std::string>& lines);

// Reads the first kListLineCount lines, split at CR LF, CR or LF. Reads no
// further than the twentieth line break and never more than kMaxListReadBytes;
// never blocks on a pipe without a writer. Throws EFOpenError (the file cannot
// be opened or read, is a directory, or its first lines are too large).
std::vector<std::string> ReadListFile(const std::string& path);

}  // namespace zx
