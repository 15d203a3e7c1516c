#include "net/id_cookie.h"

#include <cctype>
#include <limits>
#include <vector>

#include "base/text.h"

namespace zx {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int MonthIndex(const std::string& word) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() < 3) return -1;
    const std::string head = AsciiLower(word.substr(0, 3));
    for (int i = 0; i < 12; ++i)
        if (head == kMonths[i]) return i;
    return -1;
}

bool ReadClock(const std::string& word, int& h, int& m, int& s) {
    int parts[3] = {0, 0, 0};
    int n = 0;
    std::string cur;
    for (size_t i = 0; i <= word.size(); ++i) {
        if (i == word.size() || word[i] == ':') {
            if (!AllDigits(cur) || cur.size() > 2 || n >= 3) return false;
            parts[n++] = std::stoi(cur);
            cur.clear();
        } else {
            cur += word[i];
        }
    }
    if (n < 2) return false;
    h = parts[0], m = parts[1], s = parts[2];
    return h < 24 && m < 60 && s < 61;
}

}  // namespace

std::optional<std::time_t> ParseCookieDate(const std::string& text) {
    std::vector<std::string> words;
    std::string cur;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '-' || c == '\t') {
            if (!cur.empty()) words.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
        if (words.size() > 16) return std::nullopt;
    }
    if (!cur.empty()) words.push_back(cur);

    int day = -1, month = -1, year = -1, h = 0, m = 0, s = 0;
    bool haveClock = false;
    for (const auto& w : words) {
        if (!haveClock && w.find(':') != std::string::npos) {
            if (!ReadClock(w, h, m, s)) return std::nullopt;
            haveClock = true;
        } else if (month < 0 && MonthIndex(w) >= 0 && !AllDigits(w)) {
            month = MonthIndex(w);
        } else if (AllDigits(w) && w.size() <= 4) {
            const int v = std::stoi(w);
            if (day < 0 && w.size() <= 2 && v >= 1 && v <= 31) {
                day = v;
            } else if (year < 0) {
                year = (w.size() == 4) ? v : (v < 70 ? 2000 + v : 1900 + v);
            }
        }
    }
    if (day < 0 || month < 0 || year < 1601 || year > 9999) return std::nullopt;

    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = h;
    tm.tm_min = m;
    tm.tm_sec = s;
    return timegm(&tm);
}

bool TIdCookieRFC2109::Parse(const std::string& text, std::time_t now) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t semi = text.find(';', start);
        if (semi == std::string::npos) semi = text.size();
        pieces.emplace_back(TrimControl(std::string_view(text).substr(start, semi - start)));
        start = semi + 1;
    }

    const std::string& first = pieces[0];
    const size_t eq = first.find('=');
    Name = std::string(TrimControl(std::string_view(first).substr(0, eq)));
    Value = eq == std::string::npos ? "" : std::string(TrimControl(std::string_view(first).substr(eq + 1)));
    if (Name.empty()) return false;

    for (size_t i = 1; i < pieces.size(); ++i) {
        const std::string& piece = pieces[i];
        if (piece.empty()) continue;
        const size_t aeq = piece.find('=');
        const std::string name = Upper(std::string(TrimControl(std::string_view(piece).substr(0, aeq))));
        const std::string value =
            aeq == std::string::npos ? "" : std::string(TrimControl(std::string_view(piece).substr(aeq + 1)));
        TakeAttribute(name, value, now);
    }
    return true;
}

bool TIdCookieRFC2109::TakeAttribute(const std::string& name, const std::string& value, std::time_t now) {
    if (name == "PATH") {
        std::string p = value;
        if (!p.empty() && p.front() == '"') p.erase(0, 1);
        if (!p.empty() && p.back() == '"') p.pop_back();
        Path = p.empty() ? "/" : p;
    } else if (name == "EXPIRES") {
        Expires = value;
    } else if (name == "DOMAIN") {
        Domain = value;
    } else if (name == "SECURE") {
        Secure = true;
    } else if (name == "MAX-AGE") {
        // Whole seconds from now; zero or less ends the cookie at once.
        if (AllDigits(value) || (value.size() > 1 && value[0] == '-' && AllDigits(value.substr(1)))) {
            long long secs = 0;
            const bool negative = value[0] == '-';
            for (char c : value.substr(negative ? 1 : 0)) {
                secs = secs * 10 + (c - '0');
                if (secs > 100LL * 365 * 24 * 3600) break;  // far enough: no overflow
            }
            MaxAgeExpiry = negative || secs == 0 ? now - 1 : now + static_cast<std::time_t>(secs);
        }
    } else if (name == "VERSION") {
        Version = value;
    } else if (name == "COMMENT") {
        Comment = value;
    } else {
        return false;
    }
    return true;
}

std::optional<std::time_t> TIdCookieRFC2109::ExpiryTime() const {
    if (MaxAgeExpiry) return MaxAgeExpiry;
    if (Expires.empty()) return std::nullopt;
    return ParseCookieDate(Expires);
}

bool TIdCookieRFC2965::TakeAttribute(const std::string& name, const std::string& value, std::time_t now) {
    if (TIdCookieRFC2109::TakeAttribute(name, value, now)) return true;
    if (name == "COMMENTURL") {
        CommentURL = value;
    } else if (name == "PORT") {
        Port = value;
    } else if (name == "DISCARD") {
        Discard = true;
    } else {
        return false;
    }
    return true;
}

}  // namespace zx
