#pragma once
// A seekable byte stream in memory. Writes go to the current position and
// extend the stream; growing keeps the bytes but does not clear new space, so
// a large body can be received straight into the buffer.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace zx {

class TMemoryStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() { std::free(data_); }
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    size_t Write(const void* buffer, size_t count) {
        if (count == 0) return 0;
        std::memcpy(PrepareWrite(count), buffer, count);
        CommitWrite(count);
        return count;
    }

    // Copies up to count bytes from the current position; returns how many.
    size_t Read(void* buffer, size_t count) {
        const size_t avail = position_ < size_ ? size_ - position_ : 0;
        if (count > avail) count = avail;
        if (count) std::memcpy(buffer, data_ + position_, count);
        position_ += count;
        return count;
    }

    size_t Position() const { return position_; }
    // A position past the end is allowed; the next write fills the gap with zeros.
    void SetPosition(size_t pos) { position_ = pos; }
    size_t Size() const { return size_; }
    const char* Data() const { return data_; }
    std::string ToString() const { return std::string(data_ ? data_ : "", size_); }

    void Clear() {
        std::free(data_);
        data_ = nullptr;
        size_ = capacity_ = position_ = 0;
    }

    // Makes room for a total of at least capacity bytes.
    void Reserve(size_t capacity) {
        if (capacity <= capacity_) return;
        char* grown = static_cast<char*>(std::realloc(data_, capacity));
        if (!grown) throw std::bad_alloc();
        data_ = grown;
        capacity_ = capacity;
    }

    // Room for count bytes at the current position; CommitWrite(n) then takes
    // the first n of them into the stream. Lets a reader fill the buffer directly.
    char* PrepareWrite(size_t count) {
        const size_t end = position_ + count;
        if (end > capacity_) Reserve(max(end, capacity_ + capacity_ / 2));
        if (position_ > size_) std::memset(data_ + size_, 0, position_ - size_);
        return data_ + position_;
    }
    void CommitWrite(size_t count) {
        if (position_ > size_) size_ = position_;
        position_ += count;
        if (position_ > size_) size_ = position_;
    }

private:
    static size_t max(size_t a, size_t b) { return a > b ? a : b; }

    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    size_t position_ = 0;
};

}  // namespace zx
