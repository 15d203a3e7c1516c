#include "base/text.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "base/string_list.h"

namespace zx {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitLines, BreaksAtCrLfLoneCrAndLoneLf) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\r\r\nb"), (Lines{"a", "", "b"}));
}

TEST(SplitLines, FinalBreakAddsNoLineButAMissingOneStillCounts) {
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("\r\n"), Lines{""});
    EXPECT_EQ(SplitLines("x\r\n"), Lines{"x"});
    EXPECT_EQ(SplitLines("x"), Lines{"x"});
    EXPECT_EQ(SplitLines("x\r\n\r\n"), (Lines{"x", ""}));
}

TEST(TStringList, TextRoundTripsAndChangesAreCountedAsSpecified) {
    TStringList list;
    int changes = 0;
    list.OnChange = [&] { ++changes; };
    list.Clear();
    EXPECT_EQ(changes, 0) << "clearing an empty list is no change";
    list.SetText("");
    EXPECT_EQ(changes, 1) << "setting the text is a change even when empty";
    list.SetText("one\r\ntwo\nthree");
    EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(list.Count(), 3);
    list.SetText(list.Text());
    EXPECT_EQ(list.Count(), 3);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(changes, 4);
}

TEST(Trim, ControlTrimRemovesEveryByteUpTo32) {
    EXPECT_EQ(TrimControl(" \t\x01http://a \r"), "http://a");
    EXPECT_EQ(TrimControl(" \t "), "");
    EXPECT_EQ(TrimControl("\x80x\x80"), "\x80x\x80") << "high bytes are text";
}

TEST(AsciiLower, LowersOnlyAsciiLetters) {
    EXPECT_EQ(AsciiLower("HTTP://\xC3\x89X"), "http://\xC3\x89x");
    EXPECT_TRUE(StartsWithAsciiCaseless("HtTp://x", "http"));
    EXPECT_FALSE(StartsWithAsciiCaseless("ht", "http"));
}

TEST(StrToInt, AcceptsSigned32BitDecimalAndNamesTheTextOtherwise) {
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "abc", "2147483648", "12x", "-", "99999999999999999999"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

}  // namespace
}  // namespace zx
