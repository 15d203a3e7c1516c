// Body framing and the failures a server can cause while answering.
#include <gtest/gtest.h>

#include "support/http_test_util.h"

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
}

TEST(HttpBody, ChunkedSizeThatIsNotHexEndsTheBody) {
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\nzz\r\n\r\n", false), "ab");
}

TEST(HttpBody, ReadToCloseShortLengthAndZeroLength) {
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\n\r\nuntil the end"), "until the end");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this"), "only this");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false), "");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfour and more", false), "four");
    // An unreadable or out-of-range length counts as none.
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nrest"), "rest");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nrest"), "rest");
    // Decimal only, leading zeros allowed; "-0" is zero.
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 00000000005\r\n\r\nfive and more", false), "five ");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: -0\r\n\r\nnot body", false), "");
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nContent-Length: 0x5\r\n\r\nrest"), "rest");
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

TEST(HttpBody, ServerCloseBeforeStatusOrMidChunkFailsGracefully) {
    const char* responses[] = {
        "",
        "HTTP/1.1 20",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nonly part",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nfour\r\n",
    };
    for (const char* response : responses) {
        SCOPED_TRACE(response);
        ScriptedHttpServer server({{Answer(response, true)}});
        auto http = test::MakeClient();
        TMemoryStream target;
        try {
            http->Get(server.Url("/a.jpg"), target);
            FAIL() << "no exception";
        } catch (const EIdConnClosedGracefully& e) {
            EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
        }
        EXPECT_FALSE(http->Connected());
    }
}

TEST(HttpBody, CloseWithinHeadersCountsAsEndOfHead) {
    EXPECT_EQ(GetBody("HTTP/1.1 200 OK\r\nX-A: 1\r\n"), "");
}

TEST(HttpLimits, OversizeLinesFail) {
    const std::string longLine(20000, 'a');
    for (const std::string& response :
         {"HTTP/1.1 200 " + longLine + "\r\n\r\n", "HTTP/1.1 200 OK\r\nX-Long: " + longLine + "\r\n\r\n",
          "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + longLine}) {
        ScriptedHttpServer server({{Answer(response)}});
        auto http = test::MakeClient();
        TMemoryStream target;
        try {
            http->Get(server.Url("/a.jpg"), target);
            FAIL() << "no exception";
        } catch (const EIdReadLnMaxLineLengthExceeded& e) {
            EXPECT_STREQ(e.what(), "Max line length exceeded.");
        }
    }
    // Exactly the limit is still a line.
    const std::string limit(TIdIOHandler::kMaxLineLength - 6, 'b');
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
    ScriptedHttpServer server({{Answer(many + "\r\n")}});
    auto http = test::MakeClient();
    TMemoryStream target;
    try {
        http->Get(server.Url("/a.jpg"), target);
        FAIL();
    } catch (const EIdResponseLimitExceeded& e) {
        EXPECT_STREQ(e.what(), "Too many header lines (more than 255).");
    }
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
        {"HTTP/1.1 404 Not Found\r\n\r\n" + std::string(1001, 'x'), "Response body larger than 1000 bytes."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ScriptedHttpServer server({{Answer(c.response, true)}});
        auto http = test::MakeClient();
        http->SetMaxBodySize(1000);
        TMemoryStream target;
        try {
            http->Get(server.Url("/a.jpg"), target);
            FAIL();
        } catch (const EIdResponseLimitExceeded& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_FALSE(http->Connected());
    }
}

}  // namespace
}  // namespace zx
