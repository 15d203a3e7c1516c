#pragma once
// A transport that plays back a fixed byte script as the server's side, in
// pieces of varying size, and swallows what is sent. Lets the fuzzers drive
// the response reader without sockets.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "net/id_exceptions.h"
#include "net/id_transport.h"

namespace zx::fuzz {

class ScriptedTransport : public TIdTransport {
public:
    // The first byte of the script chooses the piece sizes of the rest.
    explicit ScriptedTransport(std::string script) : script_(std::move(script)) {
        if (!script_.empty()) {
            seed_ = static_cast<uint8_t>(script_[0]);
            pos_ = 1;
        }
    }

    void Connect(const std::string&, int, IpVersion, int) override { open_ = true; }
    void Send(const char*, size_t size, int) override {
        if (!open_) throw EIdSocketError(ENOTCONN);
        sent_ += size;
    }
    size_t Recv(char* buffer, size_t size, int) override {
        if (!open_) throw EIdSocketError(ENOTCONN);
        // Pieces of 1 to 64 bytes, or everything left, depending on the seed.
        size_t piece = seed_ & 0x80 ? script_.size() - pos_ : static_cast<size_t>(seed_ & 0x3f) + 1;
        seed_ = static_cast<uint8_t>(seed_ * 31 + 7);
        piece = std::min({piece, size, script_.size() - pos_});
        std::copy_n(script_.data() + pos_, piece, buffer);
        pos_ += piece;
        return piece;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool HasIncoming() override { return (seed_ & 1) != 0; }

    size_t BytesSent() const { return sent_; }

private:
    std::string script_;
    size_t pos_ = 0;
    uint8_t seed_ = 0;
    bool open_ = false;
    size_t sent_ = 0;
};

}  // namespace zx::fuzz
