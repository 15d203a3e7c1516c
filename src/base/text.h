#pragma once
// 8-bit text helpers shared by the views, the list file and the cell pages.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zx {

// Splits at CR LF, a lone CR or a lone LF. A last line without a break counts
// as a line; a break at the very end adds no further line. Empty text: no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Every line followed by CR LF.
std::string JoinLinesCRLF(const std::vector<std::string>& lines);

// Lowers ASCII A-Z only; other bytes are left alone.
std::string AsciiLower(std::string_view text);
bool StartsWithAsciiCaseless(std::string_view text, std::string_view prefix);
bool EqualsAsciiCaseless(std::string_view a, std::string_view b);

// Removes leading and trailing bytes <= 32 (blanks and control characters).
std::string_view TrimControl(std::string_view text);
// Removes leading and trailing blanks (32) and tabs only.
std::string_view TrimBlanks(std::string_view text);

// "Could not ..." messages take the system's error text; this is strerror.
std::string SystemErrorText(int err);

// Decimal text of a signed 32-bit integer in the strict sense of the
// conversion the start-up test uses; throws EConvertError otherwise.
int32_t StrToInt(const std::string& text);

// The value of a hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);

// A C0 control character or DEL.
inline bool IsControlByte(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

// Whether any byte of `text` is a C0 control character or DEL.
inline bool HasControlByte(std::string_view text) {
    for (const char c : text)
        if (IsControlByte(static_cast<unsigned char>(c))) return true;
    return false;
}

}  // namespace zx
