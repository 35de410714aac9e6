// .reg files as Windows reads them: one table of small files (their
// encoding, options, and the registry they make or the line that refuses
// them) run through the importer into a registry copy; and exports, UTF-8
// and UTF-16, that read back to exactly the same types and bytes.
#include <gtest/gtest.h>

#include "simulator/name_fold.h"
#include "simulator/reg_file.h"
#include "simulator/registry_copy.h"
#include "simulator/text.h"

namespace orva::sim {
namespace {

using namespace std::string_literals;

enum class Enc { Utf8, Utf16, Utf16NoBom, Ansi };

// The UTF-8 text of a row in the encoding the row names.
std::string encode(const std::string& text, Enc enc) {
    if (enc == Enc::Utf8) return text;
    if (enc == Enc::Ansi) return *latin1_bytes(text);
    std::string out = utf16le_file_text(text);
    // utf16le_file_text writes CR LF: the row's own line ends are kept.
    std::string kept = enc == Enc::Utf16 ? "\xFF\xFE" : "";
    for (size_t i = 2; i + 1 < out.size(); i += 2)
        if (!(out[i] == '\r' && out[i + 1] == 0)) kept += out.substr(i, 2);
    return kept;
}

// A registry in short: KEY/NAME="text" for REG_SZ that reads as text,
// KEY/NAME=TYPE:hex for everything else, [KEY] for a key without values.
std::string state(RegistryCopy& copy) {
    std::string out;
    for (const RegKeyDump& k : copy.dump("")) {
        if (k.values.empty()) out += "[" + k.key + "] ";
        for (const RegValue& v : k.values) {
            out += k.key + "/" + v.name + "=";
            const std::string text = utf16_to_utf8(reg_sz_text(v.data));
            if (v.type == kRegSz && reg_sz_bytes(text) == v.data) {
                out += "\"" + text + "\" ";
                continue;
            }
            char buf[16];
            std::snprintf(buf, sizeof buf, "%x:", v.type);
            out += buf;
            for (uint8_t b : v.data) {
                std::snprintf(buf, sizeof buf, "%02x", b);
                out += buf;
            }
            out += " ";
        }
    }
    return out;
}

struct Imported {
    bool ok;
    std::string state_or_error;
    std::vector<std::string> warnings;
};

// Imports as orva-controller does: change by change in one transaction.
Imported import(const std::string& bytes, const RegParseOptions& options) {
    std::string error;
    auto copy = RegistryCopy::create_in_memory(&error);
    EXPECT_TRUE(copy && copy->begin()) << error;
    std::vector<std::string> warnings;
    auto apply = [&](const RegChange& c) { return copy->apply_change(c); };
    if (!parse_reg_file(bytes, "f.reg", options, apply, &warnings, &error)) {
        copy->rollback();
        return {false, error, warnings};
    }
    EXPECT_TRUE(copy->commit());
    return {true, state(*copy), warnings};
}

const std::string H5 = "Windows Registry Editor Version 5.00\n";
const std::string H4 = "REGEDIT4\n";
const std::string K = "[HKEY_LOCAL_MACHINE\\T]\n";

TEST(RegFile, ImportsAsWindowsDoesAndRefusesWhatItWouldStoreWrong) {
    RegParseOptions none, strict, skip, utf8, utf16, ansi;
    strict.strict = true;
    skip.skip_bad_lines = true;
    utf8.encoding = RegEncoding::Utf8;
    utf16.encoding = RegEncoding::Utf16le;
    ansi.encoding = RegEncoding::Windows1252;
    struct Row {
        std::string text;
        Enc enc;
        RegParseOptions options;
        std::string expected;  // the state, or the start of the refusal
        std::vector<std::string> warnings = {};
    } rows[] = {
        // Encodings: told by the byte order mark, else UTF-8 when valid, else Windows-1252.
        {H4 + K + "\"Größe\"=\"Grüße 3°C\"\n", Enc::Ansi, none, "T/Größe=\"Grüße 3°C\" "},
        {"\xEF\xBB\xBF" + H5 + K + "\"ä\"=\"€\"\n", Enc::Utf8, none, "T/ä=\"€\" "},
        {H5 + K + "\"ä\"=\"€\"\n", Enc::Utf8, none, "T/ä=\"€\" "},
        {H5 + K + "\"ä\"=\"€ 𝄞\"\n", Enc::Utf16, none, "T/ä=\"€ 𝄞\" "},
        {H5 + K + "\"a\"=\"b\"\n", Enc::Utf16NoBom, utf16, "T/a=\"b\" "},
        {H5 + K + "\"a\"=\"b\"\n", Enc::Utf16NoBom, none, "f.reg:1: expected \"Windows Registry Editor Version 5.00\""},
        {H5 + K + "\"ä\"=\"b\"\n", Enc::Utf8, ansi, "T/Ã¤=\"b\" "},
        {H5 + K + "\"a\"=\"\xED\xA0\x80\"\n", Enc::Utf8, utf8, "f.reg:3: holds a byte that is not UTF-8 (0xED)"},
        {"\xFF\xFE" + encode(H5 + K, Enc::Utf16NoBom) + "\"\0a\0\"\0=\0\"\0\x00\xD8\"\0"s, Enc::Utf8, none,
         "f.reg:3: holds a lone UTF-16 surrogate (U+D800)"},
        // Headers: the first line, exactly.
        {" " + H4 + K + "\"a\"=dword:1\n", Enc::Utf8, none, "T/a=4:01000000 "},
        {"REGEDIT4 FOO\n" + K, Enc::Utf8, none, "f.reg:1: \"REGEDIT4 FOO\" is a header Windows imports nothing from"},
        {"\n" + H4 + K, Enc::Utf8, none, "f.reg:1: expected"},
        {"regedit4\n" + K, Enc::Utf8, none, "f.reg:1: expected"},
        // Comments and blanks where regedit allows them; CR, LF and CR LF line ends.
        {H5 + K + "\"a\"=dword:3c ; 60 seconds\n# hash\n  ; semicolon\n\"b\"=dword: 1\n\"c\"=\"x\";note\n", Enc::Utf8,
         none, "T/a=4:3c000000 T/b=4:01000000 T/c=\"x\" "},
        {"REGEDIT4\r[HKEY_LOCAL_MACHINE\\T]\r\n\t\"a\" = \"b\"  \r", Enc::Utf8, none, "T/a=\"b\" "},
        {H5 + K + "\"h\"=hex:01,02,\\;comment\n\n  ;comment\n  03,\\\n \t\n  04\n", Enc::Utf8, none, "T/h=3:01020304 "},
        {H5 + K + "\"h\"=hex:01,\\", Enc::Utf8, none, "T/h=3:01 "},
        {H5 + K + "\"a\"=\"x\" #c\n", Enc::Utf8, none, "f.reg:3: unexpected text after the string"},
        {H5 + K + "\"a\"=dword:1 #c\n", Enc::Utf8, none, "f.reg:3: dword: needs 1 to 8 hex digits"},
        {H5 + K + "\"h\"=hex:01,\\\n  #c\n  02\n", Enc::Utf8, none,
         "f.reg:4: hex data continued from line 3 meets a line that is not hex data"},
        // Escapes: \n and \r are read; an unknown one would lose its backslash.
        {H5 + K + "\"l\\nm\"=\"a\\r\\nb \\\"q\\\" \\\\\"\n", Enc::Utf8, none, "T/l\nm=\"a\r\nb \"q\" \\\" "},
        {H5 + K + "\"p\"=\"C:\\Windows\"\n", Enc::Utf8, none, "f.reg:3: unknown escape \\W"},
        {H5 + K + "\"p\"=\"a\\0\"\n", Enc::Utf8, none, "f.reg:3: \\0 is refused by Windows too"},
        // Roots: other roots' sections are skipped (refused with strict); short names are not roots.
        {H5 + "[HKEY_CURRENT_USER\\S]\n\"x\"=\"y\"\n" + K + "\"a\"=dword:1\n",
         Enc::Utf8,
         none,
         "T/a=4:01000000 ",
         {"f.reg:2: [HKEY_CURRENT_USER\\S] is not under HKEY_LOCAL_MACHINE; the section is skipped"}},
        {H5 + "[-HKEY_CLASSES_ROOT\\S]\n" + K, Enc::Utf8, strict,
         "f.reg:2: [-HKEY_CLASSES_ROOT\\S] is not under HKEY_LOCAL_MACHINE"},
        {H5 + "[HKLM\\T]\n", Enc::Utf8, none, "f.reg:2: unknown root \"HKLM\""},
        {H5 + "[ HKEY_LOCAL_MACHINE\\T]\n", Enc::Utf8, none, "f.reg:2: a key name cannot begin with a space"},
        {H5 + "[HKEY_LOCAL_MACHINE\\T ]\n[-HKEY_LOCAL_MACHINE\\U]\n", Enc::Utf8, none, "[T ] "},
        {H5 + "[-HKEY_LOCAL_MACHINE\\T]\n\"a\"=dword:1\n", Enc::Utf8, none,
         "f.reg:3: value under a key that is being deleted"},
        {H5 + "\"a\"=dword:1\n", Enc::Utf8, none, "f.reg:2: value outside of a key"},
        // Data: deletions, sizes, hex bytes of two digits, continuation only after a comma.
        {H5 + K + "\"a\"=dword:1\n\"a\"=  -\n\"b\"=-;c\n", Enc::Utf8, none, "[T] "},
        {H5 + K + "\"a\"=- #c\n", Enc::Utf8, none, "f.reg:3: unexpected text after '-'"},
        {H5 + K + "\"a\"=dword:123456789\n", Enc::Utf8, none, "f.reg:3: dword: needs 1 to 8 hex digits"},
        {H5 + K + "\"a\"=hex(ffffffff):01\n", Enc::Utf8, none, "T/a=ffffffff:01 "},
        {H5 + K + "\"a\"=hex(100000000):01\n", Enc::Utf8, none, "f.reg:3: bad hex(N): type"},
        {H5 + K + "\"a\"=hex:100\n", Enc::Utf8, none, "f.reg:3: a hex byte is two hex digits"},
        {H5 + K + "\"a\"=hex:1,02\n", Enc::Utf8, none, "f.reg:3: a hex byte is two hex digits"},
        {H5 + K + "\"a\"=hex:01,,02\n", Enc::Utf8, none, "f.reg:3: expected a hex byte"},
        {H5 + K + "\"h\"=hex:4c,6\\\n9\n", Enc::Utf8, none,
         "f.reg:3: hex data goes on to the next line only after a comma"},
        // hex(1), hex(2), hex(7) end in a NUL character; REGEDIT4 files give them as 8-bit text.
        {H5 + K + "\"e\"=hex(2):25,00\n\"m\"=hex(7):41,00,00,00\n\"s\"=hex(1):\n\"o\"=hex(1):41\n", Enc::Utf8, none,
         "T/e=2:25000000 T/m=7:41000000 T/o=1:41 T/s=1: "},
        {H4 + K + "\"e\"=hex(2):25,e4\n\"m\"=hex(7):41,00,42\n", Enc::Ansi, none,
         "T/e=2:2500e4000000 T/m=7:4100000042000000 "},
        // Names are one name by Unicode upper-casing, as in Windows.
        {H5 + K + "\"Ärger\"=dword:1\n\"äRGER\"=dword:2\n", Enc::Utf8, none, "T/Ärger=4:02000000 "},
        // Skipping what Windows skips, with a warning for each line.
        {H5 + K + "\"a\"=\"C:\\Windows\"\n\"b\"=hex:01,\\\n\"c\"=dword:1\n\"d\"=dword:2\nstray\n",
         Enc::Utf8,
         skip,
         "T/d=4:02000000 ",
         {"f.reg:3: unknown escape \\W", "f.reg:5: hex data continued from line 4 meets a line that is not hex data",
          "f.reg:7: not a key [...], a value \"NAME\"=DATA or a comment"}},
        {H5 + K + "\"b\"=hex:01,\\\n[HKEY_LOCAL_MACHINE\\U]\n\"c\"=dword:1\n",
         Enc::Utf8,
         skip,
         "[T] ",
         {"f.reg:4: hex data continued from line 3 meets a line that is not hex data (Windows drops the value and this "
          "key line"}},
    };
    for (const Row& row : rows) {
        const std::string bytes = encode(row.text, row.enc);
        const Imported got = import(bytes, row.options);
        const bool refusal = row.expected.rfind("f.reg:", 0) == 0;
        EXPECT_EQ(got.ok, !refusal) << row.text << " -> " << got.state_or_error;
        if (refusal)
            EXPECT_EQ(got.state_or_error.rfind(row.expected, 0), 0u) << row.text << " -> " << got.state_or_error;
        else EXPECT_EQ(got.state_or_error, row.expected) << row.text;
        ASSERT_EQ(got.warnings.size(), row.warnings.size()) << row.text;
        for (size_t i = 0; i < row.warnings.size(); ++i)
            EXPECT_EQ(got.warnings[i].rfind(row.warnings[i], 0), 0u) << got.warnings[i];
    }
}

TEST(RegFile, ExportsReadBackExactlyInBothEncodings) {
    std::vector<uint8_t> padded = reg_sz_bytes("\\Temp");
    padded.resize(200, 0);
    std::vector<uint8_t> big(300, 0xAB);
    // The controller's own addresses: REG_MULTI_SZ that another tool would widen.
    std::vector<uint8_t> ip = reg_sz_bytes("192.168.0.10");
    ip.insert(ip.end(), {0, 0});
    const std::vector<RegKeyDump> keys = {
        {"", {{"Top", kRegSz, reg_sz_bytes("x")}}},
        {"Comm\\FTPD",
         {{"DefaultDir", kRegSz, padded},
          {"Plain", kRegSz, reg_sz_bytes("a \"q\" \\ \xC3\xA9")},
          {"Größe", kRegSz, reg_sz_bytes("Grüße 3°C 𝄞")},
          {"Line", kRegSz, reg_sz_bytes("a\r\nb")},
          {"Name\nWith\rBreaks", kRegDword, {1, 0, 0, 0}},
          {"Odd", kRegSz, {0x41, 0, 0x42}},
          {"IpAddress", kRegMultiSz, ip},
          {"", kRegDword, {0x80, 2, 0, 0}},
          {"Short", kRegDword, {1, 2}},
          {"Big", kRegBinary, big},
          {"Empty", kRegBinary, {}},
          {"Weird", 0x1234, {9}}}},
    };
    const std::string utf8 = format_reg_text(keys);
    EXPECT_NE(utf8.find("\"Plain\"=\"a \\\"q\\\" \\\\ \xC3\xA9\""), std::string::npos) << utf8;
    EXPECT_NE(utf8.find("\"Name\\nWith\\rBreaks\"=dword:00000001"), std::string::npos) << utf8;
    for (size_t pos = 0, nl; (nl = utf8.find('\n', pos)) != std::string::npos; pos = nl + 1) EXPECT_LE(nl - pos, 80u);
    const std::string utf16 = utf16le_file_text(utf8);
    EXPECT_EQ(utf16.substr(0, 4), "\xFF\xFEW\0"s);
    EXPECT_EQ(utf16.substr(2 * kRegFileHeader.size() + 2, 6), "\r\0\n\0\r\0"s);
    for (const std::string& text : {utf8, utf16}) {
        std::string error;
        auto changes = parse_reg_text(text, "x.reg", &error);
        ASSERT_TRUE(changes) << error << "\n" << utf8;
        std::vector<RegValue> values;
        for (const RegChange& c : *changes)
            if (c.kind == RegChange::Kind::SetValue) values.push_back(c.value);
        std::vector<RegValue> expected = keys[0].values;
        expected.insert(expected.end(), keys[1].values.begin(), keys[1].values.end());
        ASSERT_EQ(values.size(), expected.size());
        for (size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(values[i].name, expected[i].name);
            EXPECT_EQ(values[i].type, expected[i].type) << expected[i].name;
            EXPECT_EQ(values[i].data, expected[i].data) << expected[i].name;
        }
    }
}

TEST(Text, Utf16RoundTripLatin1AndNameFolding) {
    const std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(utf8_to_utf16(s).size(), 5u);
    EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(s)), s);
    EXPECT_EQ(utf16_to_utf8(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(reg_sz_text({'h', 0, 'i', 0, 0, 0, 'x', 0}), u"hi");
    EXPECT_EQ(latin1_bytes("A\xC3\xBF"), std::string("A\xFF"));
    EXPECT_FALSE(latin1_bytes("\xE2\x82\xAC"));
    // Simple upper-casing of the Basic Multilingual Plane: ß and 𐐨 stay,
    // ı and ſ become I and S, titlecase ǅ becomes Ǆ; bytes that are not
    // UTF-8 are kept.
    EXPECT_EQ(name_fold("Drivers\\Ärger ßÿıſǅ ω𐐨\xFF"), "DRIVERS\\ÄRGER ßŸISǄ Ω𐐨\xFF");
    EXPECT_TRUE(name_iequal("Größe", "GRÖßE"));
    EXPECT_EQ(parse_encoding_name("CP1252"), RegEncoding::Windows1252);
    EXPECT_FALSE(parse_encoding_name("latin-9"));
}

}  // namespace
}  // namespace orva::sim
