// wsprintfW with the conversions the program uses, and the UTF-16/UTF-8
// conversions at the edges.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "platform/wince.h"

namespace {

using orva::platform::to_utf16;
using orva::platform::to_utf8;

std::u16string fmt(const WCHAR* format, auto... args) {
    WCHAR buffer[1100];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    int n = wsprintfW(buffer, format, args...);
    EXPECT_EQ(buffer[n], 0);
    return std::u16string(buffer, size_t(n));
}

TEST(Wsprintf, IntegersSignedAndThirtyTwoBitLong) {
    EXPECT_EQ(fmt(u"%d x %d", 640, 480), u"640 x 480");
    EXPECT_EQ(fmt(u"%d", -2147483647 - 1), u"-2147483648");
    EXPECT_EQ(fmt(u"%ld bytes", LONG(-5)), u"-5 bytes");
    EXPECT_EQ(fmt(u"%ld", LONG(2147483647)), u"2147483647");
    EXPECT_EQ(fmt(u"Directory not exist, please create it first. ErrCode : %ld", LONG(3)),
              u"Directory not exist, please create it first. ErrCode : 3");
}

TEST(Wsprintf, HexWithMinimumWidthOnly) {
    EXPECT_EQ(fmt(u"%2.2X  %2.2X", 0x01, 0xEF), u"01  EF");
    EXPECT_EQ(fmt(u"%2.2X", 0x1FF), u"1FF");  // a value above 255 keeps all its digits
    EXPECT_EQ(fmt(u"%2.2X", 0), u"00");
    EXPECT_EQ(fmt(u"%x", 0xABCu), u"abc");
}

TEST(Wsprintf, StringsWideNarrowAndCharacters) {
    EXPECT_EQ(fmt(u"Change FTP default directory %s to :", u"\\Temp"), u"Change FTP default directory \\Temp to :");
    EXPECT_EQ(fmt(u"R-%S", "AB1 \r"), u"R-AB1 \r");
    EXPECT_EQ(fmt(u"%S", "\xE9"), u"\u00E9");  // an 8-bit character becomes the wide one of the same code
    EXPECT_EQ(fmt(u"Erase Flash Memory --> %d%c done", 33, 37), u"Erase Flash Memory --> 33% done");
    EXPECT_EQ(fmt(u"Orva Kernel %c%c", int(u'\xFF'), int('A')), u"Orva Kernel \u00FFA");
    EXPECT_EQ(fmt(u"%s", static_cast<const WCHAR*>(nullptr)), u"(null)");
    EXPECT_EQ(fmt(u"100%%"), u"100%");
}

TEST(Wsprintf, OutputIsCutAt1023Characters) {
    std::u16string big(2000, u'a');
    EXPECT_EQ(fmt(u"%s", big.c_str()).size(), 1023u);
}

TEST(Utf, RoundTripsIncludingSurrogatePairsAndReplacesBrokenInput) {
    std::string text = "Caf\xC3\xA9 \xF0\x9F\x94\xA7";
    EXPECT_EQ(to_utf16(text), u"Caf\u00E9 \U0001F527");
    EXPECT_EQ(to_utf8(to_utf16(text)), text);
    EXPECT_EQ(to_utf16("\xFF"), u"\uFFFD");
    EXPECT_EQ(to_utf16("a\xC0\xAF"
                       "b"),
              u"a\uFFFD"
              "b")
        << "an overlong slash is no separator";
    EXPECT_EQ(to_utf16("\xED\xA0\x80"), u"\uFFFD") << "an encoded surrogate";
    EXPECT_EQ(to_utf16("\xE2\x82"
                       "x"),
              u"\uFFFD"
              "x")
        << "a truncated sequence is replaced once";
    EXPECT_EQ(to_utf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(to_utf16("\xF4\x90\x80\x80"), u"\uFFFD") << "a value past U+10FFFF";
    EXPECT_EQ(to_utf16("\xE2"
                       "a"),
              u"\uFFFD"
              "a")
        << "a sequence cut short keeps what follows";
}

}  // namespace
