#include "platform/linux/working_set.h"

#include <link.h>
#include <sys/auxv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace zx {
namespace {

struct Range {
    uintptr_t begin = 0, end = 0;
};

// The mappings that hold pages of the process's own (copies made by a write,
// which the kernel counts as anonymous): unmapping such a page would bring
// back the file's content instead. A debugger's breakpoint or a library
// with relocations in its code makes them in read-only segments.
// Nothing when they cannot be read.
std::optional<std::vector<Range>> MappingsWithOwnPages() {
    std::vector<Range> own;
    FILE* smaps = std::fopen("/proc/self/smaps", "re");
    if (!smaps) return std::nullopt;
    char* line = nullptr;
    size_t capacity = 0;
    Range current;
    // A mapping's first line starts with its address range; the lines of
    // its figures start with a name and a colon.
    while (getline(&line, &capacity, smaps) > 0) {
        char* dash = nullptr;
        char* blank = nullptr;
        const uintptr_t begin = std::strtoul(line, &dash, 16);
        const uintptr_t end = *dash == '-' ? std::strtoul(dash + 1, &blank, 16) : 0;
        if (blank && blank > dash + 1 && *blank == ' ') {
            current = Range{begin, end};
        } else if (std::strncmp(line, "Anonymous:", 10) == 0 && std::strtol(line + 10, nullptr, 10) > 0) {
            own.push_back(current);
        }
    }
    std::free(line);
    const bool complete = !std::ferror(smaps);
    std::fclose(smaps);
    if (!complete) return std::nullopt;
    return own;
}

bool HasTextRelocations(const dl_phdr_info& info) {
    for (int i = 0; i < info.dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info.dlpi_phdr[i];
        if (segment.p_type != PT_DYNAMIC) continue;
        for (auto* d = reinterpret_cast<const ElfW(Dyn)*>(info.dlpi_addr + segment.p_vaddr); d->d_tag != DT_NULL; ++d) {
            if (d->d_tag == DT_TEXTREL || (d->d_tag == DT_FLAGS && (d->d_un.d_val & DF_TEXTREL))) return true;
        }
    }
    return false;
}

struct Walk {
    uintptr_t page = 0;
    uintptr_t vdso = 0;
    std::vector<Range> own;
    size_t bytes = 0;
};

bool Overlaps(const std::vector<Range>& ranges, Range r) {
    for (const Range& o : ranges)
        if (o.begin < r.end && r.begin < o.end) return true;
    return false;
}

// Called for each loaded object with the loader's lock held, so no library
// can be unmapped (and its addresses reused) while its pages are handed back.
int HandBackObject(dl_phdr_info* info, size_t, void* data) {
    Walk& walk = *static_cast<Walk*>(data);
    if (HasTextRelocations(*info)) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W)) continue;
        // Whole pages: a page has one protection, so the pages a read-only
        // segment touches are all read-only (what lies beyond its end in the
        // last page comes from the file as well).
        const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        const Range r{start & ~(walk.page - 1), (start + segment.p_memsz + walk.page - 1) & ~(walk.page - 1)};
        if (r.end <= r.begin || (walk.vdso >= r.begin && walk.vdso < r.end) || Overlaps(walk.own, r)) continue;
        if (madvise(reinterpret_cast<void*>(r.begin), r.end - r.begin, MADV_DONTNEED) == 0)
            walk.bytes += r.end - r.begin;
    }
    return 0;
}

}  // namespace

size_t HandBackLibraryPages() {
    Walk walk;
    walk.page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    walk.vdso = getauxval(AT_SYSINFO_EHDR);
    auto own = MappingsWithOwnPages();
    if (!own) return 0;
    walk.own = std::move(*own);
    dl_iterate_phdr(HandBackObject, &walk);
    return walk.bytes;
}

}  // namespace zx
