#pragma once
// Cookies as servers set them: "Set-Cookie" lines make TIdCookieRFC2109,
// "Set-Cookie2" lines TIdCookieRFC2965.
#include <ctime>
#include <optional>
#include <string>

namespace zx {

class TIdCookieRFC2109 {
public:
    virtual ~TIdCookieRFC2109() = default;

    // Reads "name=value; Attr=value; ...". now is the moment of intake, from
    // which a MAX-AGE counts. False when there is no name.
    bool Parse(const std::string& text, std::time_t now);

    std::string Name;
    std::string Value;
    std::string Domain;  // empty when the server gave none
    std::string Path = "/";
    std::string Expires;  // as the server wrote it
    std::string Comment;
    std::string Version;
    bool Secure = false;
    // Absolute end of life from MAX-AGE, which wins over EXPIRES.
    std::optional<std::time_t> MaxAgeExpiry;

    // The moment the cookie ends, when it has one that can be read.
    std::optional<std::time_t> ExpiryTime() const;

protected:
    // Takes one attribute; name is upper-cased. False when not known here.
    virtual bool TakeAttribute(const std::string& name, const std::string& value, std::time_t now);
};

class TIdCookieRFC2965 : public TIdCookieRFC2109 {
public:
    std::string CommentURL;
    std::string Port;
    bool Discard = false;

protected:
    bool TakeAttribute(const std::string& name, const std::string& value, std::time_t now) override;
};

// Reads the usual cookie date forms (RFC 1123, RFC 850, asctime and the
// "DD-Mon-YYYY" variant) as GMT. Nothing when the text is not such a date.
std::optional<std::time_t> ParseCookieDate(const std::string& text);

}  // namespace zx
