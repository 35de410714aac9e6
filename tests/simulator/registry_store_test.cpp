// The three registry copies of a controller directory: one damaged file takes
// only its own copy, restores, the factory copy in step with factory.reg, the
// conversion of an older registry.db, and a flush that is killed part way.
#include <fstream>
#include <random>
#include <sstream>

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "simulator/factory.h"
#include "simulator/registry_store.h"
#include "simulator/text.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

std::vector<uint8_t> dword(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// A directory with factory.reg and three copies loaded from it.
class Store : public ::testing::Test {
protected:
    void SetUp() override {
        write_file(dir / kFactoryFile, factory_registry_text());
        std::string error;
        store = RegistryStore::open(dir.path(), true, &error);
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->problems().empty()) << store->problems()[0];
        ASSERT_TRUE(store->copy(Hive::Factory, Hive::Live));
        ASSERT_TRUE(store->copy(Hive::Factory, Hive::Saved));
    }
    std::unique_ptr<RegistryStore> reopen() {
        store.reset();
        std::string error;
        auto s = RegistryStore::open(dir.path(), false, &error);
        EXPECT_TRUE(s) << error;
        return s;
    }
    uint32_t cx(Hive h) {
        RegValue v;
        if (store->get(h, "Drivers\\Display\\MQ200", "CxScreen", &v) != RegResult::Ok || v.data.size() != 4) return 0;
        return v.data[0] | (v.data[1] << 8);
    }
    test::TempDir dir;
    std::unique_ptr<RegistryStore> store;
};

TEST_F(Store, EachCopyIsAFileOfItsOwn) {
    ASSERT_EQ(store->set(Hive::Live, "Drivers\\Display\\MQ200", "CxScreen", kRegDword, dword(800).data(), 4),
              RegResult::Ok);
    EXPECT_EQ(cx(Hive::Live), 800u);
    EXPECT_EQ(cx(Hive::Saved), 640u);
    ASSERT_TRUE(store->copy(Hive::Live, Hive::Saved));
    EXPECT_EQ(cx(Hive::Saved), 800u);
    EXPECT_EQ(cx(Hive::Factory), 640u);
    for (const char* name : {kLiveCopyFile, kSavedCopyFile, kFactoryCopyFile})
        EXPECT_TRUE(fs::is_regular_file(dir / name)) << name;
    EXPECT_FALSE(fs::exists(dir / kOldRegistryFile));
    // The controller's identifier, which the copies record: a lost
    // controller.id is made again from them.
    const std::string id = read_file(dir / kControllerIdFile);
    ASSERT_EQ(id, store->controller_id() + "\n");
    fs::remove(dir / kControllerIdFile);
    store = reopen();
    EXPECT_TRUE(store->problems().empty()) << store->problems()[0];
    EXPECT_EQ(read_file(dir / kControllerIdFile), id);
}

// Each copy damaged in turn, in five ways: the others stay usable, the
// damaged one is named with its file and refuses every use. A copy of
// another controller and a symbolic link (here to a sound copy of this
// controller) are refused as damage is.
TEST_F(Store, ADamagedCopyIsReportedAndTheOthersStayUsable) {
    store.reset();
    const std::string factory_reg = read_file(dir / kFactoryFile);
    struct Damage {
        const char* what;
        void (*apply)(const fs::path&);
    } damages[] = {
        {"changed content",
         [](const fs::path& f) {
             sqlite3* db = nullptr;
             sqlite3_open(f.c_str(), &db);
             sqlite3_exec(db, "UPDATE vals SET data=x'00050000' WHERE fold='CXSCREEN'", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         }},
        {"garbage", [](const fs::path& f) { write_file(f, std::string(8192, '\x42')); }},
        {"missing", [](const fs::path& f) { fs::remove(f); }},
        {"another controller's",
         [](const fs::path& f) {
             const fs::path other = f.parent_path() / "other";
             fs::create_directories(other);
             ASSERT_TRUE(RegistryStore::open(other, true, nullptr));
             fs::copy_file(other / f.filename(), f, fs::copy_options::overwrite_existing);
         }},
        {"symbolic link",
         [](const fs::path& f) {
             fs::rename(f, f.string() + ".linked");
             fs::create_symlink(f.filename().string() + ".linked", f);
         }},
    };
    for (const Damage& d : damages) {
        for (Hive h : {Hive::Live, Hive::Saved, Hive::Factory}) {
            SCOPED_TRACE(std::string(d.what) + " in " + copy_name(h));
            const fs::path pristine = dir / "pristine";
            fs::create_directories(pristine);
            for (const char* name : {kLiveCopyFile, kSavedCopyFile, kFactoryCopyFile})
                if (!fs::exists(pristine / name)) fs::copy_file(dir / name, pristine / name);
            d.apply(dir / copy_file_name(h));
            std::string error;
            auto s = RegistryStore::open(dir.path(), false, &error);
            ASSERT_TRUE(s) << error;
            ASSERT_EQ(s->problems().size(), 1u);
            const std::string& p = s->problems()[0];
            EXPECT_NE(p.find(std::string("the ") + copy_name(h)), std::string::npos) << p;
            EXPECT_NE(p.find((dir / copy_file_name(h)).string()), std::string::npos) << p;
            for (Hive other : {Hive::Live, Hive::Saved, Hive::Factory}) {
                if (other == h) continue;
                RegValue v;
                EXPECT_EQ(s->get(other, "Drivers\\Display\\MQ200", "CxScreen", &v), RegResult::Ok) << copy_name(other);
            }
            if (h == Hive::Factory) {
                // The factory copy is rebuilt from factory.reg at once.
                EXPECT_NE(p.find("rebuilt from factory.reg"), std::string::npos) << p;
                EXPECT_TRUE(s->usable(h));
                EXPECT_EQ(read_file(dir / kFactoryFile), factory_reg);
            } else {
                EXPECT_FALSE(s->usable(h));
                EXPECT_EQ(s->get(h, "Drivers\\Display\\MQ200", "CxScreen", nullptr), RegResult::IoError);
                EXPECT_NE(s->last_error().find(copy_file_name(h)), std::string::npos) << s->last_error();
                EXPECT_EQ(s->make_key(h, "X"), RegResult::IoError);
                EXPECT_FALSE(s->key_exists(h, "Drivers"));
                EXPECT_TRUE(s->dump(h, "").empty());
                EXPECT_FALSE(s->copy(h, Hive::Live == h ? Hive::Saved : Hive::Live));
                // Restoring writes it anew; it is then checked like any other.
                ASSERT_TRUE(s->copy(Hive::Factory, h)) << s->last_error();
                EXPECT_TRUE(s->usable(h));
                EXPECT_EQ(s->make_key(h, "X"), RegResult::Ok);
                s.reset();
                s = RegistryStore::open(dir.path(), false, &error);
                ASSERT_TRUE(s) << error;
                EXPECT_TRUE(s->problems().empty()) << s->problems()[0];
            }
            s.reset();
            for (const char* name : {kLiveCopyFile, kSavedCopyFile, kFactoryCopyFile})
                fs::copy_file(pristine / name, dir / name, fs::copy_options::overwrite_existing);
        }
    }
}

TEST_F(Store, ErasingMarksTheSavedCopyInvalidAndWritesADamagedOneAnew) {
    EXPECT_TRUE(store->saved_valid());
    ASSERT_TRUE(store->invalidate_saved());
    EXPECT_FALSE(store->saved_valid());
    EXPECT_EQ(cx(Hive::Saved), 640u);  // the content stays; the restart ignores it
    ASSERT_TRUE(store->copy(Hive::Live, Hive::Saved));
    EXPECT_TRUE(store->saved_valid());
    store.reset();
    write_file(dir / kSavedCopyFile, "not a database at all");
    store = reopen();
    EXPECT_FALSE(store->saved_valid());
    ASSERT_TRUE(store->invalidate_saved());
    EXPECT_TRUE(store->usable(Hive::Saved));
    EXPECT_FALSE(store->saved_valid());
    EXPECT_TRUE(store->dump(Hive::Saved, "").empty());
}

// A change to the factory copy that cannot be written to factory.reg is not
// made at all, and a change is never made to one without the other.
TEST_F(Store, FactoryChangeIsInBothOrInNeither) {
    const std::string before = read_file(dir / kFactoryFile);
    fs::create_directory(dir / (std::string(kFactoryFile) + ".new"));  // factory.reg cannot be replaced
    EXPECT_EQ(store->set(Hive::Factory, "Drivers\\Display\\MQ200", "CxScreen", kRegDword, dword(1024).data(), 4),
              RegResult::IoError);
    EXPECT_NE(store->last_error().find("factory.reg: cannot be written"), std::string::npos) << store->last_error();
    EXPECT_EQ(store->make_key(Hive::Factory, "New"), RegResult::IoError);
    EXPECT_FALSE(store->apply(Hive::Factory, {{RegChange::Kind::DeleteKey, "Comm", {}}}));
    EXPECT_EQ(store->delete_key(Hive::Factory, "Comm"), RegResult::IoError);
    EXPECT_EQ(cx(Hive::Factory), 640u);
    EXPECT_TRUE(store->key_exists(Hive::Factory, "Comm"));
    EXPECT_FALSE(store->key_exists(Hive::Factory, "New"));
    EXPECT_EQ(read_file(dir / kFactoryFile), before);

    fs::remove(dir / (std::string(kFactoryFile) + ".new"));
    ASSERT_EQ(store->set(Hive::Factory, "Drivers\\Display\\MQ200", "CxScreen", kRegDword, dword(1024).data(), 4),
              RegResult::Ok);
    EXPECT_NE(read_file(dir / kFactoryFile).find("\"CxScreen\"=dword:00000400"), std::string::npos);
    store = reopen();
    EXPECT_TRUE(store->problems().empty());
    EXPECT_EQ(cx(Hive::Factory), 1024u);
    ASSERT_TRUE(store->load_factory_file());  // reading it back changes nothing
    EXPECT_EQ(cx(Hive::Factory), 1024u);
}

// factory.reg is checked when the store opens: changed outside the program
// (by hand or by damage: cut short, a line broken, a symbolic link) it is
// named and the factory copy kept, until one is rebuilt from the other on
// purpose. Written by a change killed before its commit, which the pending
// file names, it is loaded.
TEST_F(Store, FactoryRegChangedOutsideIsReportedAndTheCopyKept) {
    const std::string original = read_file(dir / kFactoryFile);
    std::string edited = original;
    edited.replace(edited.find("\"CxScreen\"=dword:00000280"), 25, "\"CxScreen\"=dword:00000320");
    const std::string remedy = "the factory copy was kept (orva-controller reg --factory restore ";
    const struct {
        std::string text;  // factory.reg ("" a symbolic link to the original)
        const char* says;
    } rows[] = {
        {edited, "factory.reg: not what the factory copy was loaded from"},
        {original.substr(0, original.find("\n[", original.size() / 3) + 1),
         "factory.reg: not what the factory copy was loaded from"},
        {"Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\x]\n\"a\"=bad\n", "factory.reg:3:"},
        {"", "factory.reg: is a symbolic link"},
    };
    for (const auto& row : rows) {
        store.reset();
        fs::remove(dir / kFactoryFile);
        if (row.text.empty()) {
            write_file(dir / "elsewhere.reg", original);
            fs::create_symlink("elsewhere.reg", dir / kFactoryFile);
        } else {
            write_file(dir / kFactoryFile, row.text);
        }
        store = reopen();
        ASSERT_EQ(store->problems().size(), 1u) << row.says;
        EXPECT_NE(store->problems()[0].find(row.says), std::string::npos) << store->problems()[0];
        EXPECT_NE(store->problems()[0].find(remedy), std::string::npos) << store->problems()[0];
        EXPECT_EQ(cx(Hive::Factory), 640u) << row.says;
        EXPECT_EQ(store->dump(Hive::Factory, "").size(), 28u) << row.says;
    }
    // Loaded on purpose (--from-file); then written anew from the copy (--to-file).
    store.reset();
    fs::remove(dir / kFactoryFile);
    write_file(dir / kFactoryFile, edited);
    store = reopen();
    ASSERT_TRUE(store->load_factory_file()) << store->last_error();
    EXPECT_EQ(cx(Hive::Factory), 800u);
    write_file(dir / kFactoryFile, "damaged");
    ASSERT_TRUE(store->write_factory_file()) << store->last_error();
    store = reopen();
    EXPECT_TRUE(store->problems().empty()) << store->problems()[0];
    EXPECT_EQ(cx(Hive::Factory), 800u);

    // A change killed after writing factory.reg, before its commit.
    store.reset();
    write_file(dir / kFactoryFile, original);
    write_file(dir / kFactoryPendingFile, content_hash(original) + "\n");
    store = reopen();
    EXPECT_TRUE(store->problems().empty()) << store->problems()[0];
    EXPECT_EQ(cx(Hive::Factory), 640u);
    EXPECT_FALSE(fs::exists(dir / kFactoryPendingFile));
}

// An older controller's single registry.db, made here with its own schema.
TEST(StoreConversion, AnOldRegistryDbIsConvertedOnce) {
    test::TempDir dir;
    const fs::path old = dir / kOldRegistryFile;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(old.c_str(), &db), SQLITE_OK);
    const char* schema =
        "CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "CREATE TABLE keys(hive INTEGER NOT NULL, fold TEXT NOT NULL, path TEXT NOT NULL, PRIMARY KEY(hive, fold));"
        "CREATE TABLE vals(hive INTEGER NOT NULL, key_fold TEXT NOT NULL, fold TEXT NOT NULL, name TEXT NOT NULL,"
        " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(hive, key_fold, fold));"
        "INSERT INTO keys VALUES(0,'',''),(1,'',''),(2,'','');"
        "INSERT INTO meta VALUES('format','orva-registry 1'),('saved_valid','0');"
        "INSERT INTO keys VALUES(0,'comm','Comm'),(0,'comm\\ftpd','Comm\\FTPD'),(1,'init','Init'),(2,'ident','Ident');"
        "INSERT INTO vals VALUES(0,'comm\\ftpd','defaultdir','DefaultDir',1,x'5c0054000000'),"
        "(0,'','top','Top',4,x'01000000'),(1,'init','launch80','Launch80',1,x'41000000'),"
        "(2,'ident','name','Name',1,x'4f000000');";
    ASSERT_EQ(sqlite3_exec(db, schema, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    write_file(dir / kFactoryFile,
               "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"F\"\n");

    std::string error;
    auto store = RegistryStore::open(dir.path(), false, &error);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->problems().empty()) << store->problems()[0];
    EXPECT_FALSE(fs::exists(old));
    RegValue v;
    ASSERT_EQ(store->get(Hive::Live, "comm\\ftpd", "defaultdir", &v), RegResult::Ok);
    EXPECT_EQ(v.name, "DefaultDir");
    EXPECT_EQ(v.data, (std::vector<uint8_t>{0x5c, 0, 0x54, 0, 0, 0}));
    ASSERT_EQ(store->get(Hive::Live, "", "Top", &v), RegResult::Ok);
    EXPECT_EQ(store->dump(Hive::Live, "").size(), 3u);  // the root (it holds a value), Comm, Comm\FTPD
    EXPECT_EQ(store->get(Hive::Saved, "Init", "Launch80", nullptr), RegResult::Ok);
    EXPECT_FALSE(store->saved_valid());
    // The factory copy is loaded from factory.reg, which a restart reads.
    ASSERT_EQ(store->get(Hive::Factory, "Ident", "Name", &v), RegResult::Ok);
    EXPECT_EQ(v.data, reg_sz_bytes("F"));

    // Converted once: a change made afterwards survives the next open.
    ASSERT_EQ(store->make_key(Hive::Live, "After"), RegResult::Ok);
    store.reset();
    store = RegistryStore::open(dir.path(), false, &error);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->key_exists(Hive::Live, "After"));

    // A damaged old file is left as it is, and says so.
    store.reset();
    write_file(old, std::string(4096, 'x'));
    EXPECT_FALSE(RegistryStore::open(dir.path(), false, &error));
    EXPECT_NE(error.find(old.string()), std::string::npos) << error;
    EXPECT_NE(error.find("left as it is"), std::string::npos) << error;
    EXPECT_EQ(read_file(old), std::string(4096, 'x'));
}

// Whatever moment a flushing process dies, the saved copy passes its check
// and holds one generation in full. The live copy holds kValues values all
// carrying one generation number; a flush copies them.
TEST(StoreFlush, SurvivesSigkillAtRandomPoints) {
    constexpr int kValues = 300;
    constexpr int kKills = 60;
    test::TempDir dir;
    std::string error;
    write_file(dir / kFactoryFile, factory_registry_text());
    {
        auto store = RegistryStore::open(dir.path(), true, &error);
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
            auto store = RegistryStore::open(dir.path(), false, nullptr);
            if (!store) _exit(2);
            for (uint32_t gen = static_cast<uint32_t>(kill_no) * 1000;; ++gen) {
                std::vector<RegChange> changes;
                for (int i = 0; i < kValues; ++i)
                    changes.push_back(
                        {RegChange::Kind::SetValue, "Gen", {"v" + std::to_string(i), kRegDword, dword(gen)}});
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

        auto store = RegistryStore::open(dir.path(), false, &error);  // also checks every copy
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->problems().empty()) << store->problems()[0];
        for (Hive h : {Hive::Live, Hive::Saved}) {
            auto dump = store->dump(h, "Gen");
            if (dump.empty() || dump[0].values.empty()) continue;  // killed before the first write finished
            ASSERT_EQ(dump.size(), 1u);
            ASSERT_EQ(dump[0].values.size(), static_cast<size_t>(kValues)) << "torn write after kill " << kill_no;
            for (const RegValue& v : dump[0].values)
                ASSERT_EQ(v.data, dump[0].values[0].data) << copy_name(h) << " torn after kill " << kill_no;
            const auto& d = dump[0].values[0].data;
            if (h == Hive::Saved) saw_new += static_cast<int>((d[0] | (d[1] << 8) | (d[2] << 16)) / 1000) == kill_no;
        }
    }
    EXPECT_GT(saw_new, 0);
    // No file of a killed writer is left behind once the store is opened again.
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".new-"), std::string::npos) << e.path();
}

}  // namespace
}  // namespace orva::sim
