#pragma once
// A small HTTP server on 127.0.0.1 that answers from a script, for tests of
// what real servers rarely do: odd framing, early closes, silence. It runs on
// its own thread, handles one connection at a time, and stops by itself after
// a bounded lifetime.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/test_certificates.h"

namespace zx::test {

struct ScriptedExchange {
    std::string response;       // bytes sent once the request head has come
    bool closeAfter = false;    // close the connection after sending
    int delayMs = 0;            // pause before sending
    int holdMs = 0;             // after sending, wait this long (or until the client closes)
    bool expectRequest = true;  // wait for a request head before answering
    int trickleMs = 0;          // send the response one byte at a time, this far apart
    uint64_t fillerBytes = 0;   // after the response, this many bytes made as they go out
    // Over TLS: each byte of a trickle is a record of its own; a close
    // without the secure close notify when cutTls; the first exchange never
    // answers the handshake when silentHandshake.
    bool cutTls = false;
    bool silentHandshake = false;
};

// The exchanges of one accepted connection, in order.
using ScriptedConversation = std::vector<ScriptedExchange>;

class ScriptedHttpServer {
public:
    // Each accepted connection takes the next conversation.
    // ipv6: listen on [::1] instead of 127.0.0.1. tls: speak TLS with this
    // certificate; Url() then names https://img.host.
    explicit ScriptedHttpServer(std::vector<ScriptedConversation> conversations, int lifetimeMs = 20000,
                                bool ipv6 = false, const CertificateFiles* tls = nullptr);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    uint16_t Port() const { return port_; }
    std::string Url(const std::string& path) const;

    // Every request head received, in order of arrival.
    std::vector<std::string> Requests() const;
    int Accepted() const { return accepted_; }
    // Waits until n connections have ended on the server's side.
    bool WaitConnectionsEnded(int n, int timeoutMs);

private:
    void Run();
    class Connection;
    void Converse(Connection& c, const ScriptedConversation& conversation);
    // Reads one request head; false when the client closed or time ran out.
    bool ReadRequest(Connection& c, std::string& pending);
    bool Stopping() const;

    std::vector<ScriptedConversation> conversations_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    bool ipv6_ = false;
    void* tlsContext_ = nullptr;  // the server's SSL_CTX, when it speaks TLS
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    int64_t deadlineMs_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable ended_cv_;
    int ended_ = 0;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace zx::test
