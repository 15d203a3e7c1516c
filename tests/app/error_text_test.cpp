#include "app/error_text.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "app/diagnostics.h"
#include "base/exception.h"
#include "platform/linux/window_message.h"

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

// What a process that set up its diagnostics with ZELTRIX_DEBUG=`debug`
// writes on standard error when a platform fallback kicks in (a notification
// to no window). Run in a child, since the set-up is for the whole process.
std::string FallbackReport(const char* debug) {
    int out[2];
    if (pipe(out) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDERR_FILENO);
        setenv("ZELTRIX_DEBUG", debug, 1);
        unsetenv("QT_LOGGING_RULES");
        unsetenv("QT_MESSAGE_PATTERN");
        QuietDiagnostics();
        SendInstanceNotification(0);
        _exit(0);
    }
    close(out[1]);
    std::string written;
    char buffer[512];
    pollfd ready{out[0], POLLIN, 0};
    for (ssize_t n = 1; n > 0 && poll(&ready, 1, 10000) == 1;) {
        n = read(out[0], buffer, sizeof buffer);
        if (n > 0) written.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return written;
}

TEST(Diagnostics, PlatformFallbacksSpeakOnlyWithZeltrixDebug) {
    EXPECT_EQ(FallbackReport(""), "");
    EXPECT_EQ(FallbackReport("0"), "");
    EXPECT_EQ(FallbackReport("1"), "zeltrix.platform.message: no notification sent to window 0: no window id\n");
}

}  // namespace
}  // namespace zx
