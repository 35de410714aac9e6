// The board's state and files: controller paths through the root and the
// mounted folders (listed where they stand, never left through a link), the
// state directory made on first use from the board's factory.reg, the live
// registry loaded again after the machine has started again, and the
// restart through a command or reboot(2), which a build with its tests never
// makes.
#include <gtest/gtest.h>
#include <sys/reboot.h>

#include <fstream>

#include "board/board_controller.h"
#include "common/syscalls.h"
#include "platform/controller_files.h"
#include "simulator/text.h"
#include "tests/board/test_board.h"
#include "tests/support/mtd_double.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string live_text(board::BoardController& c, const char* key, const char* name) {
    ctl::RegValue v;
    if (c.reg_get(key, name, &v) != ctl::RegResult::Ok) return "(none)";
    return sim::utf16_to_utf8(sim::reg_sz_text(v.data));
}

TEST(BoardFiles, MountedFoldersAreReachedListedAndNeverLeft) {
    TestBoard b("/dev/mtd57", 262144, "[files.mounts]\n\"Storage Card\" = \"stick\"\n\"windows\\\\WWW\" = \"www\"\n");
    write(b.dir() / "stick" / "Images" / "nk.bin", "image");
    write(b.dir() / "www" / "index.html", "page");
    write(b.dir() / "outside.txt", "secret");
    fs::create_directory_symlink(b.dir(), b.dir() / "stick" / "up");
    board::BoardController& c = b.open();

    struct Row {
        const char* path;
        ctl::ResolvedPath::Status status;
        fs::path host;  // below the test's folder
    };
    const Row rows[] = {
        {"\\STORAGE CARD\\images\\NK.BIN", ctl::ResolvedPath::Status::Ok, "stick/Images/nk.bin"},
        {"\\Windows\\www\\Index.html", ctl::ResolvedPath::Status::Ok, "www/index.html"},
        {"\\Windows\\RegView.exe", ctl::ResolvedPath::Status::Ok, "state/fs/Windows/RegView.exe"},
        {"\\Storage Card\\..\\..\\outside.txt", ctl::ResolvedPath::Status::Outside, ""},
        {"\\Storage Card\\up\\outside.txt", ctl::ResolvedPath::Status::Outside, ""},
        {"\\Storage Card\\missing\\x", ctl::ResolvedPath::Status::ParentMissing, ""},
    };
    for (const Row& row : rows) {
        const ctl::ResolvedPath r = c.resolve_path(row.path);
        EXPECT_EQ(r.status, row.status) << row.path;
        if (row.status == ctl::ResolvedPath::Status::Ok) {
            EXPECT_EQ(r.host, b.dir() / row.host) << row.path;
        }
    }
    // Listed where they stand, spelled as board.toml names them.
    std::vector<std::u16string> names;
    for (const auto& e : platform::list_controller_folder(u"\\", u"*", platform::ListFor::Search).entries)
        names.push_back(e.name);
    EXPECT_NE(std::find(names.begin(), names.end(), u"Storage Card"), names.end());
    const platform::FolderListing www =
        platform::list_controller_folder(u"\\windows\\www", u"*.html", platform::ListFor::Search);
    EXPECT_EQ(www.path, u"\\Windows\\www");
    ASSERT_EQ(www.entries.size(), 1u);
    EXPECT_EQ(www.entries[0].name, u"index.html");
    EXPECT_EQ(c.controller_path_of(fs::weakly_canonical(b.dir() / "stick" / "Images" / "nk.bin")),
              "\\Storage Card\\Images\\nk.bin");
    std::string error;
    EXPECT_FALSE(c.write_file("\\Storage Card\\up\\outside.txt", "x", &error));
    EXPECT_EQ(error, "\\Storage Card\\up\\outside.txt: leads out of the controller's file system");
}

TEST(BoardState, FirstUseLoadsTheBoardsFactoryRegistryAndRestartsAfterABoot) {
    TestBoard b("/dev/mtd57", 262144, "[registry]\nfactory = \"factory.reg\"\n", "root = \"root\"\n");
    write(b.dir() / "factory.reg",
          "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Comm\\FTPD]\n\"DefaultDir\"=\"\\\\Board\"\n");
    write(b.dir() / "root/proc/sys/kernel/random/boot_id", "boot-1\n");
    {
        board::BoardController& c = b.open();
        EXPECT_EQ(live_text(c, "Comm\\FTPD", "DefaultDir"), "\\Board");
        EXPECT_TRUE(fs::is_regular_file(b.fs() / "Windows" / "RegView.exe"));
        EXPECT_TRUE(fs::is_directory(b.fs() / "Storage Card"));
        const std::vector<uint8_t> changed = sim::reg_sz_bytes("\\Changed");
        ASSERT_EQ(c.reg_set("Comm\\FTPD", "DefaultDir", ctl::kRegSz, changed.data(), changed.size()),
                  ctl::RegResult::Ok);
        b.close();
    }
    // The same boot: the live registry is what it was.
    EXPECT_EQ(live_text(b.open(), "Comm\\FTPD", "DefaultDir"), "\\Changed");
    b.close();
    // Another boot: the saved copy, as a restart loads it.
    write(b.dir() / "root/proc/sys/kernel/random/boot_id", "boot-2\n");
    EXPECT_EQ(live_text(b.open(), "Comm\\FTPD", "DefaultDir"), "\\Board");
}

int g_reboot_cmd = 0;
bool g_synced = false;

TEST(BoardRestart, ACommandOrRebootAfterEverythingIsSynced) {
    TestBoard b("/dev/mtd57");
    board::BoardController& c = b.open();
    const std::vector<uint8_t> changed = sim::reg_sz_bytes("\\Unsaved");
    ASSERT_EQ(c.reg_set("Comm\\FTPD", "DefaultDir", ctl::kRegSz, changed.data(), changed.size()), ctl::RegResult::Ok);
    int handled = 0;
    ctl::set_reboot_handler([&] { ++handled; });
    // The command (`true`) restarts the board: the live registry is the saved one.
    EXPECT_EQ(c.device().reboot(), 1);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(live_text(c, "Comm\\FTPD", "DefaultDir"), "\\Temp");
    EXPECT_EQ(b.events().back(), "reboot()");
    b.close();

    // Without a command: sync, then reboot(2) with RB_AUTOBOOT; when it
    // fails the call returns and the program goes on.
    TestBoard plain("/dev/mtd57", 262144, "[reboot]\n");
    board::BoardController& p = plain.open();
    sys::table().sync.set([] { g_synced = true; });
    sys::table().reboot.set([](int cmd) {
        g_reboot_cmd = g_synced ? cmd : -1;
        errno = EPERM;
        return -1;
    });
    EXPECT_EQ(p.device().reboot(), 0);
    sys::restore_all();
    EXPECT_EQ(g_reboot_cmd, int(RB_AUTOBOOT));
    EXPECT_EQ(handled, 1);
    ctl::set_reboot_handler(nullptr);

    // This build's real reboot(2) is never made: a command the kernel would
    // refuse with EINVAL is refused before it with EPERM.
    errno = 0;
    EXPECT_EQ(sys::table().reboot.real(0x0BADC0DE), -1);
    EXPECT_EQ(errno, EPERM);
}

}  // namespace
}  // namespace orva::test
