// Connection reuse, reconnecting, and the time limits.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/http_test_util.h"
#include "support/machine_limits.h"
#include "support/temp_dir.h"

namespace zx {
namespace {

using test::Answer;
using test::Ok;
using test::ScriptedHttpServer;

TEST(HttpConnection, KeepAliveReusesTheConnectionForTheSameServer) {
    ScriptedHttpServer server({{Answer(Ok("one")), Answer(Ok("two")), Answer(Ok("three"))}});
    auto http = test::MakeClient();
    for (const char* expect : {"one", "two", "three"}) {
        TMemoryStream t;
        http->Get(server.Url("/a.jpg"), t);
        EXPECT_EQ(t.ToString(), expect);
    }
    EXPECT_EQ(http->ConnectCount(), 1);
    EXPECT_EQ(server.Accepted(), 1);
}

TEST(HttpConnection, ConnectionCloseOrServerCloseLeadsToANewConnection) {
    ScriptedHttpServer server({{Answer(Ok("one", "Connection: close\r\n"))},
                               {Answer(Ok("two"), /*closeAfter=*/true)},
                               {Answer(Ok("three"))}});
    auto http = test::MakeClient();
    TMemoryStream a, b, c;
    http->Get(server.Url("/a.jpg"), a);
    EXPECT_FALSE(http->Connected());  // the answer asked to close
    http->Get(server.Url("/b.jpg"), b);
    // The server closed without saying so: noticed before the next request.
    ASSERT_TRUE(server.WaitConnectionsEnded(2, 3000));
    http->Get(server.Url("/c.jpg"), c);
    EXPECT_EQ(c.ToString(), "three");
    EXPECT_EQ(http->ConnectCount(), 3);
}

TEST(HttpConnection, Http10KeepsOnlyWhenAskedAndAKeptConnectionClosedUnderTheRequestIsRetriedOnce) {
    test::ScriptedExchange dropped;  // reads the next request, then closes unanswered
    dropped.closeAfter = true;
    ScriptedHttpServer server(
        {{Answer("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\none")},
         {Answer("HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 3\r\n\r\ntwo"), dropped},
         {Answer(Ok("three"))}});
    auto http = test::MakeClient();
    TMemoryStream a, b, c;
    http->Get(server.Url("/a.jpg"), a);
    EXPECT_FALSE(http->Connected());
    http->Get(server.Url("/b.jpg"), b);
    EXPECT_TRUE(http->Connected());
    http->Get(server.Url("/c.jpg"), c);
    EXPECT_EQ(c.ToString(), "three");
    EXPECT_EQ(http->ConnectCount(), 3);
    EXPECT_EQ(server.Requests().size(), 4u);
    // Once part of an answer has come, the request is never sent again.
    ScriptedHttpServer partial(
        {{Answer(Ok("one")), Answer("HTTP/1.1 200 OK\r\nContent-Le", true)}, {Answer(Ok("sent twice"))}});
    http->Get(partial.Url("/a.jpg"), a);
    EXPECT_THROW(http->Get(partial.Url("/b.jpg"), b), EIdConnClosedGracefully);
    EXPECT_EQ(partial.Requests().size(), 2u);
    EXPECT_EQ(partial.Accepted(), 1);
}

TEST(HttpConnection, BytesBeyondTheAnnouncedBodyAreNotTakenForTheNextAnswer) {
    ScriptedHttpServer server({{Answer("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfourHTTP/1.1 200 OK\r\n\r\nfake")},
                               {Answer(Ok("real"))}});
    auto http = test::MakeClient();
    TMemoryStream a, b;
    http->Get(server.Url("/a.jpg"), a);
    EXPECT_EQ(a.ToString(), "four");
    http->Get(server.Url("/b.jpg"), b);
    EXPECT_EQ(b.ToString(), "real");
    EXPECT_EQ(http->ConnectCount(), 2);
}

TEST(HttpConnection, AnotherHostGetsItsOwnConnection) {
    ScriptedHttpServer server({{Answer(Ok("img"))}, {Answer(Ok("other"))}, {Answer(Ok("img again"))}});
    auto http = test::MakeClient();
    const std::string port = std::to_string(server.Port());
    TMemoryStream a, b, c;
    http->Get("http://img.host:" + port + "/a.jpg", a);
    http->Get("http://other.host:" + port + "/b.jpg", b);
    http->Get("http://IMG.host:" + port + "/c.jpg", c);
    EXPECT_EQ(b.ToString(), "other");
    EXPECT_EQ(c.ToString(), "img again");
    EXPECT_EQ(http->ConnectCount(), 3);
    EXPECT_NE(server.Requests()[1].find("Host: other.host:" + port + "\r\n"), std::string::npos);
}

TEST(HttpConnection, BracketedHostConnectsOverIPv6) {
    if (auto why = test::MachineLacks(test::MachineLimit::kIpv6Loopback)) GTEST_SKIP() << *why;
    auto server =
        std::make_unique<ScriptedHttpServer>(std::vector<test::ScriptedConversation>{{Answer(Ok("six"))}}, 20000, true);
    auto http = test::MakeClient();
    TMemoryStream t;
    http->Get(server->Url("/a.jpg"), t);
    EXPECT_EQ(t.ToString(), "six");
    EXPECT_NE(server->Requests()[0].find("Host: [::1]:" + std::to_string(server->Port()) + "\r\n"), std::string::npos);
}

TEST(HttpConnection, ProtocolFailureKeepsAliveButBrokenExchangeDoesNot) {
    ScriptedHttpServer server(
        {{Answer("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"),
          Answer("HTTP/1.1 200 OK\r\nX: " + std::string(17000, 'x') + "\r\nContent-Length: 0\r\n\r\n")},
         {Answer(Ok("fresh"))}});
    auto http = test::MakeClient();
    TMemoryStream t;
    EXPECT_THROW(http->Get(server.Url("/missing.jpg"), t), EIdHTTPProtocolException);
    EXPECT_TRUE(http->Connected());  // the whole answer was read
    EXPECT_THROW(http->Get(server.Url("/a.jpg"), t), EIdReadLnMaxLineLengthExceeded);
    EXPECT_FALSE(http->Connected());  // the rest of that answer is still on the wire
    http->Get(server.Url("/b.jpg"), t);
    EXPECT_EQ(t.ToString(), "fresh");
    EXPECT_EQ(http->ConnectCount(), 2);
}

// A loopback listener that never accepts. Connections to it complete in its
// queue, and whatever they send is never read; once its queue is filled,
// further connection attempts get no answer at all.
class Unaccepted {
public:
    Unaccepted() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        addr_.sin_family = AF_INET;
        addr_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr_;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr_), sizeof addr_) != 0 || ::listen(fd_, 0) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr_), &len) != 0)
            throw std::runtime_error("cannot listen on loopback");
    }
    ~Unaccepted() {
        for (int fd : fillers_) ::close(fd);
        ::close(fd_);
    }
    void FillQueue() {
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&addr_), sizeof addr_);
            fillers_.push_back(fd);
        }
    }
    std::string Url(const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(ntohs(addr_.sin_port)) + "/a.jpg";
    }

private:
    int fd_ = -1;
    sockaddr_in addr_{};
    std::vector<int> fillers_;
};

// A server for each wait of a transfer, none of which ever ends it: one
// that sends part of a head and then nothing (plain and over TLS), one that never reads (a large
// request fills the socket buffers), one that never accepts, and a name
// lookup that never answers, which leaves its process id in a file.
struct StuckServers {
    StuckServers() {
        full.FillQueue();
        ::chmod(lookup.c_str(), 0700);
    }
    TIdHTTP Client() const {
        return TIdHTTP(std::make_unique<TlsTransport>(
            [this](const std::string& host, IpVersion v, int ms) { return ResolveWithProgram(lookup, host, v, ms); }));
    }
    struct Wait {
        const char* name;
        std::string url;
        bool bigRequest;
    };
    std::vector<Wait> Waits() const {
        return {{"receive", receiving.Url("/a.jpg"), false},
                {"TLS receive", "https://127.0.0.1:" + std::to_string(receivingTls.Port()) + "/a.jpg", false},
                {"send", neverReads.Url(), true},
                {"connect", full.Url(), false},
                {"lookup", full.Url("slow.name"), false}};
    }
    static constexpr size_t kBigRequest = 32u << 20;

    // Part of a head that would make a whole empty answer if the server
    // closed; then silence until the client goes.
    ScriptedHttpServer receiving{{{Answer("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n")}}, 40000};
    ScriptedHttpServer receivingTls{
        {{Answer("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n")}}, 40000, false, &test::TestCertificates::Get().good};
    Unaccepted neverReads, full;
    const test::TempDir dir;
    const std::string lookup = dir.WriteFile("lookup", "#!/bin/sh\necho $$ > " + (dir / "pid") + "\nexec sleep 60\n");
};

// Sending has the read limit; the lookup and the connect share the connect
// limit, and a lookup given up on is killed, not left behind.
TEST(HttpConnection, SendConnectAndLookupRunIntoTheirLimitsAndLeaveNothingRunning) {
    const StuckServers stuck;
    for (const auto& wait : stuck.Waits()) {
        if (std::string(wait.name).find("receive") != std::string::npos) continue;  // the read limit's own test
        SCOPED_TRACE(wait.name);
        TIdHTTP http = stuck.Client();
        // Long enough for the lookup program to start under load.
        http.Limits().connectTimeoutMs = std::string(wait.name) == "lookup" ? 1000 : 300;
        http.Limits().readTimeoutMs = 300;
        if (wait.bigRequest) http.Request().CustomHeaders.AddLine("X-Big: " + std::string(stuck.kBigRequest, 'a'));
        TMemoryStream t;
        const auto start = std::chrono::steady_clock::now();
        try {
            http.Get(wait.url, t);
            ADD_FAILURE() << "no time-out";
        } catch (const EIdSocketError& e) {
            EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
        }
        // Far below the servers' own 40 s and a hung wait; copying the large
        // request alone takes seconds under the sanitizers on a busy machine.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_FALSE(http.Connected());
    }
    const std::string pid = test::ReadAll(stuck.dir / "pid");
    ASSERT_FALSE(pid.empty()) << "the lookup never ran";
    EXPECT_EQ(::kill(std::stoi(pid), 0), -1) << "the lookup is still there";
    EXPECT_EQ(errno, ESRCH);
}

// Once the abort descriptor is readable, every wait ends as if the server
// had closed, and so does every transfer to come; the descriptor is not read.
TEST(HttpConnection, AReadableAbortDescriptorEndsEveryWait) {
    int abort[2];
    ASSERT_EQ(::pipe2(abort, O_CLOEXEC), 0);
    SetTransferAbortDescriptor(abort[0]);
    const StuckServers stuck;
    for (const auto& wait : stuck.Waits()) {
        SCOPED_TRACE(wait.name);
        TIdHTTP http = stuck.Client();
        http.Limits().connectTimeoutMs = 20000;
        http.Limits().readTimeoutMs = 20000;
        if (wait.bigRequest) http.Request().CustomHeaders.AddLine("X-Big: " + std::string(stuck.kBigRequest, 'a'));
        // The signal comes while the transfer waits.
        std::thread signal([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_EQ(::write(abort[1], "x", 1), 1);
        });
        TMemoryStream t;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(http.Get(wait.url, t), EIdConnClosedGracefully);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // half the limits
        signal.join();
        char byte;
        EXPECT_EQ(::read(abort[0], &byte, 1), 1);  // still there: nothing else read it
    }
    // Pending before the transfer begins: nothing goes out.
    ScriptedHttpServer later({{Answer(Ok("never"))}});
    ASSERT_EQ(::write(abort[1], "x", 1), 1);
    auto http = test::MakeClient();
    TMemoryStream t;
    EXPECT_THROW(http->Get(later.Url("/a.jpg"), t), EIdConnClosedGracefully);
    EXPECT_EQ(later.Accepted(), 0);
    SetTransferAbortDescriptor(-1);
    ::close(abort[0]);
    ::close(abort[1]);
}

TEST(HttpConnection, RefusedAndUnknownHostsGiveSocketErrors) {
    auto http = test::MakeClient();
    TMemoryStream t;
    // A port that was free a moment ago: nothing listens there.
    std::unique_ptr<ScriptedHttpServer> gone(new ScriptedHttpServer({}));
    const std::string url = gone->Url("/a.jpg");
    gone.reset();
    try {
        http->Get(url, t);
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10061);
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    try {
        http->Get("http://no-such-host.invalid/a.jpg", t);
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
    }
    // The system's lookup knows localhost, and takes no name for an option
    // or for more than one line.
    EXPECT_EQ(ResolveWithSystem("localhost", IpVersion::kV4, 2000), "127.0.0.1");
    for (const char* name : {"-s", "--help", "localhost\nx", ""}) {
        try {
            ResolveWithSystem(name, IpVersion::kV4, 2000);
            ADD_FAILURE() << name;
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.LastError(), 11001) << name;
        }
    }
}

// Silence beyond the read limit, and a rate below the low-speed rule, in the
// head or the body, end the transfer; a slow answer above the rate does not.
TEST(HttpConnection, SilentStalledOrTricklingServerRunsIntoTheReadLimit) {
    test::ScriptedExchange silent;
    silent.holdMs = 5000;
    test::ScriptedExchange stalled;
    stalled.response = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc";
    stalled.holdMs = 5000;
    // A byte every 20 ms never leaves the socket silent for a whole limit,
    // but comes far below the rate, in the body or in the head.
    test::ScriptedExchange trickle;
    trickle.response = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(400, 'x');
    trickle.trickleMs = 20;
    test::ScriptedExchange trickleHead = trickle;
    trickleHead.response = "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(400, 'x');
    // The head, then pieces of the body without a request between them.
    auto paced = [](size_t pieces, size_t size, int everyMs) {
        test::ScriptedConversation c = {Answer("HTTP/1.1 200 OK\r\nContent-Length: 12000\r\n\r\n")};
        for (size_t i = 0; i < pieces; ++i) {
            test::ScriptedExchange e = Answer(std::string(size, 'b'));
            e.expectRequest = false;
            e.delayMs = everyMs;
            c.push_back(e);
        }
        return c;
    };
    // A server that thinks longer than a window before its first byte, then
    // sends at the rate: the window starts with the first byte.
    test::ScriptedConversation thinker = paced(6, 2000, 100);
    thinker[0].delayMs = 600;
    // Framing is no image: chunks of one byte behind long size lines.
    test::ScriptedConversation framing = {Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")};
    std::string chunks;
    for (int i = 0; i < 20; ++i) chunks += "1;" + std::string(2000, 'e') + "\r\nx\r\n";
    for (int i = 0; i < 12; ++i) {
        test::ScriptedExchange e = Answer(chunks);
        e.expectRequest = false;
        e.delayMs = 100;
        framing.push_back(e);
    }
    // A fast start does not pay for a trickle later: each window counts anew.
    test::ScriptedConversation fastStart = {
        Answer("HTTP/1.1 200 OK\r\nContent-Length: 20000\r\n\r\n" + std::string(10000, 'b'))};
    for (int i = 0; i < 100; ++i) {
        test::ScriptedExchange e = Answer(std::string(100, 'b'));
        e.expectRequest = false;
        e.delayMs = 100;
        fastStart.push_back(e);
    }
    // Over TLS: a handshake never answered, and a trickle of records.
    test::ScriptedExchange silentHandshake;
    silentHandshake.silentHandshake = true;
    const auto& certs = test::TestCertificates::Get();
    struct Case {
        const char* name;
        test::ScriptedConversation conversation;
        bool completes;
        bool tls = false;
        int readTimeoutMs = 300;
    } cases[] = {
        {"silent", {silent}, false},
        {"stalled", {stalled}, false},
        {"trickle", {trickle}, false},
        {"trickled head", {trickleHead}, false},
        // More than 1 KiB in every window, still below the rate.
        {"bursts", paced(10, 1100, 200), false},
        {"slow but steady", paced(6, 2000, 100), true},
        {"thinks, then steady", thinker, true, false, 700},
        {"framing without data", framing, false},
        {"fast start, then trickle", fastStart, false},
        {"TLS: handshake never answered", {silentHandshake}, false, true},
        {"TLS: trickle", {trickle}, false, true},
        {"TLS: slow but steady", paced(6, 2000, 100), true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server({c.conversation}, 20000, false, c.tls ? &certs.good : nullptr);
        auto http = test::MakeClient(c.tls);
        http->Limits().connectTimeoutMs = 300;
        http->Limits().readTimeoutMs = c.readTimeoutMs;
        http->Limits().lowSpeedBytesPerSecond = 8192;
        http->Limits().lowSpeedWindowMs = 500;
        TMemoryStream t;
        const auto start = std::chrono::steady_clock::now();
        try {
            http->Get(server.Url("/a.jpg"), t);
            EXPECT_TRUE(c.completes) << "no time-out";
            EXPECT_EQ(t.Size(), 12000u);
        } catch (const EIdSocketError& e) {
            EXPECT_FALSE(c.completes);
            EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
            EXPECT_FALSE(http->Connected());
        }
        const auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(spent, std::chrono::seconds(3));
        std::printf("%s: %lld ms\n", c.name, static_cast<long long>(spent.count()));
    }
}

}  // namespace
}  // namespace zx
