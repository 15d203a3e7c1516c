// What goes on the wire, and how the answer's status decides the outcome.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "support/http_test_util.h"

namespace zx {
namespace {

using test::Answer;
using test::Ok;
using test::ScriptedHttpServer;

TEST(HttpRequest, FirstGetSendsExactlyTheFixedHeaders) {
    ScriptedHttpServer server({{Answer(Ok("x"))}});
    auto http = test::MakeClient();
    TMemoryStream target;
    http->Get(server.Url("/dir/pic.jpg"), target);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0],
              "GET /dir/pic.jpg HTTP/1.1\r\n"
              "Host: 127.0.0.1:" +
                  std::to_string(server.Port()) +
                  "\r\n"
                  "Accept: text/html, */*\r\n"
                  "Accept-Encoding: identity\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Zeltrix)\r\n"
                  "\r\n");
}

TEST(HttpRequest, TargetKeepsQueryAsWrittenAndDropsBookmark) {
    ScriptedHttpServer server({{Answer(Ok("1")), Answer(Ok("2"))}});
    auto http = test::MakeClient();
    TMemoryStream a, b;
    http->Get(server.Url("/show.php?img=a/b%20c.jpg#frag"), a);
    http->Get(server.Url("/x/y.jpg#z"), b);
    const auto req = server.Requests();
    ASSERT_EQ(req.size(), 2u);
    EXPECT_EQ(req[0].substr(0, req[0].find("\r\n")), "GET /show.php?img=a/b%20c.jpg HTTP/1.1");
    EXPECT_EQ(req[1].substr(0, req[1].find("\r\n")), "GET /x/y.jpg HTTP/1.1");
    EXPECT_EQ(http->Request().AcceptEncoding, "identity");
}

TEST(HttpRequest, HostHeaderOmitsPort80AndBracketsIPv6) {
    TIdHTTPRequest r;
    r.Host = "host";
    const TIdHeaderList h = r.BuildHeaders("a=1");
    EXPECT_EQ(h.Lines().back(), "Cookie: a=1");

    // A refused https request has still prepared its Host value.
    auto http = test::MakeClient();
    TMemoryStream t;
    EXPECT_THROW(http->Get("https://[::1]:81/a.jpg", t), EIdIOHandlerPropInvalid);
    EXPECT_EQ(http->Request().Host, "[::1]:81");
    EXPECT_THROW(http->Get("https://host:80/a.jpg", t), EIdIOHandlerPropInvalid);
    EXPECT_EQ(http->Request().Host, "host");
    EXPECT_THROW(http->Get("https://host/a.jpg", t), EIdIOHandlerPropInvalid);
    EXPECT_EQ(http->Request().Host, "host:443");
}

TEST(HttpRequest, LongCustomHeaderIsFoldedAfterBlanksOrCommas) {
    std::string value;
    for (int i = 0; i < 300; ++i) value += "item" + std::to_string(i) + ", ";
    TIdHeaderList list;
    list.AddValue("X-Long", value);
    ASSERT_GT(list.Count(), 1u);
    std::string joined;
    for (size_t i = 0; i < list.Count(); ++i) {
        EXPECT_LE(list[i].size(), TIdHeaderList::kFoldLength);
        if (i > 0) {
            EXPECT_EQ(list[i][0], ' ');
        }
        EXPECT_NE(list[i].back(), ' ');
    }
    // Reading it back joins the pieces with single blanks.
    std::string expected(value);
    while (expected.back() == ' ') expected.pop_back();
    EXPECT_EQ(list.Values("x-long"), expected);

    // Folding takes time in proportion to the line: 16 MiB of cookies fold
    // at once, not after a copy of the rest for every piece.
    std::string cookies;
    while (cookies.size() < (16u << 20))
        cookies += "name" + std::to_string(cookies.size()) + "=" + std::string(100, 'v') + "; ";
    const auto start = std::chrono::steady_clock::now();
    TIdHeaderList huge;
    huge.AddValue("Cookie", cookies);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_GT(huge.Count(), (16u << 20) / TIdHeaderList::kFoldLength);
}

TEST(HttpRequest, UrlWithoutSchemeOrHttpsFailsBeforeAnythingIsSent) {
    auto http = test::MakeClient();
    TMemoryStream t;
    try {
        http->Get("C:\\Temp\\pic.jpg", t);
        FAIL();
    } catch (const EIdUnknownProtocol& e) {
        EXPECT_STREQ(e.what(), "Unknown Protocol");
    }
    try {
        http->Get("https://127.0.0.1:1/a.jpg", t);
        FAIL();
    } catch (const EIdIOHandlerPropInvalid& e) {
        EXPECT_STREQ(e.what(), "IOHandler value is not valid");
    }
    EXPECT_EQ(http->ConnectCount(), 0);
}

TEST(HttpRequest, PortIsDecimalOnly) {
    // The server's port in hexadecimal is not its port: the client goes to 80.
    ScriptedHttpServer server({{Answer(Ok("x"))}});
    auto http = test::MakeClient();
    TMemoryStream t;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", server.Port());
    try {
        http->Get("http://127.0.0.1:" + std::string(hex) + "/a.jpg", t);
    } catch (const Exception&) {
    }
    EXPECT_EQ(server.Accepted(), 0);
}

TEST(HttpRequest, RelativeUrlContinuesTheLastServerAndFolder) {
    ScriptedHttpServer server({{Answer(Ok("1")), Answer(Ok("2")), Answer(Ok("3"))}});
    auto http = test::MakeClient();
    TMemoryStream t;
    http->Get(server.Url("/dir/a.jpg"), t);
    http->Get("b.jpg", t);
    http->Get("sub\\c.jpg?x=1", t);
    const auto req = server.Requests();
    ASSERT_EQ(req.size(), 3u);
    EXPECT_EQ(req[1].substr(0, req[1].find("\r\n")), "GET /dir/b.jpg HTTP/1.1");
    EXPECT_EQ(req[2].substr(0, req[2].find("\r\n")), "GET /dir/sub/c.jpg?x=1 HTTP/1.1");
    EXPECT_EQ(http->ConnectCount(), 1);
}

TEST(HttpRequest, UserInfoIsRememberedForLaterRequests) {
    ScriptedHttpServer server({{Answer(Ok("1")), Answer(Ok("2"))}});
    auto http = test::MakeClient();
    TMemoryStream a, b;
    http->Get("http://joe:pw@127.0.0.1:" + std::to_string(server.Port()) + "/a.jpg", a);
    http->Get(server.Url("/b.jpg"), b);
    EXPECT_EQ(http->Request().Username, "joe");
    EXPECT_EQ(http->URL().Password(), "pw");
    // Credentials are never sent unasked.
    for (const auto& r : server.Requests()) EXPECT_EQ(r.find("Authorization"), std::string::npos);
}

struct StatusCase {
    const char* response;
    int code;
};

TEST(HttpStatus, UnacceptedAnswersFailWithStatusLineAndBodyAndLeaveTargetAlone) {
    const StatusCase cases[] = {
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!", 404},
        // A Location that cannot be followed leaves the redirect as the answer.
        {"HTTP/1.1 301 Moved Permanently\r\nLocation: ftp://elsewhere/b\r\nContent-Length: 0\r\n\r\n", 301},
        {"HTTP/1.1 308 Permanent Redirect\r\nContent-Length: 0\r\n\r\n", 308},
        {"HTTP/1.1 300 Multiple Choices\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n", 300},
        // A part of the image that no request asked for.
        {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-3/10\r\nContent-Length: 4\r\n\r\nabcd", 206},
        {"HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n", 302},
        {"HTTP/1.1 303 See Other\r\nContent-Length: 0\r\n\r\n", 303},
        {"HTTP/1.1 307 Temporary Redirect\r\nContent-Length: 0\r\n\r\n", 307},
        {"HTTP/1.1 200 OK\r\nLocation: http://elsewhere/\r\nContent-Length: 2\r\n\r\nhi", 200},
        {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n", 500},
        {"HTTP/1.1 304 Not Modified\r\n\r\n", 304},
        {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n", 407},
        {"HTTP/1.1 abc\r\nContent-Length: 0\r\n\r\n", -1},
        {"HTTP/1.1 0xC8 OK\r\nContent-Length: 0\r\n\r\n", -1},
        {"HTTP/1.1 $C8 OK\r\nContent-Length: 0\r\n\r\n", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.response);
        ScriptedHttpServer server({{Answer(c.response)}});
        auto http = test::MakeClient();
        TMemoryStream target;
        target.Write("keep", 4);
        try {
            http->Get(server.Url("/a.jpg"), target);
            FAIL() << "no exception";
        } catch (const EIdHTTPProtocolException& e) {
            const std::string text = c.response;
            EXPECT_EQ(e.what(), text.substr(0, text.find("\r\n")));
            EXPECT_EQ(e.ErrorCode(), c.code);
            if (c.code == 404) {
                EXPECT_EQ(e.ErrorMessage(), "not here!");
            }
        }
        EXPECT_EQ(target.ToString(), "keep");
    }
}

// Redirects with a Location are followed on the kept connection, five times
// at most; a sixth fails with its own status line.
TEST(HttpStatus, RedirectsAreFollowedFiveTimesAndNoMore) {
    auto moved = [](int code, const std::string& to) {
        return Answer("HTTP/1.1 " + std::to_string(code) + " Moved\r\nLocation: " + to +
                      "\r\nContent-Length: 5\r\n\r\nnote.");
    };
    ScriptedHttpServer server(
        {{moved(301, "b.jpg"), moved(302, "/x/c.jpg?q=1"), moved(303, "../d.jpg"), moved(307, "?e"),
          moved(308, "f.jpg#top"), Answer(Ok("image")), moved(301, "/1"), moved(302, "/2"), moved(303, "/3"),
          moved(307, "/4"), moved(308, "/5"), moved(301, "/6")}});
    auto http = test::MakeClient();
    TMemoryStream t;
    http->Get(server.Url("/dir/a.jpg"), t);
    EXPECT_EQ(t.ToString(), "image");
    std::vector<std::string> targets;
    for (const auto& r : server.Requests()) targets.push_back(r.substr(0, r.find("\r\n")));
    EXPECT_EQ(targets, (std::vector<std::string>{"GET /dir/a.jpg HTTP/1.1", "GET /dir/b.jpg HTTP/1.1",
                                                 "GET /x/c.jpg?q=1 HTTP/1.1", "GET /d.jpg HTTP/1.1",
                                                 "GET /d.jpg?e HTTP/1.1", "GET /f.jpg HTTP/1.1"}));
    try {
        http->Get(server.Url("/0"), t);
        FAIL() << "a sixth redirect was followed";
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 301 Moved");
    }
    EXPECT_EQ(server.Requests().size(), 12u);
    EXPECT_EQ(t.ToString(), "image");
    EXPECT_EQ(http->ConnectCount(), 1);
}

TEST(HttpStatus, ContinueIsSkippedAndNoContentSucceedsEmpty) {
    ScriptedHttpServer server({{Answer("HTTP/1.1 100 Continue\r\nX-A: 1\r\n\r\n" + test::Ok("body")),
                                Answer("HTTP/1.1 204 No Content\r\n\r\n")}});
    auto http = test::MakeClient();
    TMemoryStream a, b;
    http->Get(server.Url("/a.jpg"), a);
    EXPECT_EQ(a.ToString(), "body");
    EXPECT_EQ(http->Response().ResponseCode, 200);
    http->Get(server.Url("/b.jpg"), b);
    EXPECT_EQ(b.Size(), 0u);
    EXPECT_EQ(http->Response().ResponseCode, 204);
}

// A 401 is the server's error page, never the image, whatever credentials
// this address or an earlier one carried; none are ever sent.
TEST(HttpStatus, UnauthorizedIsRefusedWhateverTheCredentials) {
    const std::string basic401 =
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: 6\r\n\r\nsecret";
    const std::string digest401 =
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"x\"\r\nContent-Length: 6\r\n\r\nsecret";
    struct Case {
        std::string response;
        std::string userInfo;
    } cases[] = {
        {basic401, "joe:pw@"},
        {basic401, ""},
        {basic401, "joe:@"},
        {basic401, "joe:%20@"},
        {digest401, "joe:pw@"},
        {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basicx realm=x\r\nContent-Length: 6\r\n\r\nsecret", "joe:pw@"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userInfo + " " + c.response.substr(29, 30));
        // An earlier address carried a user name and password.
        ScriptedHttpServer server({{Answer(Ok("img")), Answer(c.response)}});
        auto http = test::MakeClient();
        const std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());
        TMemoryStream first, target;
        http->Get("http://ann:pass@" + hostPort + "/first.jpg", first);
        try {
            http->Get("http://" + c.userInfo + hostPort + "/a", target);
            FAIL() << "accepted";
        } catch (const EIdHTTPProtocolException& e) {
            EXPECT_STREQ(e.what(), "HTTP/1.1 401 Unauthorized");
            EXPECT_EQ(e.ErrorCode(), 401);
        }
        EXPECT_EQ(target.Size(), 0u);
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);  // never repeated
        for (const auto& r : requests) EXPECT_EQ(r.find("Authorization"), std::string::npos);
    }
}

}  // namespace
}  // namespace zx
