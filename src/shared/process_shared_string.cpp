#include "shared/process_shared_string.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

#include "base/exception.h"

namespace zx {

namespace {

// Blocks stay held by the process until it ends, like a handle that is never
// closed: a later object on the same name in this process, or in another one,
// still finds the content.
void RetainUntilExit(std::shared_ptr<ProcessSharedMemory> mapping) {
    if (!mapping) return;
    static std::mutex guard;
    static auto* kept = new std::vector<std::shared_ptr<ProcessSharedMemory>>;
    std::lock_guard<std::mutex> lock(guard);
    kept->push_back(std::move(mapping));
}

int32_t LoadLength(const uint8_t* p) {
    uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    return static_cast<int32_t>(v);
}

void StoreLength(uint8_t* p, int32_t length) {
    auto v = static_cast<uint32_t>(length);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Unmaps a view and releases the lock on every way out of Read and Write.
class ViewScope {
public:
    explicit ViewScope(std::function<void()> release) : release_(std::move(release)) {}
    ~ViewScope() { release_(); }
    ViewScope(const ViewScope&) = delete;
    ViewScope& operator=(const ViewScope&) = delete;

private:
    std::function<void()> release_;
};

}  // namespace

TProcessSharedAnsiString::TProcessSharedAnsiString(const std::string& name)
    : FName(name), FMutex(platform().OpenProcessMutex(kMutexName)) {
    Lock();
    try {
        FMapping = platform().OpenSharedMemory(FName, kRecordSize);
        // A block that cannot be had shows up as the map failure of this
        // first Write.
        if (!FMapping || FMapping->Created()) Write("");
    } catch (...) {
        Unlock();
        RetainUntilExit(std::move(FMapping));
        throw;
    }
    Unlock();
}

TProcessSharedAnsiString::~TProcessSharedAnsiString() {
    RetainUntilExit(std::move(FMapping));
}

void TProcessSharedAnsiString::Lock() {
    if (FMutex) FMutex->Lock();
}

void TProcessSharedAnsiString::Unlock() {
    if (FMutex) FMutex->Unlock();
}

std::string TProcessSharedAnsiString::Read() {
    std::string result;
    Lock();
    ViewScope unlock([this] { Unlock(); });
    uint8_t* view = MapView(kRecordSize);
    ViewScope unmap([this, view] { UnmapView(view); });
    int32_t length = LoadLength(view);
    // Write never stores more than 16380; a larger length comes from a
    // foreign writer, and reading it would run past the view.
    if (length > 0 && static_cast<size_t>(length) <= kMaxTextLength) {
        result.assign(reinterpret_cast<const char*>(view + 4), static_cast<size_t>(length));
    }
    return result;
}

void TProcessSharedAnsiString::Write(const std::string& text) {
    Lock();
    ViewScope unlock([this] { Unlock(); });
    uint8_t* view = MapView(kRecordSize);
    ViewScope unmap([this, view] { UnmapView(view); });
    size_t length = text.size() > kMaxTextLength ? kMaxTextLength : text.size();
    StoreLength(view, static_cast<int32_t>(length));
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), view + 4);
}

uint8_t* TProcessSharedAnsiString::MapView(size_t size) {
    void* address = FMapping ? FMapping->Map(size) : nullptr;
    if (!address) throw Exception("Could not map view of file: " + FName);
    return static_cast<uint8_t*>(address);
}

void TProcessSharedAnsiString::UnmapView(void* address) {
    if (FMapping) FMapping->Unmap(address);
}

}  // namespace zx
