// The registry database: Windows name semantics, exact value bytes, the
// all-or-nothing flush and import, and a flush that is killed part way.
#include <chrono>
#include <random>
#include <thread>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "simulator/registry_store.h"
#include "simulator/text.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

class Store : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        store = RegistryStore::open(dir / "r.db", true, &error);
        ASSERT_TRUE(store) << error;
        ASSERT_EQ(store->make_key(Hive::Live, "Drivers\\Display\\MQ200"), RegResult::Ok);
    }
    RegResult set_dword(Hive h, const char* key, const char* name, uint32_t v) {
        uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 24)};
        return store->set(h, key, name, kRegDword, b, 4);
    }
    test::TempDir dir;
    std::unique_ptr<RegistryStore> store;
};

TEST_F(Store, NamesAreCaseInsensitiveAndKeepTheirSpelling) {
    EXPECT_TRUE(store->key_exists(Hive::Live, "drivers\\DISPLAY\\mq200"));
    EXPECT_TRUE(store->key_exists(Hive::Live, "\\Drivers\\\\Display\\"));
    EXPECT_TRUE(store->key_exists(Hive::Live, "Drivers"));
    EXPECT_FALSE(store->key_exists(Hive::Saved, "Drivers"));
    ASSERT_EQ(set_dword(Hive::Live, "Drivers\\Display\\MQ200", "CxScreen", 640), RegResult::Ok);
    ASSERT_EQ(set_dword(Hive::Live, "DRIVERS\\display\\mq200", "CXSCREEN", 800), RegResult::Ok);
    RegValue v;
    ASSERT_EQ(store->get(Hive::Live, "drivers\\display\\MQ200", "cxscreen", &v), RegResult::Ok);
    EXPECT_EQ(v.name, "CxScreen");
    EXPECT_EQ(v.data, (std::vector<uint8_t>{0x20, 3, 0, 0}));
    auto dump = store->dump(Hive::Live, "drivers");
    ASSERT_EQ(dump.size(), 3u);
    EXPECT_EQ(dump[2].key, "Drivers\\Display\\MQ200");
    EXPECT_EQ(dump[2].values.size(), 1u);
}

TEST_F(Store, ValuesKeepExactTypeAndSizeAndMissingThingsAreReported) {
    std::vector<uint8_t> sz = reg_sz_bytes("\\Temp");
    sz.resize(200, 0);
    ASSERT_EQ(store->set(Hive::Live, "Drivers", "Dir", kRegSz, sz.data(), sz.size()), RegResult::Ok);
    ASSERT_EQ(store->set(Hive::Live, "Drivers", "Nothing", kRegBinary, nullptr, 0), RegResult::Ok);
    RegValue v;
    ASSERT_EQ(store->get(Hive::Live, "Drivers", "Dir", &v), RegResult::Ok);
    EXPECT_EQ(v.type, kRegSz);
    EXPECT_EQ(v.data, sz);
    ASSERT_EQ(store->get(Hive::Live, "Drivers", "Nothing", &v), RegResult::Ok);
    EXPECT_TRUE(v.data.empty());
    v.name = "untouched";
    EXPECT_EQ(store->get(Hive::Live, "Drivers", "Absent", &v), RegResult::NoValue);
    EXPECT_EQ(store->get(Hive::Live, "Nowhere", "Dir", &v), RegResult::NoKey);
    EXPECT_EQ(v.name, "untouched");
    EXPECT_EQ(set_dword(Hive::Live, "Comm\\FTPD", "X", 1), RegResult::NoKey);
    EXPECT_FALSE(store->key_exists(Hive::Live, "Comm"));
    EXPECT_EQ(store->delete_value(Hive::Live, "Drivers", "Absent"), RegResult::NoValue);
    EXPECT_EQ(store->delete_value(Hive::Live, "Drivers", "DIR"), RegResult::Ok);
    EXPECT_EQ(store->get(Hive::Live, "Drivers", "Dir", &v), RegResult::NoValue);
}

TEST_F(Store, DeleteKeyRemovesOnlyItsSubtree) {
    ASSERT_EQ(store->make_key(Hive::Live, "Drivers\\DisplayX"), RegResult::Ok);
    ASSERT_EQ(set_dword(Hive::Live, "Drivers\\Display\\MQ200", "Bpp", 16), RegResult::Ok);
    EXPECT_EQ(store->delete_key(Hive::Live, "drivers\\display"), RegResult::Ok);
    EXPECT_FALSE(store->key_exists(Hive::Live, "Drivers\\Display\\MQ200"));
    EXPECT_TRUE(store->key_exists(Hive::Live, "Drivers\\DisplayX"));
    EXPECT_EQ(store->delete_key(Hive::Live, "Drivers\\Display"), RegResult::NoKey);
    EXPECT_EQ(store->delete_key(Hive::Live, ""), RegResult::Denied);
}

TEST_F(Store, CopyReplacesTheWholeHiveAndApplyIsAllOrNothing) {
    ASSERT_EQ(set_dword(Hive::Live, "Drivers\\Display\\MQ200", "Bpp", 16), RegResult::Ok);
    ASSERT_EQ(store->make_key(Hive::Saved, "Stale"), RegResult::Ok);
    store->set_saved_valid(false);
    ASSERT_TRUE(store->copy(Hive::Live, Hive::Saved));
    EXPECT_TRUE(store->saved_valid());
    EXPECT_FALSE(store->key_exists(Hive::Saved, "Stale"));
    RegValue v;
    EXPECT_EQ(store->get(Hive::Saved, "Drivers\\Display\\MQ200", "Bpp", &v), RegResult::Ok);

    RegChange make{RegChange::Kind::CreateKey, "New\\Key", {}};
    RegChange good{RegChange::Kind::SetValue, "New\\Key", {"A", kRegDword, {1, 0, 0, 0}}};
    RegChange bad{RegChange::Kind::SetValue, "Missing", {"B", kRegDword, {1, 0, 0, 0}}};
    EXPECT_FALSE(store->apply(Hive::Live, {make, good, bad}));
    EXPECT_FALSE(store->key_exists(Hive::Live, "New"));
    EXPECT_TRUE(store->apply(Hive::Live, {make, good}));
    EXPECT_EQ(store->get(Hive::Live, "new\\key", "a", &v), RegResult::Ok);
}

TEST(StoreOpen, RejectsMissingForeignAndDamagedFiles) {
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(RegistryStore::open(dir / "none.db", false, &error));
    EXPECT_NE(error.find("none.db"), std::string::npos);
    {
        FILE* f = std::fopen((dir / "junk.db").c_str(), "w");
        std::fputs("this is not a database, not at all, it is text of some length\n", f);
        std::fclose(f);
    }
    EXPECT_FALSE(RegistryStore::open(dir / "junk.db", false, &error));
    EXPECT_NE(error.find("junk.db"), std::string::npos) << error;
    sqlite3* db = nullptr;
    sqlite3_open((dir / "other.db").c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_FALSE(RegistryStore::open(dir / "other.db", false, &error));
    EXPECT_NE(error.find("not a registry database"), std::string::npos) << error;
}

// Another process (here: another connection) in the middle of a write:
// readers see the old data, and a second writer waits for it instead of failing.
TEST_F(Store, WaitsForAnotherWriterAndNeverSeesItHalfDone) {
    ASSERT_EQ(set_dword(Hive::Live, "Drivers", "A", 1), RegResult::Ok);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "r.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE vals SET data=x'02000000' WHERE fold='a'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    RegValue v;
    ASSERT_EQ(store->get(Hive::Live, "Drivers", "A", &v), RegResult::Ok);
    EXPECT_EQ(v.data[0], 1);
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(set_dword(Hive::Live, "Drivers", "B", 3), RegResult::Ok);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    committer.join();
    sqlite3_close(other);
    ASSERT_EQ(store->get(Hive::Live, "Drivers", "A", &v), RegResult::Ok);
    EXPECT_EQ(v.data[0], 2);
}

// The live hive holds kValues values all carrying one generation number; a
// flush copies them. Whatever moment the flushing process dies, the saved
// hive must hold one generation in full.
TEST(StoreFlush, SurvivesSigkillAtRandomPoints) {
    constexpr int kValues = 300;
    constexpr int kKills = 60;
    test::TempDir dir;
    const auto file = dir / "r.db";
    std::string error;
    {
        auto store = RegistryStore::open(file, true, &error);
        ASSERT_TRUE(store) << error;
        ASSERT_EQ(store->make_key(Hive::Live, "Gen"), RegResult::Ok);
    }
    std::mt19937 rng(12345);
    int saw_new = 0;
    for (int kill_no = 0; kill_no < kKills; ++kill_no) {
        int done_pipe[2];
        ASSERT_EQ(pipe(done_pipe), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(done_pipe[0]);
            auto store = RegistryStore::open(file, false, nullptr);
            if (!store) _exit(2);
            for (uint32_t gen = static_cast<uint32_t>(kill_no) * 1000;; ++gen) {
                std::vector<RegChange> changes;
                for (int i = 0; i < kValues; ++i) {
                    uint8_t b[4] = {static_cast<uint8_t>(gen), static_cast<uint8_t>(gen >> 8), static_cast<uint8_t>(gen >> 16), 0};
                    changes.push_back({RegChange::Kind::SetValue, "Gen", {"v" + std::to_string(i), kRegDword, {b, b + 4}}});
                }
                store->apply(Hive::Live, changes);
                if (store->copy(Hive::Live, Hive::Saved) && gen == static_cast<uint32_t>(kill_no) * 1000)
                    (void)!::write(done_pipe[1], "x", 1);
            }
        }
        ::close(done_pipe[1]);
        // Every other child is first let finish one flush, so that kills also
        // land in the middle of later flushes however slow the machine is.
        char byte;
        if (kill_no % 2) {
            ASSERT_EQ(::read(done_pipe[0], &byte, 1), 1);
        }
        ::close(done_pipe[0]);
        usleep(std::uniform_int_distribution<int>(0, 25000)(rng));
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own: " << status;

        auto store = RegistryStore::open(file, false, &error);  // also runs the integrity check
        ASSERT_TRUE(store) << error;
        auto dump = store->dump(Hive::Saved, "Gen");
        if (dump.empty()) continue;  // killed before the first flush ever finished
        ASSERT_EQ(dump.size(), 1u);
        ASSERT_EQ(dump[0].values.size(), static_cast<size_t>(kValues)) << "torn flush after kill " << kill_no;
        for (const RegValue& v : dump[0].values) ASSERT_EQ(v.data, dump[0].values[0].data) << "torn flush after kill " << kill_no;
        const auto& d = dump[0].values[0].data;
        saw_new += static_cast<int>((d[0] | (d[1] << 8) | (d[2] << 16)) / 1000) == kill_no;
    }
    EXPECT_GT(saw_new, 0);
}

}  // namespace
}  // namespace orva::sim
