#pragma once
// One 8-bit text in a named block of shared memory that other processes open
// by name, guarded by a named mutex that every object in every process shares.
// Both come from the platform.
//
// The block is 16384 bytes: a signed 32-bit little-endian length, then at most
// 16380 text bytes. Bytes behind a shorter text keep what longer texts left
// there; a new block is zero-filled. The lock is recursive for its thread, and
// Read and Write take it themselves, so a caller may wrap a Read and a Write in
// Lock/Unlock to make them one step across processes.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace zx {

class TProcessSharedAnsiString {
public:
    // Fixed by the single-instance protocol: every object in every process
    // shares this one lock, and every holder reads the record at this size.
    static constexpr char kMutexName[] = "B1FD9BB5-0DDE-449A-9043-D601B41F9529";
    static constexpr size_t kRecordSize = 0x4000;
    static constexpr size_t kMaxTextLength = kRecordSize - 4;

    // Opens the block called `name`, or creates it holding the empty text.
    // Throws zx::Exception "Could not map view of file: <name>" when the block
    // cannot be viewed.
    explicit TProcessSharedAnsiString(const std::string& name);
    // Closes the mutex. The block stays held until the process ends, so its
    // content outlives the object.
    ~TProcessSharedAnsiString();
    TProcessSharedAnsiString(const TProcessSharedAnsiString&) = delete;
    TProcessSharedAnsiString& operator=(const TProcessSharedAnsiString&) = delete;

    // Waits for the named mutex (the platform bounds the wait for another
    // process); recursive for this thread.
    void Lock();
    // Releases it once; must run on the thread that called Lock.
    void Unlock();
    // The text held now. A stored length of 0 or below reads as the empty
    // text, and so does one above 16380, which only a foreign writer can store.
    std::string Read();
    // Stores the first 16380 bytes of `text`; the bytes behind it stay.
    void Write(const std::string& text);

private:
    uint8_t* MapView(size_t size);
    void UnmapView(void* address);

    std::string FName;
    std::unique_ptr<ProcessMutex> FMutex;  // nullptr: it could not be opened
    std::shared_ptr<ProcessSharedMemory> FMapping;
};

}  // namespace zx
