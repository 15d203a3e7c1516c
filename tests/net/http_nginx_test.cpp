// The ordinary case against real web servers: images come back byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/http_test_util.h"
#include "support/temp_dir.h"
#include "support/web_server.h"

namespace zx {
namespace {

using test::RandomBytes;

// A folder to serve with a small and a large image of random bytes.
struct ImageRoot {
    ImageRoot(unsigned seed, size_t largeSize)
        : small(RandomBytes(1000, seed)), large(RandomBytes(largeSize, seed + 1)) {
        root.WriteFile("img/small.jpg", small);
        root.WriteFile("img/large.png", large);
    }
    test::TempDir root;
    const std::string small, large;
};

TEST(HttpNginx, ImagesComeBackByteForByteOverOneConnection) {
    const ImageRoot images(1, 3 * 1024 * 1024 + 7);
    const auto& [root, small, large] = images;
    root.WriteFile("empty.gif", "");
    test::NginxServer nginx(root.Path());

    auto http = test::MakeClient();
    TMemoryStream a, b, c;
    http->Get(nginx.Url("/img/small.jpg"), a);
    EXPECT_EQ(http->Response().ContentType, "image/jpeg");
    http->Get(nginx.Url("/img/large.png?x=1#top"), b);
    http->Get(nginx.Url("/empty.gif"), c);
    EXPECT_EQ(a.ToString(), small);
    EXPECT_EQ(b.ToString(), large);
    EXPECT_EQ(c.Size(), 0u);
    EXPECT_EQ(http->ConnectCount(), 1);

    try {
        http->Get(nginx.Url("/img/missing.jpg"), a);
        FAIL();
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 404 Not Found");
        EXPECT_NE(e.ErrorMessage().find("404"), std::string::npos);
    }
    // A folder without its slash is redirected by the server; redirects are not followed.
    try {
        http->Get(nginx.Url("/img"), a);
        FAIL();
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode(), 301);
    }
    EXPECT_EQ(a.ToString(), small);
    EXPECT_EQ(http->ConnectCount(), 1);
}

// The same files from every kind of real server, twice in one client: kept
// connections, servers that close after each answer (Python's answers
// HTTP/1.0), and a CGI answer that Apache sends chunked.
TEST(HttpRealServers, EachServesTheSameBytesTwiceInOneClient) {
    const ImageRoot images(3, 2 * 1024 * 1024 + 3);
    const auto& [root, small, large] = images;
    const std::string cgi =
        root.WriteFile("img/pic.cgi", "#!/bin/sh\nprintf 'Content-Type: image/jpeg\\r\\n\\r\\n'\ncat large.png\n");
    ASSERT_EQ(::chmod(cgi.c_str(), 0755), 0);
    for (const auto kind : test::WebServer::AllKinds()) {
        SCOPED_TRACE(test::WebServer::Name(kind));
        test::WebServer server(root.Path(), kind);
        auto http = test::MakeClient();
        for (int round = 0; round < 2; ++round) {
            TMemoryStream a, b;
            http->Get(server.Url("/img/small.jpg"), a);
            http->Get(server.Url("/img/large.png"), b);
            EXPECT_EQ(a.ToString(), small);
            EXPECT_EQ(b.ToString(), large);
            if (kind == test::WebServer::Kind::Apache) {
                TMemoryStream c;
                http->Get(server.Url("/img/pic.cgi"), c);
                EXPECT_EQ(c.ToString(), large);
                EXPECT_EQ(http->Response().TransferEncoding, "chunked");
            }
        }
        EXPECT_EQ(http->ConnectCount(), kind == test::WebServer::Kind::Python ? 4 : 1) << server.ErrorLog();
    }
}

}  // namespace
}  // namespace zx
