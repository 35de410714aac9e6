// One registry copy: Windows name semantics, exact value bytes, all-or-nothing
// changes, names that hold a NUL, and the checksum that finds content changed
// behind the program's back.
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "simulator/registry_copy.h"
#include "simulator/text.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

using namespace std::string_literals;

class Copy : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(RegistryCopy::create(file, {}, true, "", &error)) << error;
        copy = RegistryCopy::open(file, &error);
        ASSERT_TRUE(copy) << error;
        ASSERT_EQ(copy->make_key("Drivers\\Display\\MQ200"), RegResult::Ok);
    }
    RegResult set_dword(const std::string& key, const std::string& name, uint32_t v) {
        uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 24)};
        return copy->set(key, name, kRegDword, b, 4);
    }
    // Runs SQL on the file with a connection of its own, as another program would.
    void sql(const std::string& text) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    test::TempDir dir;
    std::filesystem::path file = dir / "c.db";
    std::unique_ptr<RegistryCopy> copy;
};

TEST_F(Copy, NamesAreCaseInsensitiveAndKeepTheirSpelling) {
    EXPECT_TRUE(copy->key_exists("drivers\\DISPLAY\\mq200"));
    EXPECT_TRUE(copy->key_exists("\\Drivers\\\\Display\\"));
    EXPECT_TRUE(copy->key_exists("Drivers"));
    ASSERT_EQ(set_dword("Drivers\\Display\\MQ200", "CxScreen", 640), RegResult::Ok);
    ASSERT_EQ(set_dword("DRIVERS\\display\\mq200", "CXSCREEN", 800), RegResult::Ok);
    RegValue v;
    ASSERT_EQ(copy->get("drivers\\display\\MQ200", "cxscreen", &v), RegResult::Ok);
    EXPECT_EQ(v.name, "CxScreen");
    EXPECT_EQ(v.data, (std::vector<uint8_t>{0x20, 3, 0, 0}));
    auto dump = copy->dump("drivers");
    ASSERT_EQ(dump.size(), 3u);
    EXPECT_EQ(dump[2].key, "Drivers\\Display\\MQ200");
    EXPECT_EQ(dump[2].values.size(), 1u);
    // Beyond ASCII too, as Windows compares names.
    ASSERT_EQ(copy->make_key("Drivers\\Äpfel"), RegResult::Ok);
    ASSERT_EQ(set_dword("drivers\\äPFEL", "Ärger", 1), RegResult::Ok);
    ASSERT_EQ(set_dword("DRIVERS\\ÄPFEL", "äRGER", 2), RegResult::Ok);
    ASSERT_EQ(copy->get("Drivers\\äpfel", "ÄRGER", &v), RegResult::Ok);
    EXPECT_EQ(v.name, "Ärger");
    EXPECT_EQ(v.data[0], 2);
}

// A copy of an earlier version, whose names were found by ASCII case only,
// as that version wrote it: converted once when it is opened. Of two values
// that are one now, the first made stays and the other is set aside in a
// .reg file; the checksum holds before and after.
TEST_F(Copy, AnEarlierCopyIsConvertedAndWhatItMergesIsKeptAside) {
    copy.reset();
    std::filesystem::remove(file);
    sql(R"(CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);
INSERT INTO meta VALUES('format','orva-registry-copy 1');
INSERT INTO meta VALUES('valid','1');
INSERT INTO meta VALUES('source','');
INSERT INTO meta VALUES('checksum','7a930a6ec23947c6');
CREATE TABLE keys(fold TEXT PRIMARY KEY, path TEXT NOT NULL);
INSERT INTO keys VALUES('','');
INSERT INTO keys VALUES('Äpfel','Äpfel');
INSERT INTO keys VALUES('äpfel','äpfel');
INSERT INTO keys VALUES('äpfel\sub','äpfel\Sub');
CREATE TABLE vals(key_fold TEXT NOT NULL, fold TEXT NOT NULL, name TEXT NOT NULL, type INTEGER NOT NULL,
 data BLOB NOT NULL, PRIMARY KEY(key_fold, fold));
INSERT INTO vals VALUES('Äpfel','Ärger','Ärger',4,X'01000000');
INSERT INTO vals VALUES('Äpfel','ärger','ärger',4,X'02000000');
INSERT INTO vals VALUES('äpfel','wert','Wert',1,X'61000000');
INSERT INTO vals VALUES('Äpfel','wert','wert',1,X'62000000');
INSERT INTO vals VALUES('äpfel\sub','size','Size',4,X'07000000');)");
    std::string error, notice;
    copy = RegistryCopy::open(file, &error, nullptr, &notice);
    ASSERT_TRUE(copy) << error;
    const std::string aside = file.string() + ".case-merged.reg";
    EXPECT_NE(notice.find("2 values that another one of the same name replaced are kept in " + aside),
              std::string::npos)
        << notice;
    RegValue v;
    ASSERT_EQ(copy->get("ÄPFEL", "ärger", &v), RegResult::Ok);
    EXPECT_EQ(v.data[0], 1);
    ASSERT_EQ(copy->get("äpfel", "WERT", &v), RegResult::Ok);
    EXPECT_EQ(v.data[0], 'a');
    EXPECT_EQ(copy->get("Äpfel\\SUB", "size", nullptr), RegResult::Ok);
    std::ifstream in(aside);
    std::stringstream kept;
    kept << in.rdbuf();
    EXPECT_EQ(kept.str(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Äpfel]\n"
              "\"ärger\"=dword:00000002\n\"wert\"=\"b\"\n\n");
    copy.reset();
    copy = RegistryCopy::open(file, &error, nullptr, &notice);
    ASSERT_TRUE(copy) << error;
    EXPECT_EQ(notice, "");
}

TEST_F(Copy, ValuesKeepExactTypeAndSizeAndMissingThingsAreReported) {
    std::vector<uint8_t> sz = reg_sz_bytes("\\Temp");
    sz.resize(200, 0);
    ASSERT_EQ(copy->set("Drivers", "Dir", kRegSz, sz.data(), sz.size()), RegResult::Ok);
    ASSERT_EQ(copy->set("Drivers", "Nothing", kRegBinary, nullptr, 0), RegResult::Ok);
    RegValue v;
    ASSERT_EQ(copy->get("Drivers", "Dir", &v), RegResult::Ok);
    EXPECT_EQ(v.type, kRegSz);
    EXPECT_EQ(v.data, sz);
    ASSERT_EQ(copy->get("Drivers", "Nothing", &v), RegResult::Ok);
    EXPECT_TRUE(v.data.empty());
    v.name = "untouched";
    EXPECT_EQ(copy->get("Drivers", "Absent", &v), RegResult::NoValue);
    EXPECT_EQ(copy->get("Nowhere", "Dir", &v), RegResult::NoKey);
    EXPECT_EQ(v.name, "untouched");
    EXPECT_EQ(set_dword("Comm\\FTPD", "X", 1), RegResult::NoKey);
    EXPECT_FALSE(copy->key_exists("Comm"));
    EXPECT_EQ(copy->delete_value("Drivers", "Absent"), RegResult::NoValue);
    EXPECT_EQ(copy->delete_value("Nowhere", "Absent"), RegResult::NoKey);
    EXPECT_EQ(copy->delete_value("Drivers", "DIR"), RegResult::Ok);
    EXPECT_EQ(copy->get("Drivers", "Dir", &v), RegResult::NoValue);
}

// Key names that sort next to "KEY\" (bytes just below and above the
// backslash) are neighbours, not children.
TEST_F(Copy, DeleteKeyRemovesOnlyItsSubtree) {
    for (const char* key :
         {"Drivers\\DisplayX", "Drivers\\Display[", "Drivers\\Display]", "Drivers\\Display\\MQ200\\Deep"})
        ASSERT_EQ(copy->make_key(key), RegResult::Ok) << key;
    ASSERT_EQ(set_dword("Drivers\\Display\\MQ200", "Bpp", 16), RegResult::Ok);
    ASSERT_EQ(set_dword("Drivers\\Display]", "Keep", 1), RegResult::Ok);
    EXPECT_EQ(copy->delete_key("drivers\\display"), RegResult::Ok);
    EXPECT_FALSE(copy->key_exists("Drivers\\Display\\MQ200"));
    EXPECT_FALSE(copy->key_exists("Drivers\\Display\\MQ200\\Deep"));
    for (const char* key : {"Drivers\\DisplayX", "Drivers\\Display[", "Drivers\\Display]"})
        EXPECT_TRUE(copy->key_exists(key)) << key;
    EXPECT_EQ(copy->get("Drivers\\Display]", "Keep", nullptr), RegResult::Ok);
    EXPECT_EQ(copy->delete_key("Drivers\\Display"), RegResult::NoKey);
    EXPECT_EQ(copy->delete_key(""), RegResult::Denied);
    EXPECT_EQ(copy->dump("Drivers").size(), 4u);
}

TEST_F(Copy, NamesHoldingNulAreRefusedEverywhere) {
    const std::string key = "Drivers\\A\0B"s, name = "Cx\0Screen"s;
    const uint8_t b[4] = {1, 0, 0, 0};
    struct Row {
        const char* what;
        RegResult result;
        const char* message;
    } rows[] = {
        {"make_key", copy->make_key(key), "key name"},
        {"set (key)", copy->set(key, "X", kRegDword, b, 4), "key name"},
        {"set (value)", copy->set("Drivers", name, kRegDword, b, 4), "value name"},
        {"get", copy->get("Drivers", name, nullptr), "value name"},
        {"delete_value", copy->delete_value("Drivers", name), "value name"},
        {"delete_key", copy->delete_key("Drivers\0"s), "key name"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.result, RegResult::BadName) << row.what;
    EXPECT_FALSE(copy->key_exists(key));
    EXPECT_FALSE(copy->apply({{RegChange::Kind::CreateKey, key, {}}}));
    EXPECT_NE(copy->last_error().find("a key name cannot hold a NUL character"), std::string::npos)
        << copy->last_error();
    EXPECT_EQ(copy->dump("").size(), 3u);  // Drivers\Display\MQ200 and its parents only
}

// A name that an older version let in is carried over by a copy, and deleting
// its parent takes it along (the old queries measured names up to the NUL).
TEST_F(Copy, OldNamesWithNulAreCopiedAndDeletedWithTheirParent) {
    const std::vector<RegKeyDump> keys = {
        {"A\0B"s, {{"v", kRegDword, {1, 0, 0, 0}}}}, {"A\0B\\Child"s, {}}, {"A"s, {}}};
    ASSERT_TRUE(copy->assign(keys));
    EXPECT_EQ(copy->dump("").size(), 3u);
    EXPECT_EQ(copy->dump("A").size(), 1u);
    ASSERT_TRUE(copy->apply({{RegChange::Kind::DeleteKey, "A", {}}}));
    auto left = copy->dump("");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].key, "A\0B"s);
    EXPECT_EQ(left[1].key, "A\0B\\Child"s);
}

TEST_F(Copy, ApplyAndAssignAreAllOrNothing) {
    RegChange make{RegChange::Kind::CreateKey, "New\\Key", {}};
    RegChange good{RegChange::Kind::SetValue, "New\\Key", {"A", kRegDword, {1, 0, 0, 0}}};
    RegChange bad{RegChange::Kind::SetValue, "Missing", {"B", kRegDword, {1, 0, 0, 0}}};
    EXPECT_FALSE(copy->apply({make, good, bad}));
    EXPECT_FALSE(copy->key_exists("New"));
    EXPECT_TRUE(copy->apply({make, good}));
    EXPECT_EQ(copy->get("new\\key", "a", nullptr), RegResult::Ok);

    ASSERT_TRUE(copy->assign({{"Only", {{"x", kRegSz, reg_sz_bytes("y")}}}}));
    auto all = copy->dump("");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].key, "Only");
    // Nested in an outer transaction that is rolled back, nothing stays.
    ASSERT_TRUE(copy->begin());
    EXPECT_EQ(copy->make_key("Nested"), RegResult::Ok);
    EXPECT_TRUE(copy->key_exists("Nested"));
    copy->rollback();
    EXPECT_FALSE(copy->key_exists("Nested"));
    copy.reset();
    std::string error;
    EXPECT_TRUE(RegistryCopy::open(file, &error)) << error;
}

TEST_F(Copy, OpenFindsContentChangedBehindItsBack) {
    ASSERT_EQ(set_dword("Drivers", "A", 1), RegResult::Ok);
    copy.reset();
    struct Row {
        const char* what;
        const char* sql;
        const char* expected;
    } rows[] = {
        {"a value's data", "UPDATE vals SET data=x'02000000'", "does not match its checksum"},
        {"a value's type", "UPDATE vals SET type=3", "does not match its checksum"},
        {"a key's spelling", "UPDATE keys SET path='DRIVERS' WHERE fold='DRIVERS'", "does not match its checksum"},
        {"a new key", "INSERT INTO keys VALUES('x','x')", "does not match its checksum"},
        {"the valid flag", "UPDATE meta SET value='0' WHERE name='valid'", "does not match its checksum"},
        {"the checksum", "UPDATE meta SET value='0000000000000000' WHERE name='checksum'",
         "does not match its checksum"},
        {"the format", "UPDATE meta SET value='other' WHERE name='format'", "not a registry copy of this controller"},
    };
    const std::string pristine = dir / "pristine.db";
    std::filesystem::copy_file(file, pristine);
    for (const Row& row : rows) {
        std::filesystem::copy_file(pristine, file, std::filesystem::copy_options::overwrite_existing);
        sql(row.sql);
        std::string error;
        EXPECT_FALSE(RegistryCopy::open(file, &error)) << row.what;
        EXPECT_NE(error.find(row.expected), std::string::npos) << row.what << ": " << error;
        EXPECT_EQ(error.rfind(file.string() + ": ", 0), 0u) << error;
    }
    std::filesystem::copy_file(pristine, file, std::filesystem::copy_options::overwrite_existing);
    std::string error;
    EXPECT_TRUE(RegistryCopy::open(file, &error)) << error;
}

// Every single-bit flip of the file is either refused when it is opened or
// leaves the content exactly as it was (bits SQLite does not use).
TEST_F(Copy, BitFlipsNeverChangeContentSilently) {
    std::vector<uint8_t> big(700, 0x5A);
    ASSERT_EQ(copy->set("Drivers\\Display\\MQ200", "Big", kRegBinary, big.data(), big.size()), RegResult::Ok);
    ASSERT_EQ(set_dword("Drivers\\Display\\MQ200", "CxScreen", 640), RegResult::Ok);
    const auto before = format_reg_text(copy->dump(""));
    copy.reset();
    std::ifstream in(file, std::ios::binary);
    const std::string pristine((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(pristine.size(), 0u);
    std::mt19937 rng(7);
    int refused = 0, same = 0;
    for (int i = 0; i < 300; ++i) {
        std::string bytes = pristine;
        const size_t at = std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(rng);
        bytes[at] = static_cast<char>(bytes[at] ^ (1 << std::uniform_int_distribution<int>(0, 7)(rng)));
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        std::string error;
        auto c = RegistryCopy::open(file, &error);
        if (!c) {
            ++refused;
            continue;
        }
        ++same;
        EXPECT_EQ(format_reg_text(c->dump("")), before) << "byte " << at;
    }
    EXPECT_GT(refused, 0);
    EXPECT_EQ(refused + same, 300);
}

TEST(CopyOpen, RefusesMissingForeignAndDamagedFiles) {
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(RegistryCopy::open(dir / "none.db", &error));
    EXPECT_EQ(error, (dir / "none.db").string() + ": missing");
    std::ofstream(dir / "junk.db") << std::string(5000, 'x');
    EXPECT_FALSE(RegistryCopy::open(dir / "junk.db", &error));
    EXPECT_NE(error.find("junk.db: not a registry copy"), std::string::npos) << error;
    EXPECT_FALSE(RegistryCopy::open(dir.path(), &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    sqlite3* db = nullptr;
    sqlite3_open((dir / "other.db").c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_FALSE(RegistryCopy::open(dir / "other.db", &error));
    EXPECT_NE(error.find("not a registry copy of this controller"), std::string::npos) << error;
}

// Another process (here: another connection) in the middle of a write:
// readers see the old data, and a second writer waits for it instead of failing.
TEST_F(Copy, WaitsForAnotherWriterAndNeverSeesItHalfDone) {
    ASSERT_EQ(set_dword("Drivers", "A", 1), RegResult::Ok);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE vals SET data=x'02000000' WHERE fold='A'", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    RegValue v;
    ASSERT_EQ(copy->get("Drivers", "A", &v), RegResult::Ok);
    EXPECT_EQ(v.data[0], 1);
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(set_dword("Drivers", "B", 3), RegResult::Ok);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    committer.join();
    sqlite3_close(other);
    ASSERT_EQ(copy->get("Drivers", "A", &v), RegResult::Ok);
    EXPECT_EQ(v.data[0], 2);
}

}  // namespace
}  // namespace orva::sim
