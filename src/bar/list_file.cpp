#include "bar/list_file.h"

#include "base/text.h"
#include "platform/files.h"

namespace zx {

bool ListFileExists(const std::string& path) {
    return FileExistsFollowingLinks(path);
}

void WriteListFile(const std::string& path, const std::vector<std::string>& lines) {
    ReplaceFileContents(path, JoinLinesCRLF(lines));
}

std::vector<std::string> ReadListFile(const std::string& path) {
    std::vector<std::string> lines = SplitLines(ReadFileHead(path, kListLineCount, kMaxListReadBytes));
    if (lines.size() > static_cast<size_t>(kListLineCount)) lines.resize(kListLineCount);
    return lines;
}

}  // namespace zx
