// The cookie jar: parsing, domain rules, expiry, and the Cookie header on
// the wire.
#include <gtest/gtest.h>

#include "support/http_test_util.h"

namespace zx {
namespace {

using test::Answer;
using test::Ok;
using test::ScriptedHttpServer;

constexpr std::time_t kNow = 1700000000;  // 2023-11-14 22:13:20 GMT

TIdHeaderList SetCookies(std::initializer_list<std::string> lines) {
    TIdHeaderList h;
    for (const auto& l : lines) h.AddLine(l);
    return h;
}

TEST(CookieParse, AttributesOfBothKinds) {
    TIdCookieRFC2109 c;
    ASSERT_TRUE(
        c.Parse(" id = 42 ; path=\"/img/\"; Domain=.img.host; secure; expires=Wed, 09 Jun 2021 10:18:14 GMT;"
                " Max-Age=60; Version=1; Comment=hi",
                kNow));
    EXPECT_EQ(c.Name, "id");
    EXPECT_EQ(c.Value, "42");
    EXPECT_EQ(c.Path, "/img/");
    EXPECT_EQ(c.Domain, ".img.host");
    EXPECT_TRUE(c.Secure);
    EXPECT_EQ(c.Expires, "Wed, 09 Jun 2021 10:18:14 GMT");
    EXPECT_EQ(c.ExpiryTime(), kNow + 60);  // MAX-AGE wins
    EXPECT_EQ(c.Version, "1");

    TIdCookieRFC2965 c2;
    ASSERT_TRUE(c2.Parse("a=b; Port=\"80\"; CommentURL=x; Discard", kNow));
    EXPECT_EQ(c2.Port, "\"80\"");
    EXPECT_TRUE(c2.Discard);
    EXPECT_EQ(c2.Path, "/");

    TIdCookieRFC2109 nameless;
    EXPECT_FALSE(nameless.Parse("=value", kNow));
    EXPECT_FALSE(nameless.Parse("", kNow));
}

TEST(CookieParse, DateForms) {
    const std::time_t t = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), t);
    EXPECT_EQ(ParseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), t);
    EXPECT_EQ(ParseCookieDate("Sun Nov  6 08:49:37 1994"), t);
    EXPECT_EQ(ParseCookieDate("Sun, 06-Nov-1994 08:49:37 GMT"), t);
    EXPECT_FALSE(ParseCookieDate("next tuesday"));
    EXPECT_FALSE(ParseCookieDate("Sun, 06 Nov 1994 99:49:37 GMT"));
    EXPECT_FALSE(ParseCookieDate(""));
}

TEST(CookieJar, DomainsMatchOnLabelBoundariesOnly) {
    EXPECT_TRUE(DomainMatches("img.host", "img.host"));
    EXPECT_TRUE(DomainMatches("a.img.host", ".img.host"));
    EXPECT_TRUE(DomainMatches("A.IMG.host", "img.HOST"));
    EXPECT_FALSE(DomainMatches("evilimg.host", "img.host"));
    EXPECT_FALSE(DomainMatches("img.host", "a.img.host"));
    EXPECT_FALSE(DomainMatches("img.host", ""));

    TIdCookieManager jar;
    jar.TakeCookies(
        SetCookies({"Set-Cookie: own=1", "Set-Cookie: parent=2; Domain=.example.com",
                    "Set-Cookie: sibling=3; Domain=other.example.com", "Set-Cookie: suffix=4; Domain=le.com",
                    "Set-Cookie: tld=5; Domain=com", "Set-Cookie: tld2=6; Domain=.com"}),
        "img.example.com", kNow);
    EXPECT_EQ(jar.Count(), 2u);
    EXPECT_EQ(jar.CookieHeader("img.example.com", "/"), "own=1; parent=2");
    EXPECT_EQ(jar.CookieHeader("www.example.com", "/"), "parent=2");
    EXPECT_EQ(jar.CookieHeader("notexample.com", "/"), "");

    // A literal address only takes cookies for itself; a dotless host may name itself.
    TIdCookieManager ipJar;
    ipJar.TakeCookies(SetCookies({"Set-Cookie: a=1; Domain=0.0.1", "Set-Cookie: b=2; Domain=127.0.0.1"}), "127.0.0.1",
                      kNow);
    EXPECT_EQ(ipJar.CookieHeader("127.0.0.1", "/"), "b=2");
    TIdCookieManager localJar;
    localJar.TakeCookies(SetCookies({"Set-Cookie: a=1; Domain=localhost"}), "localhost", kNow);
    EXPECT_EQ(localJar.CookieHeader("localhost", "/"), "a=1");
    for (const char* literal : {"0.0.0.0", "255.255.255.255", "::", "1::", "::ffff:1.2.3.4", "1:2:3:4:5:6:7:8"})
        EXPECT_TRUE(IsLiteralAddress(literal)) << literal;
    for (const char* name : {"01.2.3.4", "256.1.1.1", "1.2.3", "1:2:3:4:5:6:7::8", "1:::2", "12345::", "a.b.c.d", ""})
        EXPECT_FALSE(IsLiteralAddress(name)) << name;
}

TEST(CookieJar, ReplacesByNameAndSendsByPathValueAndSecurity) {
    TIdCookieManager jar;
    jar.TakeCookies(SetCookies({"Set-Cookie: A=1", "set-cookie: a=2", "Set-Cookie: deep=3; Path=/img/",
                                "Set-Cookie: empty=", "Set-Cookie: s=4; Secure", "Set-Cookie2: v2=5; Version=1"}),
                    "img.host", kNow);
    EXPECT_EQ(jar.Count(), 5u);
    EXPECT_EQ(jar.CookieHeader("img.host", "/"), "a=2; v2=5");
    EXPECT_EQ(jar.CookieHeader("img.host", "/img/x/"), "a=2; deep=3; v2=5");
}

TEST(CookieJar, ExpiredCookiesAreDeleted) {
    TIdCookieManager jar;
    jar.TakeCookies(
        SetCookies({"Set-Cookie: old=1; Expires=Sun, 06 Nov 1994 08:49:37 GMT",
                    "Set-Cookie: future=2; Expires=Fri, 01 Jan 2100 00:00:00 GMT", "Set-Cookie: gone=3; Max-Age=0",
                    "Set-Cookie: odd=4; Expires=whenever", "Set-Cookie: brief=5; Max-Age=10"}),
        "img.host", kNow);
    EXPECT_EQ(jar.Count(), 5u);
    jar.DeleteExpired(kNow);
    EXPECT_EQ(jar.CookieHeader("img.host", "/"), "future=2; odd=4; brief=5");
    jar.DeleteExpired(kNow + 11);
    EXPECT_EQ(jar.CookieHeader("img.host", "/"), "future=2; odd=4");
}

// Whatever servers send, the jar stays bounded: oversized cookies are
// refused, and past a cap the oldest goes first (a replaced cookie keeps
// its age).
TEST(CookieJar, CapsDropTheOldestFirst) {
    TIdCookieManager jar;
    const std::string big(TIdCookieManager::kMaxCookieBytes - 2, 'v');
    EXPECT_TRUE(jar.TakeCookie(std::make_unique<TIdCookieRFC2109>(), "a=" + big, "img.host", kNow));
    EXPECT_FALSE(jar.TakeCookie(std::make_unique<TIdCookieRFC2109>(), "b=" + big + "v", "img.host", kNow));
    for (size_t i = 1; i < TIdCookieManager::kMaxPerDomain; ++i)
        jar.TakeCookies(SetCookies({"Set-Cookie: c" + std::to_string(i) + "=1"}), "img.host", kNow);
    jar.TakeCookies(SetCookies({"Set-Cookie: a=new", "Set-Cookie: last=1"}), "img.host", kNow);
    EXPECT_EQ(jar.Count(), TIdCookieManager::kMaxPerDomain);
    const std::string header = jar.CookieHeader("img.host", "/");
    EXPECT_EQ(header.find("a="), std::string::npos);
    EXPECT_EQ(header.substr(0, 6), "c1=1; ");
    EXPECT_EQ(header.substr(header.size() - 6), "last=1");

    // Across domains the oldest of all goes: here the whole first domain.
    TIdCookieManager many;
    const size_t domains = TIdCookieManager::kMaxCookies / TIdCookieManager::kMaxPerDomain + 1;
    for (size_t d = 0; d < domains; ++d)
        for (size_t i = 0; i < TIdCookieManager::kMaxPerDomain; ++i)
            many.TakeCookies(SetCookies({"Set-Cookie: c" + std::to_string(i) + "=1"}),
                             "d" + std::to_string(d) + ".host", kNow);
    EXPECT_EQ(many.Count(), TIdCookieManager::kMaxCookies);
    EXPECT_EQ(many.CookieHeader("d0.host", "/"), "");
    EXPECT_NE(many.CookieHeader("d1.host", "/"), "");
}

TEST(CookieWire, CookieOfImgHostGoesBackOnlyToImgHost) {
    ScriptedHttpServer server(
        {{Answer(Ok("1", "Set-Cookie: sid=abc\r\nSet-Cookie: old=x; Max-Age=0\r\n")), Answer(Ok("2"))},
         {Answer(Ok("3"))},
         {Answer(Ok("4"))}});
    auto http = test::MakeClient();
    const std::string port = std::to_string(server.Port());
    EXPECT_EQ(http->CookieManager(), nullptr);
    TMemoryStream a, b, c;
    http->Get("http://img.host:" + port + "/dir/a.jpg", a);
    ASSERT_NE(http->CookieManager(), nullptr);
    http->Get("http://img.host:" + port + "/dir/b.jpg", b);
    http->Get("http://other.host:" + port + "/dir/c.jpg", c);
    const auto req = server.Requests();
    ASSERT_EQ(req.size(), 3u);
    EXPECT_EQ(req[0].find("Cookie:"), std::string::npos);
    EXPECT_EQ(req[1],
              "GET /dir/b.jpg HTTP/1.1\r\n"
              "Host: img.host:" +
                  port +
                  "\r\n"
                  "Accept: text/html, */*\r\n"
                  "Accept-Encoding: identity\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Zeltrix)\r\n"
                  "Cookie: sid=abc\r\n"
                  "\r\n");
    EXPECT_EQ(req[2].find("Cookie:"), std::string::npos);
    EXPECT_EQ(http->CookieManager()->Count(), 1u);  // the expired one was deleted

    // Across a redirect each answer's cookies belong to the host that gave
    // them, and each request carries only its own host's.
    ScriptedHttpServer hops({{Answer("HTTP/1.1 302 Found\r\nSet-Cookie: hop=1\r\nLocation: http://img.host:" + port +
                                     "/dir/d.jpg\r\nContent-Length: 0\r\n\r\n")}});
    TMemoryStream d;
    http->Get("http://other.host:" + std::to_string(hops.Port()) + "/x.jpg", d);
    EXPECT_EQ(d.ToString(), "4");
    const auto after = server.Requests();
    ASSERT_EQ(after.size(), 4u);
    EXPECT_NE(after[3].find("Cookie: sid=abc\r\n"), std::string::npos) << after[3];
    EXPECT_EQ(after[3].find("hop="), std::string::npos) << after[3];
}

}  // namespace
}  // namespace zx
