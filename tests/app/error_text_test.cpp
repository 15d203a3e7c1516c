#include "app/error_text.h"

#include <gtest/gtest.h>

#include "base/exception.h"

namespace zx {
namespace {

using namespace std::string_literals;

TEST(HandlerErrorText, AddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(HandlerErrorText("HTTP/1.1 404 Not Found"), "HTTP/1.1 404 Not Found.");
    EXPECT_EQ(HandlerErrorText("IOHandler value is not valid"), "IOHandler value is not valid.");
    EXPECT_EQ(HandlerErrorText("Socket Error # 10061\r\nConnection refused."),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(HandlerErrorText("ends in 7"), "ends in 7.");
    EXPECT_EQ(HandlerErrorText("ends in a dash -"), "ends in a dash -") << "'-' sorts before '.'";
    EXPECT_EQ(HandlerErrorText("path/"), "path/.") << "'/' sorts after '.'";
    EXPECT_EQ(HandlerErrorText(""), "");
    // A file name with a NUL or another control character shows whole; line
    // breaks and tabs stay what they are.
    EXPECT_EQ(HandlerErrorText("Cannot create file \"/tmp/a\0b\x1b.jpg\". No such file\tor folder"s),
              "Cannot create file \"/tmp/a\\x00b\\x1B.jpg\". No such file\tor folder.");
    EXPECT_EQ(HandlerErrorText("ends in NUL\0"s), "ends in NUL\\x00") << "the rule sees the NUL";
}

TEST(ApplicationErrorText, NamesClassModuleAndMessage) {
    const std::string text =
        ApplicationErrorText("EConvertError", "zeltrix", nullptr, "'abc' is not a valid integer value");
    EXPECT_EQ(text,
              "Exception EConvertError in module zeltrix at 0000000000000000.\r\n"
              "'abc' is not a valid integer value.\r\n");
    EXPECT_EQ(ApplicationErrorText("E", "m", nullptr, "done."),
              "Exception E in module m at 0000000000000000.\r\ndone.\r\n");
    EXPECT_EQ(ApplicationErrorText("E", "m", nullptr, "a\0b"s),
              "Exception E in module m at 0000000000000000.\r\na\\x00b.\r\n");
    EXPECT_EQ(ExceptionClassName(EConvertError("x")), "EConvertError");
    EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "std::runtime_error");
}

// The report's address is the code that raised the error, not the exception
// object; 0 for an exception whose origin is unknown.
[[gnu::noinline]] void RaiseConvertError(const void** functionStart) {
    *functionStart = reinterpret_cast<const void*>(&RaiseConvertError);
    throw EConvertError("'x' is not a valid integer value");
}

TEST(ApplicationErrorText, AddressIsWhereTheErrorWasRaised) {
    const void* start = nullptr;
    try {
        RaiseConvertError(&start);
    } catch (const std::exception& e) {
        const auto at = reinterpret_cast<uintptr_t>(RaiseAddress(e));
        const auto from = reinterpret_cast<uintptr_t>(start);
        EXPECT_GT(at, from);
        EXPECT_LT(at, from + 4096) << "not inside the raising function";
    }
    EXPECT_EQ(RaiseAddress(std::runtime_error("x")), nullptr);
}

}  // namespace
}  // namespace zx
