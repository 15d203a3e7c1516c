#include "app/error_text.h"

#include <gtest/gtest.h>

#include "base/exception.h"

namespace zx {
namespace {

TEST(HandlerErrorText, AddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(HandlerErrorText("HTTP/1.1 404 Not Found"), "HTTP/1.1 404 Not Found.");
    EXPECT_EQ(HandlerErrorText("IOHandler value is not valid"), "IOHandler value is not valid.");
    EXPECT_EQ(HandlerErrorText("Socket Error # 10061\r\nConnection refused."),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(HandlerErrorText("ends in 7"), "ends in 7.");
    EXPECT_EQ(HandlerErrorText("ends in a dash -"), "ends in a dash -") << "'-' sorts before '.'";
    EXPECT_EQ(HandlerErrorText("path/"), "path/.") << "'/' sorts after '.'";
    EXPECT_EQ(HandlerErrorText(""), "");
}

TEST(ApplicationErrorText, NamesClassModuleAndMessage) {
    const std::string text =
        ApplicationErrorText("EConvertError", "zeltrix", nullptr, "'abc' is not a valid integer value");
    EXPECT_EQ(text,
              "Exception EConvertError in module zeltrix at 0000000000000000.\r\n"
              "'abc' is not a valid integer value.\r\n");
    EXPECT_EQ(ApplicationErrorText("E", "m", nullptr, "done."),
              "Exception E in module m at 0000000000000000.\r\ndone.\r\n");
    EXPECT_EQ(ExceptionClassName(EConvertError("x")), "EConvertError");
    EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "std::runtime_error");
}

}  // namespace
}  // namespace zx
