// Body framing and the failures a server can cause while answering.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "support/http_test_util.h"
#include "support/temp_dir.h"

namespace zx {
namespace {

using test::Answer;
using test::ScriptedHttpServer;

std::string GetBody(const std::string& response, bool closeAfter = true) {
    ScriptedHttpServer server({{Answer(response, closeAfter)}});
    auto http = test::MakeClient();
    TMemoryStream target;
    http->Get(server.Url("/a.jpg"), target);
    return target.ToString();
}

// What a GET of /a.jpg from a server that answers `response` left behind: the
// E the client threw (none when it did not throw) and whether it kept the
// connection. Any other exception fails the test.
template <class E>
struct Failed {
    std::optional<E> error;
    bool connected = false;
    std::string body;
};
template <class E>
Failed<E> GetFailing(const std::string& response, bool closeAfter = true, uint64_t maxBodySize = 0) {
    ScriptedHttpServer server({{Answer(response, closeAfter)}});
    auto http = test::MakeClient();
    if (maxBodySize > 0) http->Limits().maxBodyBytes = maxBodySize;
    TMemoryStream target;
    Failed<E> out;
    try {
        http->Get(server.Url("/a.jpg"), target);
    } catch (const E& e) {
        out.error = e;
    }
    out.connected = http->Connected();
    out.body = target.ToString();
    return out;
}

TEST(HttpBody, ChunkedWithExtensionsAndTrailers) {
    const std::string body26 = "abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "1a;name=val\r\n" +
                          body26 +
                          "\r\n"
                          "3 ; x\r\nXYZ\r\n"
                          "0\r\nX-Trailer: 1\r\nX-Other: 2\r\n\r\n",
                      false),
              body26 + "XYZ");
    // Coding names in any case, identity codings and parameters aside.
    for (const char* coding : {"Chunked", "CHUNKED", "identity, chunked", "chunked;x=1"}) {
        EXPECT_EQ(GetBody(std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: ") + coding +
                              "\r\nContent-Length: 99\r\n\r\n4\r\nfour\r\n0\r\n\r\n",
                          false),
                  "four")
            << coding;
    }
}

TEST(HttpBody, ReadToCloseShortLengthAndZeroLength) {
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\n\r\nuntil the end"), "until the end");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false), "");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfour and more", false), "four");
    // An unreadable or out-of-range length counts as none.
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nrest"), "rest");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nrest"), "rest");
    // Decimal only, leading zeros allowed; "-0" is zero.
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 00000000005\r\n\r\nfive and more", false), "five ");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: -0\r\n\r\nnot body", false), "");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 0x5\r\n\r\nrest"), "rest");
    // The same length said more than once is one length.
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 4\r\ncontent-length: 4, 04\r\n\r\nfour!", false), "four");
}

TEST(HttpBody, BodyIsWrittenFromTheStreamPosition) {
    ScriptedHttpServer server({{Answer(test::Ok("new"))}});
    auto http = test::MakeClient();
    TMemoryStream target;
    target.Write("0123456789", 10);
    target.SetPosition(2);
    http->Get(server.Url("/a.jpg"), target);
    EXPECT_EQ(target.ToString(), "01new56789");
    EXPECT_EQ(target.Position(), 5u);
}

// A cut or unframed answer is never a shorter image, nor one whose framing
// contradicts itself: the GET fails and the target stays empty.
TEST(HttpBody, CutOrUnframedAnswersFailGracefully) {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
    const std::string closed = "Connection Closed Gracefully.";
    const std::pair<std::string, std::string> framing[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\nContent-Length: 200\r\n\r\n" + std::string(200, 'x'),
         "Conflicting Content-Length values."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 4, 5\r\n\r\nfour!", "Conflicting Content-Length values."},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n4\r\nfour\r\n0\r\n\r\n",
         "Unsupported transfer coding: gzip, chunked."},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, chunked\r\n\r\n0\r\n\r\n",
         "Unsupported transfer coding: chunked, chunked."},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: x-zip\r\n\r\n0\r\n\r\n",
         "Unsupported transfer coding: chunked, x-zip."},
        // A head cut before its empty line is no whole answer.
        {"HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n", closed},
        {"HTTP/1.1 200 OK\r\nX-A: 1\r\n", closed},
    };
    for (const auto& [response, message] : framing) {
        SCOPED_TRACE(response.substr(0, 80));
        const auto failed = GetFailing<Exception>(response);
        ASSERT_TRUE(failed.error) << "no exception";
        EXPECT_EQ(failed.error->what(), message);
        EXPECT_EQ(failed.body, "");
        EXPECT_FALSE(failed.connected);
    }
    const std::string responses[] = {
        "",
        "HTTP/1.1 20",
        chunked + "\r\n10\r\nonly part",
        chunked + "\r\n4\r\nfour\r\n",
        chunked + "\r\n2\r\nab\r\nzz\r\n\r\n",
        chunked + "\r\n2\r\nab\r\n-5\r\n\r\n",
        chunked + "\r\n2\r\nab\r\n\r\n\r\n",
        chunked + "\r\n2\r\nabcd\r\n0\r\n\r\n",  // a chunk longer than its size
        chunked,                                 // the head cut before its end
        "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this",
        "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n",
    };
    for (const std::string& response : responses) {
        SCOPED_TRACE(response);
        const auto failed = GetFailing<EIdConnClosedGracefully>(response);
        ASSERT_TRUE(failed.error) << "no exception";
        EXPECT_STREQ(failed.error->what(), "Connection Closed Gracefully.");
        EXPECT_FALSE(failed.connected);
    }
}

TEST(HttpLimits, OversizeLinesFail) {
    const std::string longLine(20000, 'a');
    for (const std::string& response :
         {"HTTP/1.1 200 " + longLine + "\r\n\r\n", "HTTP/1.1 200 OK\r\nX-Long: " + longLine + "\r\n\r\n",
          "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + longLine}) {
        const auto failed = GetFailing<EIdReadLnMaxLineLengthExceeded>(response, false);
        ASSERT_TRUE(failed.error) << "no exception";
        EXPECT_STREQ(failed.error->what(), "Max line length exceeded.");
    }
    // Exactly the limit is still a line.
    const std::string limit(BufferedReader::kMaxLineLength - 6, 'b');
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nX-L: " + limit + "\r\nContent-Length: 2\r\n\r\nok", false), "ok");
}

TEST(HttpLimits, ExactlyTheBoundOfHeaderLinesIsRead) {
    std::string many = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < TIdHTTP::kMaxHeaderLines - 1; ++i) many += "X-H: " + std::to_string(i) + "\r\n";
    EXPECT_EQ(GetBody(many + "Content-Length: 2\r\n\r\nok", false), "ok");
}

TEST(HttpLimits, HeaderLinesBeyondTheBoundFailClearly) {
    std::string many = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < TIdHTTP::kMaxHeaderLines + 1; ++i) many += "X-H: " + std::to_string(i) + "\r\n";
    const auto failed = GetFailing<ResponseLimitExceeded>(many + "\r\n", false);
    ASSERT_TRUE(failed.error);
    EXPECT_STREQ(failed.error->what(), "Too many header lines (more than 255).");
}

TEST(HttpLimits, ChunkSizeOverflowAndBodyCapFail) {
    struct Case {
        std::string response;
        const char* message;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1ffffffffffffffff\r\n", "Chunk size out of range."},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\n",
         "Response body larger than 1000 bytes."},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3e8\r\n" + std::string(1000, 'x') +
             "\r\n1\r\ny\r\n0\r\n\r\n",
         "Response body larger than 1000 bytes."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1001\r\n\r\n", "Response body larger than 1000 bytes."},
        {"HTTP/1.1 200 OK\r\n\r\n" + std::string(1001, 'x'), "Response body larger than 1000 bytes."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const auto failed = GetFailing<ResponseLimitExceeded>(c.response, true, 1000);
        ASSERT_TRUE(failed.error);
        EXPECT_STREQ(failed.error->what(), c.message);
        EXPECT_FALSE(failed.connected);
    }
    // Exactly the cap is still a whole body, however it is framed.
    const std::string cap(1000, 'c');
    for (const std::string& response :
         {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + cap,
          "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3e8\r\n" + cap + "\r\n0\r\n\r\n",
          "HTTP/1.1 200 OK\r\n\r\n" + cap}) {
        const auto whole = GetFailing<Exception>(response, true, 1000);
        EXPECT_FALSE(whole.error) << whole.error->what();
        EXPECT_EQ(whole.body, cap);
    }
}

// Over TLS only the secure close ends a body read to the close; a bare cut
// may be an attacker's, and fails.
TEST(HttpBody, OverTlsOnlyTheSecureCloseEndsABody) {
    const auto& certs = test::TestCertificates::Get();
    for (const bool cut : {false, true}) {
        test::ScriptedExchange answer = Answer("HTTP/1.1 200 OK\r\n\r\nuntil the close", !cut);
        answer.cutTls = cut;
        ScriptedHttpServer server({{answer}}, 20000, false, &certs.good);
        auto http = test::MakeClient(true);
        TMemoryStream target;
        try {
            http->Get(server.Url("/a.jpg"), target);
            EXPECT_FALSE(cut) << "a cut answer was taken";
            EXPECT_EQ(target.ToString(), "until the close");
        } catch (const TlsError& e) {
            EXPECT_TRUE(cut) << e.what();
            EXPECT_STREQ(e.what(), "Connection cut without the secure close.");
        }
        EXPECT_FALSE(http->Connected());
    }
}

// Restarts the peak resident set count at the present size.
bool ResetPeakResident() {
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    const bool done = fd >= 0 && ::write(fd, "5", 1) == 1;
    if (fd >= 0) ::close(fd);
    return done;
}

// The largest resident set since the last reset, in bytes.
uint64_t PeakResidentBytes() {
    const std::string status = test::ReadAll("/proc/self/status");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::stoull(status.substr(at + 6)) * 1024;
}

// A refused answer's body is only its message: a bounded part is read,
// whatever the server offers, and the connection goes with the rest.
TEST(HttpLimits, RefusedAnswersAreReadOnlyToABoundInTimeAndMemory) {
    constexpr uint64_t kHuge = 512ull * 1024 * 1024;
    const std::string bound(TIdHTTP::kMaxRefusedBodySize, 'f');
    struct Case {
        std::string head;
        uint64_t filler;
        std::string message;  // the ErrorMessage expected
    } cases[] = {
        {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: " + std::to_string(kHuge) + "\r\n\r\n", kHuge, bound},
        {"HTTP/1.1 500 Internal Server Error\r\n\r\n", kHuge, bound},
        {"HTTP/1.1 500 Internal Server Error\r\nTransfer-Encoding: chunked\r\n\r\n20000000\r\n", kHuge, bound},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 100\r\n\r\ncut", 0, "cut"},
        {"HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\n4\r\ncut", 0, "cut"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head);
        test::ScriptedExchange answer = Answer(c.head, true);
        answer.fillerBytes = c.filler;
        ScriptedHttpServer server({{answer}, {Answer(test::Ok("next"))}});
        auto http = test::MakeClient();
        TMemoryStream target;
        ASSERT_TRUE(ResetPeakResident());
        const uint64_t before = PeakResidentBytes();
        const auto start = std::chrono::steady_clock::now();
        try {
            http->Get(server.Url("/a.jpg"), target);
            FAIL() << "accepted";
        } catch (const EIdHTTPProtocolException& e) {
            EXPECT_EQ(e.what(), c.head.substr(0, c.head.find("\r\n")));
            EXPECT_EQ(e.ErrorMessage().size(), c.message.size());
            EXPECT_TRUE(e.ErrorMessage() == c.message);
        }
        const auto spent = std::chrono::steady_clock::now() - start;
        const uint64_t grown = PeakResidentBytes() - before;
        EXPECT_LT(spent, std::chrono::seconds(3));
        EXPECT_LT(grown, 32u << 20) << "peak grew by " << grown << " bytes";
        std::printf("refused answer: %lld ms, peak resident set grew by %llu KiB\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count()),
                    static_cast<unsigned long long>(grown / 1024));
        EXPECT_FALSE(http->Connected());
        EXPECT_EQ(target.Size(), 0u);
        // The next GET starts clean on a new connection.
        http->Get(server.Url("/b.jpg"), target);
        EXPECT_EQ(target.ToString(), "next");
    }
    // A body cap below the bound keeps the refused part below it too.
    const auto failed =
        GetFailing<EIdHTTPProtocolException>("HTTP/1.1 404 Not Found\r\n\r\n" + std::string(1001, 'x'), true, 1000);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->ErrorMessage(), std::string(1000, 'x'));
}

}  // namespace
}  // namespace zx
