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
    // A folder without its slash is redirected by the server; the redirect
    // is followed to the folder, which is no image.
    try {
        http->Get(nginx.Url("/img"), a);
        FAIL();
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode(), 403);
    }
    EXPECT_EQ(a.ToString(), small);
    EXPECT_EQ(http->ConnectCount(), 1);
}

// https from nginx: byte for byte over one kept connection, by name or by
// address; http addresses that redirect to it, by a full address or a
// relative one, through five redirects but not six.
TEST(HttpNginx, HttpsAndRedirectsToItComeBackByteForByte) {
    const ImageRoot images(5, 2 * 1024 * 1024 + 11);
    const auto& [root, small, large] = images;
    test::NginxServer secure(root.Path(), test::WebServer::Kind::Nginx, &test::TestCertificates::Get().good);
    std::string hops;
    for (int i = 0; i < 5; ++i)  // /hop0 to /hop5, then the image
        hops += "    location = /hop" + std::to_string(i) + " { return 308 /hop" + std::to_string(i + 1) + "; }\n";
    test::NginxServer plain(root.Path(), test::WebServer::Kind::Nginx, nullptr,
                            "    absolute_redirect off;\n"
                            "    location /moved/ { rewrite ^/moved/(.*)$ " +
                                secure.Url("/img/$1") +
                                " permanent; }\n"
                                "    location /see/ { return 303 ../img/large.png; }\n" +
                                hops + "    location = /hop5 { return 302 /img/small.jpg; }\n");

    auto http = test::MakeClient(true);
    TMemoryStream a, b, c;
    http->Get(secure.Url("/img/small.jpg"), a);
    http->Get(secure.Url("/img/large.png"), b);
    http->Get("https://127.0.0.1:" + std::to_string(secure.Port()) + "/img/small.jpg", c);
    EXPECT_EQ(a.ToString(), small);
    EXPECT_EQ(b.ToString(), large);
    EXPECT_EQ(c.ToString(), small);
    EXPECT_EQ(http->ConnectCount(), 2);  // one per host name

    const struct {
        std::string url;
        const std::string& body;
    } redirected[] = {
        {plain.Url("/moved/large.png"), large},
        {plain.Url("/see/x"), large},
        {plain.Url("/hop1"), small},
    };
    for (const auto& r : redirected) {
        SCOPED_TRACE(r.url);
        TMemoryStream t;
        http->Get(r.url, t);
        EXPECT_TRUE(t.ToString() == r.body);
    }
    // From /hop0 the sixth redirect is the answer.
    try {
        TMemoryStream t;
        http->Get(plain.Url("/hop0"), t);
        FAIL() << "a sixth redirect was followed";
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 302 Moved Temporarily");
    }
}

// A certificate that fails its check ends the GET before a request is sent,
// with the reason; so does a good one asked for by a name it does not hold.
TEST(HttpNginx, HttpsRefusesCertificatesThatFailTheirCheck) {
    const ImageRoot images(7, 10);
    const auto& certs = test::TestCertificates::Get();
    const struct {
        const test::CertificateFiles* cert;
        const char* host;
        const char* message;
    } cases[] = {
        {&certs.selfSigned, "img.host", "Certificate verify failed: self-signed certificate"},
        {&certs.wrongHost, "img.host", "Certificate verify failed: hostname mismatch"},
        {&certs.expired, "img.host", "Certificate verify failed: certificate has expired"},
        {&certs.good, "other.host", "Certificate verify failed: hostname mismatch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        test::NginxServer server(images.root.Path(), test::WebServer::Kind::Nginx, c.cert);
        auto http = test::MakeClient(true);
        TMemoryStream t;
        try {
            http->Get("https://" + std::string(c.host) + ":" + std::to_string(server.Port()) + "/img/small.jpg", t);
            ADD_FAILURE() << "accepted";
        } catch (const TlsError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(t.Size(), 0u);
        EXPECT_FALSE(http->Connected());
    }
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
