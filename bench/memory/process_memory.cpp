#include "process_memory.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace zx::bench {
namespace {

// Parent id and command name from /proc/<pid>/stat; the name is in
// parentheses and may itself hold blanks and parentheses.
bool ReadStat(pid_t pid, pid_t& parent, std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return false;
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    long ppid = 0;
    if (!(rest >> state >> ppid)) return false;
    parent = static_cast<pid_t>(ppid);
    return true;
}

long ReadPssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        if (fields >> key >> value && key == "Pss:") return value;
    }
    return 0;
}

}  // namespace

std::vector<ProcessMemory> ProcessTreeMemory(pid_t root) {
    std::multimap<pid_t, std::pair<pid_t, std::string>> children;  // parent -> (child, name)
    std::string rootName;
    if (DIR* dir = opendir("/proc")) {
        while (dirent* entry = readdir(dir)) {
            char* end = nullptr;
            const long pid = std::strtol(entry->d_name, &end, 10);
            if (pid <= 0 || *end != '\0') continue;
            pid_t parent = 0;
            std::string name;
            if (!ReadStat(static_cast<pid_t>(pid), parent, name)) continue;
            if (pid == root) rootName = name;
            children.emplace(parent, std::make_pair(static_cast<pid_t>(pid), name));
        }
        closedir(dir);
    }
    std::vector<ProcessMemory> result{{root, rootName, ReadPssKiB(root)}};
    for (size_t i = 0; i < result.size(); ++i) {
        auto [first, last] = children.equal_range(result[i].pid);
        for (auto it = first; it != last; ++it) {
            result.push_back({it->second.first, it->second.second, ReadPssKiB(it->second.first)});
        }
    }
    return result;
}

}  // namespace zx::bench
