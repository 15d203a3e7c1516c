#include "process_memory.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace zx::bench {
namespace {

struct StatLine {
    pid_t pid = 0, parent = 0;
    std::string name;
    int threads = 0;
};

// From /proc/<pid>/stat; the name is in parentheses and may itself hold
// blanks and parentheses, so the fields are counted from its end.
bool ReadStat(pid_t pid, StatLine& out) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return false;
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    out.pid = pid;
    out.name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 1));
    std::string field;
    long ppid = 0;
    if (!(rest >> field >> ppid)) return false;
    for (int i = 0; i < 16 && rest >> field; ++i) {
    }  // fields 5 to 20
    out.parent = static_cast<pid_t>(ppid);
    out.threads = std::atoi(field.c_str());  // field 20
    return true;
}

std::vector<StatLine> AllProcesses() {
    std::vector<StatLine> all;
    if (DIR* dir = opendir("/proc")) {
        while (dirent* entry = readdir(dir)) {
            char* end = nullptr;
            const long pid = std::strtol(entry->d_name, &end, 10);
            StatLine s;
            if (pid > 0 && *end == '\0' && ReadStat(static_cast<pid_t>(pid), s)) all.push_back(s);
        }
        closedir(dir);
    }
    return all;
}

std::set<pid_t> Tree(const std::vector<StatLine>& all, pid_t root) {
    std::set<pid_t> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& s : all)
            if (tree.count(s.parent) && tree.insert(s.pid).second) grew = true;
    }
    return tree;
}

void ReadRollup(ProcessMemory& p) {
    std::ifstream in("/proc/" + std::to_string(p.pid) + "/smaps_rollup");
    std::string line, key;
    long value = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        if (!(fields >> key >> value)) continue;
        if (key == "Pss:") p.pssKiB = value;
        if (key == "Pss_Anon:") p.anonKiB = value;
        if (key == "Pss_File:") p.fileKiB = value;
        if (key == "Pss_Shmem:") p.shmemKiB = value;
    }
}

bool Filtered(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("Seccomp:", 0) == 0) return std::atoi(line.c_str() + 8) == 2;
    return false;
}

std::string UserNamespace(pid_t pid) {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/ns/user", ec).string();
}

}  // namespace

std::vector<ProcessMemory> ProcessTreeMemory(pid_t root) {
    const auto all = AllProcesses();
    const auto tree = Tree(all, root);
    std::vector<ProcessMemory> result;
    for (const auto& s : all) {
        if (!tree.count(s.pid)) continue;
        ProcessMemory p{s.pid, s.name, s.threads};
        ReadRollup(p);
        p.filtered = Filtered(p.pid);
        p.ownNamespace = UserNamespace(p.pid) != UserNamespace(root);
        result.push_back(p);
    }
    std::sort(result.begin(), result.end(), [root](const auto& a, const auto& b) {
        return (a.pid == root) != (b.pid == root) ? a.pid == root : a.pid < b.pid;
    });
    return result;
}

std::vector<std::pair<std::string, long>> LargestMappings(pid_t pid, size_t count) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
    std::map<std::string, long> sums;
    std::string line, name = "[anon]";
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == "Pss:") {
            long kib = 0;
            fields >> kib;
            sums[name] += kib;
        } else if (first.find('-') != std::string::npos && first.back() != ':') {
            // A mapping's header: range, permissions, offset, device, inode, then the name.
            std::string skip;
            for (int i = 0; i < 4; ++i) fields >> skip;
            std::getline(fields >> std::ws, name);
            if (name.empty()) name = "[anon]";
        }
    }
    std::vector<std::pair<std::string, long>> sorted(sums.begin(), sums.end());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    if (sorted.size() > count) sorted.resize(count);
    return sorted;
}

std::vector<Mapper> OtherProcessesMapping(pid_t root, const std::string& library) {
    const auto all = AllProcesses();
    const auto tree = Tree(all, root);
    std::vector<Mapper> found;
    for (const auto& s : all) {
        if (tree.count(s.pid)) continue;
        std::ifstream in("/proc/" + std::to_string(s.pid) + "/maps");
        std::string line;
        bool maps = false;
        while (!maps && std::getline(in, line)) maps = line.find(library) != std::string::npos;
        if (!maps) continue;
        struct stat st {};
        std::string user = "?";
        if (stat(("/proc/" + std::to_string(s.pid)).c_str(), &st) == 0) {
            const passwd* pw = getpwuid(st.st_uid);
            user = pw ? pw->pw_name : std::to_string(st.st_uid);
        }
        found.push_back({s.pid, s.name, user});
    }
    return found;
}

}  // namespace zx::bench
