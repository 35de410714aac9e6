// .reg text: parsing what regedit writes, rejecting what it cannot mean, and
// writing text that reads back to exactly the same types and bytes.
#include <gtest/gtest.h>

#include "simulator/name_fold.h"
#include "simulator/reg_file.h"
#include "simulator/text.h"

namespace orva::sim {
namespace {

using Kind = RegChange::Kind;

TEST(RegFile, ParsesKeysValuesDeletionsAndContinuations) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "; comment\n"
        "[HKEY_LOCAL_MACHINE\\Comm\\HTTPD\\Websites\\Public\\VROOTS\\/]\n"
        "\"Default\"=\"\\\\Windows\\\\www \\\"x\\\"\"\n"
        "@=dword:0000001e\n"
        "\"Bin\"=hex:01,02,\\\n"
        "   03\n"
        "\"Multi\"=hex(7):41,00,00,00,00,00\n"
        "\"Gone\"=-\n"
        "[-HKLM\\Old]\n";
    std::string error;
    auto changes = parse_reg_text(text, "t.reg", &error);
    ASSERT_TRUE(changes) << error;
    ASSERT_EQ(changes->size(), 7u);
    EXPECT_EQ((*changes)[0].kind, Kind::CreateKey);
    EXPECT_EQ((*changes)[0].key, "Comm\\HTTPD\\Websites\\Public\\VROOTS\\/");
    EXPECT_EQ((*changes)[1].value.data, reg_sz_bytes("\\Windows\\www \"x\""));
    EXPECT_EQ((*changes)[2].value.name, "");
    EXPECT_EQ((*changes)[2].value.data, (std::vector<uint8_t>{0x1e, 0, 0, 0}));
    EXPECT_EQ((*changes)[3].value.type, kRegBinary);
    EXPECT_EQ((*changes)[3].value.data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ((*changes)[4].value.type, kRegMultiSz);
    EXPECT_EQ((*changes)[5].kind, Kind::DeleteValue);
    EXPECT_EQ((*changes)[6].kind, Kind::DeleteKey);
    EXPECT_EQ((*changes)[6].key, "Old");
}

TEST(RegFile, ErrorsNameFileAndLine) {
    using namespace std::string_literals;
    struct Row {
        std::string text;
        const char* expected;
    } rows[] = {
        {"REGEDIT4\n", "f.reg:1: expected"},
        {"", "f.reg:1: expected"},
        {"Windows Registry Editor Version 5.00\n\"a\"=dword:1\n", "f.reg:2: value outside of a key"},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x]\n", "f.reg:2: only HKEY_LOCAL_MACHINE"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x]\n\"a\"=dword:123456789\n", "f.reg:3: dword"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x]\n\"a\"=hex:1,02\n", "f.reg:3: bad hex"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x]\n\"a\"=hex:01,\\\n", "f.reg:3: hex data continues"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x]\n\"a\"=hex:01,\\\n\n\"b\"=dword:1\n",
         "f.reg:3: hex data continues"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x]\n\"a=\"b\"\n", "f.reg:3:"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x]\n\"a\"=\"b\\q\"\n", "f.reg:3: unterminated or badly escaped"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x\n", "f.reg:2: key line"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x]\n\"a\"=str\n", "f.reg:3: unknown value data"},
        // A NUL in a name, in UTF-8 text and in UTF-16 text.
        {"Windows Registry Editor Version 5.00\n[HKLM\\a\0b]\n"s, "f.reg:2: a key name cannot hold a NUL"},
        {"Windows Registry Editor Version 5.00\n[-HKLM\\a\0]\n"s, "f.reg:2: a key name cannot hold a NUL"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\x]\n\"a\0\"=dword:1\n"s,
         "f.reg:3: a value name cannot hold a NUL"},
        {"\xFF\xFEW\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0i\0s\0t\0r\0y\0 \0E\0d\0i\0t\0o\0r\0 \0V\0e\0r\0s\0i\0o\0n\0"
         " \0\x35\0.\0\x30\0\x30\0\n\0[\0H\0K\0L\0M\0\\\0x\0\0\0]\0\n\0"s,
         "f.reg:2: a key name cannot hold a NUL"},
    };
    for (const Row& row : rows) {
        std::string error;
        EXPECT_FALSE(parse_reg_text(row.text, "f.reg", &error)) << row.text;
        EXPECT_EQ(error.rfind(row.expected, 0), 0u) << row.text << " -> " << error;
    }
}

TEST(RegFile, FormatReadsBackExactly) {
    std::vector<uint8_t> padded = reg_sz_bytes("\\Temp");
    padded.resize(200, 0);
    std::vector<uint8_t> odd = {0x41, 0};
    std::vector<uint8_t> big(300, 0xAB);
    std::vector<RegKeyDump> keys = {
        {"", {{"Top", kRegSz, reg_sz_bytes("x")}}},
        {"Comm\\FTPD",
         {{"DefaultDir", kRegSz, padded},
          {"Plain", kRegSz, reg_sz_bytes("a \"q\" \\ \xC3\xA9")},
          {"Line", kRegSz, reg_sz_bytes("a\nb")},
          {"Odd", kRegSz, odd},
          {"", kRegDword, {0x80, 2, 0, 0}},
          {"Short", kRegDword, {1, 2}},
          {"Big", kRegBinary, big},
          {"Empty", kRegBinary, {}},
          {"Weird", 0x1234, {9}}}},
    };
    const std::string text = format_reg_text(keys);
    EXPECT_NE(text.find("\"Plain\"=\"a \\\"q\\\" \\\\ \xC3\xA9\""), std::string::npos) << text;
    EXPECT_NE(text.find("@=dword:00000280"), std::string::npos);
    for (size_t pos = 0, nl; (nl = text.find('\n', pos)) != std::string::npos; pos = nl + 1) EXPECT_LE(nl - pos, 80u);
    std::string error;
    auto changes = parse_reg_text(text, "x.reg", &error);
    ASSERT_TRUE(changes) << error << "\n" << text;
    std::vector<RegValue> values;
    for (const RegChange& c : *changes)
        if (c.kind == Kind::SetValue) values.push_back(c.value);
    std::vector<RegValue> expected = keys[0].values;
    expected.insert(expected.end(), keys[1].values.begin(), keys[1].values.end());
    ASSERT_EQ(values.size(), expected.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].name, expected[i].name);
        EXPECT_EQ(values[i].type, expected[i].type) << expected[i].name;
        EXPECT_EQ(values[i].data, expected[i].data) << expected[i].name;
    }
}

TEST(Text, Utf16RoundTripAndLatin1) {
    const std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(utf8_to_utf16(s).size(), 5u);
    EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(s)), s);
    EXPECT_EQ(utf16_to_utf8(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(reg_sz_text({'h', 0, 'i', 0, 0, 0, 'x', 0}), u"hi");
    EXPECT_EQ(latin1_bytes("A\xC3\xBF"), std::string("A\xFF"));
    EXPECT_FALSE(latin1_bytes("\xE2\x82\xAC"));
    EXPECT_TRUE(ascii_iequal("Drivers\\MQ200", "dRIVERS\\mq200"));
    // Simple upper-casing of the Basic Multilingual Plane: ß and 𐐨 stay,
    // ı and ſ become I and S, titlecase ǅ becomes Ǆ; bytes that are not
    // UTF-8 are kept.
    EXPECT_EQ(name_fold("Drivers\\Ärger ßÿıſǅ ω𐐨\xFF"), "DRIVERS\\ÄRGER ßŸISǄ Ω𐐨\xFF");
    EXPECT_TRUE(name_iequal("Größe", "GRÖßE"));
}

}  // namespace
}  // namespace orva::sim
