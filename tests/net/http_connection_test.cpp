// Connection reuse, reconnecting, and the time limits.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "support/http_test_util.h"
#include "support/machine_limits.h"

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

TEST(HttpConnection, ConnectRunsIntoTheConnectLimit) {
    // A listener that never accepts, with its queue filled: further
    // connection attempts get no answer.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(fd);
    }
    // A name lookup that hangs is bound by the same limit.
    TIdHTTP http(std::make_unique<TIdSocketTransport>([](const std::string&, TIdIPVersion) {
        std::this_thread::sleep_for(std::chrono::seconds(4));
        return std::string("127.0.0.1");
    }));
    http.SetConnectTimeout(300);
    for (const std::string host : {"127.0.0.1", "slow.name"}) {
        TMemoryStream t;
        const auto start = std::chrono::steady_clock::now();
        try {
            http.Get("http://" + host + ":" + std::to_string(ntohs(addr.sin_port)) + "/a.jpg", t);
            ADD_FAILURE() << "connected";
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.LastError(), 10060);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    }
    for (int fd : fillers) ::close(fd);
    ::close(listener);
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
}

TEST(HttpConnection, SilentStalledOrTricklingServerRunsIntoTheReadLimit) {
    test::ScriptedExchange silent;
    silent.holdMs = 5000;
    test::ScriptedExchange stalled;
    stalled.response = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc";
    stalled.holdMs = 5000;
    // A byte every 20 ms never leaves the socket silent for a whole limit,
    // but brings far less than 1 KiB per limit.
    test::ScriptedExchange trickle;
    trickle.response = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(400, 'x');
    trickle.trickleMs = 20;
    for (const auto& exchange : {silent, stalled, trickle}) {
        ScriptedHttpServer server({{exchange}});
        auto http = test::MakeClient();
        http->SetReadTimeout(300);
        TMemoryStream t;
        const auto start = std::chrono::steady_clock::now();
        try {
            http->Get(server.Url("/a.jpg"), t);
            ADD_FAILURE() << "no time-out";
        } catch (const EIdSocketError& e) {
            EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_FALSE(http->Connected());
    }
}

}  // namespace
}  // namespace zx
