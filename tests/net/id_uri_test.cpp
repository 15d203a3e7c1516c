#include "net/id_uri.h"

#include <gtest/gtest.h>

#include "net/id_location.h"

namespace zx {
namespace {

struct Split {
    const char* url;
    const char* host;
    const char* path;
    const char* document;
    const char* params;
    const char* bookmark;
};

TEST(IdURI, WorkedTableSplitsExactly) {
    const Split table[] = {
        {"http://host/dir/pic.jpg", "host", "/dir/", "pic.jpg", "", ""},
        {"http://host/show.php?img=a/b.jpg", "host", "/", "show.php", "?img=a/b.jpg", ""},
        {"http://host/img/id=42/pic.jpg", "host", "/img/", "id", "=42/pic.jpg", ""},
        {"http://host/gallery/", "host", "/gallery/", "", "", ""},
        {"http://host/a.jpg#x/y", "host", "/a.jpg#x/", "y", "", ""},
        {"http://[::1]:81/a.jpg", "::1", "/", "a.jpg", "", ""},
        {"C:\\Temp\\pic.jpg", "", "C:/Temp/", "pic.jpg", "", ""},
        {"http://host?x=1", "host?x=1", "/", "", "", ""},
        {"http://host/a/b/pic.png?w=10&h=5#top", "host", "/a/b/", "pic.png", "?w=10&h=5", "top"},
        {"http://host/pic.jpg#frag", "host", "/", "pic.jpg", "", "frag"},
        {"http://host", "host", "/", "", "", ""},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.url);
        const TIdURI u(row.url);
        EXPECT_EQ(u.Host(), row.host);
        EXPECT_EQ(u.Path(), row.path);
        EXPECT_EQ(u.Document(), row.document);
        EXPECT_EQ(u.Params(), row.params);
        EXPECT_EQ(u.Bookmark(), row.bookmark);
    }
}

TEST(IdURI, AuthorityPartsAndIPVersion) {
    TIdURI u("http://host:8080/a/b/pic.png?w=10&h=5#top");
    EXPECT_EQ(u.URI(), "http://host:8080/a/b/pic.png?w=10&h=5#top");
    EXPECT_EQ(u.Protocol(), "http");
    EXPECT_EQ(u.Port(), "8080");
    EXPECT_EQ(u.IPVersion(), IpVersion::kV4);

    u.SetURI("http://[::1]:81/a.jpg");
    EXPECT_EQ(u.IPVersion(), IpVersion::kV6);
    EXPECT_EQ(u.Port(), "81");

    u.SetURI("http://[fe80::1]/x");  // no port after the bracket
    EXPECT_EQ(u.Host(), "fe80::1");
    EXPECT_EQ(u.Port(), "");

    u.SetURI("ftp://joe:se:cret@files.example:21/pub/");
    EXPECT_EQ(u.Username(), "joe");
    EXPECT_EQ(u.Password(), "se:cret");
    EXPECT_EQ(u.Host(), "files.example");
    EXPECT_EQ(u.Port(), "21");

    u.SetURI("http://:pw@host/");  // an empty user name takes no password
    EXPECT_EQ(u.Username(), "");
    EXPECT_EQ(u.Password(), "");
    EXPECT_EQ(u.Host(), "host");

    u.SetURI("http://host:abc/");  // port text is not checked
    EXPECT_EQ(u.Port(), "abc");
}

TEST(IdURI, ResplittingClearsEverythingAndNothingIsDecoded) {
    TIdURI u("http://u:p@[::1]:81/a/b.jpg?q#f");
    u.SetURI("http://host/my%20pic.jpg");
    EXPECT_EQ(u.Document(), "my%20pic.jpg");
    EXPECT_EQ(u.Username(), "");
    EXPECT_EQ(u.Password(), "");
    EXPECT_EQ(u.Port(), "");
    EXPECT_EQ(u.Params(), "");
    EXPECT_EQ(u.Bookmark(), "");
    EXPECT_EQ(u.IPVersion(), IpVersion::kV4);

    u.SetURI("");
    EXPECT_EQ(u.Host(), "");
    EXPECT_EQ(u.Document(), "");
    EXPECT_EQ(u.Path(), "");
}

TEST(IdURI, RelativeFormKeepsHashInDocumentButCutsItFromParams) {
    TIdURI u("dir/pic.jpg#x");
    EXPECT_EQ(u.Protocol(), "");
    EXPECT_EQ(u.Path(), "dir/");
    EXPECT_EQ(u.Document(), "pic.jpg#x");
    EXPECT_EQ(u.Bookmark(), "");

    u.SetURI("show.php?a=1#frag");
    EXPECT_EQ(u.Document(), "show.php");
    EXPECT_EQ(u.Params(), "?a=1");
    EXPECT_EQ(u.Bookmark(), "frag");

    u.SetURI("?only");
    EXPECT_EQ(u.Path(), "");
    EXPECT_EQ(u.Document(), "");
    EXPECT_EQ(u.Params(), "?only");
}

TEST(IdURI, BackslashesBecomeSlashesEverywhere) {
    const TIdURI u("http://host\\dir\\pic.jpg?a=b\\c");
    EXPECT_EQ(u.URI(), "http://host/dir/pic.jpg?a=b/c");
    EXPECT_EQ(u.Path(), "/dir/");
    EXPECT_EQ(u.Params(), "?a=b/c");
}

// A redirect's Location read against the address that answered; empty
// when it is not to be followed.
TEST(IdLocation, ResolvesAgainstTheAddressThatAnswered) {
    const std::string base = "http://img.host:8080/dir/sub/a.jpg?x=1#f";
    const std::string tooLong = "/" + std::string(kMaxAddressLength, 'a');
    const struct {
        std::string location;
        std::string resolved;
    } cases[] = {
        {"https://cdn.host/p/b.jpg", "https://cdn.host/p/b.jpg"},
        {"HTTPS://cdn.host", "HTTPS://cdn.host/"},
        {"//cdn.host/b.jpg?q", "http://cdn.host/b.jpg?q"},
        {"/b.jpg", "http://img.host:8080/b.jpg"},
        {"b.jpg", "http://img.host:8080/dir/sub/b.jpg"},
        {"../b.jpg", "http://img.host:8080/dir/b.jpg"},
        {"../../../../b.jpg", "http://img.host:8080/b.jpg"},
        {"./c/./d/../e.jpg", "http://img.host:8080/dir/sub/c/e.jpg"},
        {"..", "http://img.host:8080/dir/"},
        {"?y=2", "http://img.host:8080/dir/sub/a.jpg?y=2"},
        {"#g", "http://img.host:8080/dir/sub/a.jpg?x=1#g"},
        {"  /trimmed.jpg\t", "http://img.host:8080/trimmed.jpg"},
        {"/a.jpg?u=../x", "http://img.host:8080/a.jpg?u=../x"},
        {"", ""},
        {"ftp://host/b.jpg", ""},
        {"file:///etc/passwd", ""},
        {"javascript:alert(1)", ""},
        {"https://", ""},
        {"/a b.jpg", ""},
        {"/a\r\nSet-Cookie: x=1", ""},
        {tooLong, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location.substr(0, 60));
        EXPECT_EQ(ResolveLocation(base, c.location), c.resolved);
    }
    EXPECT_EQ(ResolveLocation("C:/Temp/a.jpg", "/b.jpg"), "");
    EXPECT_EQ(ResolveLocation("https://[::1]:81", "b.jpg"), "https://[::1]:81/b.jpg");
}

}  // namespace
}  // namespace zx
