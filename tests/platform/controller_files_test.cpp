// The controller file service on a real controller: where a controller path
// leads and its Win32 error, wildcard patterns, folder listings for a search
// and for an open-file dialog, files placed inside fs/, and what CreateFileW
// opens.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/controller_files.h"
#include "platform/text.h"
#include "tests/platform/controller_fixture.h"

namespace orva::platform {
namespace {

namespace fs = std::filesystem;
using Status = ControllerFile::Status;

class ControllerFiles : public test::ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (HasFatalFailure()) return;
        empty_fs();
        for (const char* file : {"Windows/app.exe", "Temp/x.bin", "Temp/Notes.TXT", "Temp/a\\b"}) put(fs_root / file);
        put(root / "outside" / "passwd", "secret");
        fs::create_directory_symlink(root / "outside", fs_root / "Temp" / "out");
        fs::create_symlink("x.bin", fs_root / "Temp" / "alias.bin");  // a link that stays inside
    }

    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(ControllerFiles, PathsResolveInsideFsAndNeverOut) {
    struct Row {
        const char16_t* path;
        Status status;
        const char16_t* resolved;  // the path as stored, for Found and Missing
        DWORD error;
    } rows[] = {
        {u"Windows/app.exe", Status::Found, u"\\Windows\\app.exe", ERROR_SUCCESS},
        {u"\\WINDOWS\\APP.EXE", Status::Found, u"\\Windows\\app.exe", ERROR_SUCCESS},
        {u".", Status::Found, u"\\", ERROR_SUCCESS},
        {u"", Status::Found, u"\\", ERROR_SUCCESS},
        {u"Windows/../Temp/x.bin", Status::Found, u"\\Temp\\x.bin", ERROR_SUCCESS},
        {u"\\Temp\\alias.bin", Status::Found, u"\\Temp\\alias.bin", ERROR_SUCCESS},
        {u"\\temp\\New File.txt", Status::Missing, u"\\Temp\\New File.txt", ERROR_FILE_NOT_FOUND},
        {u"\\Nope\\x.bin", Status::ParentMissing, u"", ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\x.bin\\y", Status::ParentMissing, u"", ERROR_PATH_NOT_FOUND},
        {u"..", Status::Outside, u"", ERROR_ACCESS_DENIED},
        {u"Windows/../../secret", Status::Outside, u"", ERROR_ACCESS_DENIED},
        {u"Temp/out/passwd", Status::Outside, u"", ERROR_ACCESS_DENIED},
        {u"\\Temp\\OUT", Status::Outside, u"", ERROR_ACCESS_DENIED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(to_utf8(row.path));
        const ControllerFile file = resolve_controller_path(row.path);
        EXPECT_EQ(file.status, row.status);
        EXPECT_EQ(file.path, row.resolved);
        EXPECT_EQ(path_error(file), row.error);
        if (row.status == Status::Outside) {
            EXPECT_TRUE(file.host.empty());
        }
    }
    EXPECT_TRUE(resolve_controller_path(u"\\Temp").folder);
    EXPECT_FALSE(resolve_controller_path(u"\\Temp\\x.bin").folder);
}

TEST_F(ControllerFiles, WithoutAControllerNoPathLeadsAnywhere) {
    sim::set_current(nullptr);
    const ControllerFile file = resolve_controller_path(u"\\Windows\\app.exe");
    EXPECT_EQ(file.status, Status::NoController);
    EXPECT_EQ(path_error(file), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(list_controller_folder(u"\\", u"*", ListFor::Dialog).error, DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(place_controller_file(u"\\Temp\\new.bin", "x"), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(WildcardMatch, WindowsPatterns) {
    struct Row {
        const char16_t* pattern;
        const char16_t* name;
        bool matches;
    } rows[] = {
        {u"*.*", u"nk.bin", true},
        {u"*.*", u"README", true},  // no dot: still every name
        {u"*.bin", u"NK.BIN", true},
        {u"*.exe", u"nk.bin", false},
        {u"a?.txt", u"a1.txt", true},
        {u"a?.txt", u"a12.txt", false},
        {u"*", u"", true},
        {u"?", u"", false},
        {u"r?PORT.*", u"Report.TXT", true},
        {u"*a*b", u"xaxxb", true},
        {u"*a*b", u"xaxxbc", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(wildcard_match(row.pattern, row.name), row.matches)
            << to_utf8(row.pattern) << " " << to_utf8(row.name);
}

TEST_F(ControllerFiles, ListingsLeaveOutWhatNoControllerPathReaches) {
    auto names = [](const FolderListing& listing) {
        std::vector<std::u16string> out;
        for (const FolderEntry& e : listing.entries) out.push_back(e.name + (e.folder ? u"/" : u""));
        return out;
    };
    using Names = std::vector<std::u16string>;
    FolderListing all = list_controller_folder(u"\\temp", u"*", ListFor::Search);
    EXPECT_EQ(all.error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(all.path, u"\\Temp");
    EXPECT_EQ(names(all), (Names{u"Notes.TXT", u"alias.bin", u"x.bin"}));
    EXPECT_EQ(names(list_controller_folder(u"\\", u"T*", ListFor::Search)), (Names{u"Temp/"}));
    EXPECT_EQ(names(list_controller_folder(u"\\", u"*.bin", ListFor::Search)), Names{});
    // A dialog lists every folder, and a filter may hold several patterns.
    EXPECT_EQ(names(list_controller_folder(u"\\", u"*.bin", ListFor::Dialog)), (Names{u"Temp/", u"Windows/"}));
    EXPECT_EQ(names(list_controller_folder(u"\\Temp", u"*.txt;x.*", ListFor::Dialog)), (Names{u"Notes.TXT", u"x.bin"}));
    EXPECT_EQ(names(list_controller_folder(u"\\Temp", u"*.txt;x.*", ListFor::Search)), Names{});

    EXPECT_EQ(list_controller_folder(u"\\Nope", u"*", ListFor::Search).error, DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(list_controller_folder(u"\\Temp\\x.bin", u"*", ListFor::Search).error, DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(list_controller_folder(u"\\Temp\\out", u"*", ListFor::Search).error, DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(ControllerFiles, PlacedFilesLandInsideFsOrAreRefused) {
    EXPECT_EQ(place_controller_file(u"\\temp\\Upload.bin", "first"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(read(fs_root / "Temp" / "Upload.bin"), "first");
    EXPECT_EQ(place_controller_file(u"\\Temp\\UPLOAD.BIN", "second"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(read(fs_root / "Temp" / "Upload.bin"), "second") << "the stored name is replaced";
    EXPECT_EQ(place_controller_file(u"\\Temp\\empty", ""), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(fs::is_regular_file(fs_root / "Temp" / "empty"));

    EXPECT_EQ(place_controller_file(u"\\Nope\\x.bin", "x"), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(place_controller_file(u"\\Temp", "x"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(place_controller_file(u"\\", "x"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(place_controller_file(u"\\..\\escaped", "x"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(place_controller_file(u"\\Temp\\out\\passwd", "x"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(place_controller_file(u"\\Temp\\out", "x"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read(root / "outside" / "passwd"), "secret");
    EXPECT_TRUE(fs::is_symlink(fs_root / "Temp" / "out"));
    EXPECT_FALSE(fs::exists(root / "escaped"));
    // Nothing but the placed files is left behind.
    size_t temp_entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(fs_root / "Temp")) ++temp_entries;
    EXPECT_EQ(temp_entries, 7u);
}

// A FIFO or a device opens at once and says what it is; a read of a FIFO
// that nobody writes to does not wait.
TEST_F(ControllerFiles, SpecialFilesOpenWithoutWaitingAndTellTheirType) {
    ASSERT_EQ(::mkfifo((fs_root / "Temp" / "fifo").c_str(), 0644), 0);
    // A character device (the null device) where the file system allows one.
    const bool device = ::mknod((fs_root / "Temp" / "null").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0;
    const struct {
        const char16_t* path;
        DWORD type;
    } rows[] = {
        {u"\\Temp\\x.bin", FILE_TYPE_DISK}, {u"\\Temp\\fifo", FILE_TYPE_PIPE}, {u"\\Temp\\null", FILE_TYPE_CHAR}};
    for (const auto& row : rows) {
        if (row.type == FILE_TYPE_CHAR && !device) continue;
        HANDLE file = CreateFileW(row.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << to_utf8(row.path);
        EXPECT_EQ(GetFileType(file), row.type) << to_utf8(row.path);
        char buffer[4];
        DWORD read = 99;
        if (row.type == FILE_TYPE_PIPE) {
            EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
            EXPECT_EQ(read, 0u);
        }
        CloseHandle(file);
    }
    EXPECT_EQ(GetFileType(INVALID_HANDLE_VALUE), DWORD(FILE_TYPE_UNKNOWN));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
}  // namespace orva::platform
