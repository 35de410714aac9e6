// FindFirstFileW and FindClose on a real controller's file system: what is
// found, the Windows error of what is not, and the search handles.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/handles.h"
#include "platform/text.h"
#include "platform/wince.h"
#include "simulator/sim_controller.h"
#include "tests/platform/controller_fixture.h"

namespace {

namespace fs = std::filesystem;

class FindFile : public orva::test::ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (HasFatalFailure()) return;
        std::ofstream(fs_root / "Temp" / "Report.TXT") << "hello";
        std::ofstream(fs_root / "Temp" / "notes.md") << "";
        fs::create_directories(fs_root / "Empty");
        fs::create_directories(root / "outside");
        std::ofstream(root / "outside" / "secret") << "s";
        fs::create_directory_symlink(root / "outside", fs_root / "Temp" / "zlink");
    }
};

struct Row {
    const char16_t* pattern;
    const char* found;  // nullptr when the search fails
    DWORD error;
};

TEST_F(FindFile, FindsFirstMatchOrSaysWhyNot) {
    const Row rows[] = {
        {u"\\Temp\\report.txt", "Report.TXT", 0},
        {u"\\TEMP", "Temp", 0},
        {u"Temp/notes.md", "notes.md", 0},
        {u"\\Temp\\*.txt", "Report.TXT", 0},
        {u"\\temp\\r?PORT.*", "Report.TXT", 0},
        {u"\\Temp\\*.*", "Report.TXT", 0},
        {u"\\Temp\\n*", "notes.md", 0},
        {u"\\Temp\\..\\Windows\\RegView.exe", "RegView.exe", 0},
        {u"\\Temp\\????.md", nullptr, ERROR_FILE_NOT_FOUND},
        {u"\\Empty\\*", nullptr, ERROR_FILE_NOT_FOUND},
        {u"\\Temp\\*.bin", nullptr, ERROR_FILE_NOT_FOUND},
        {u"\\Temp\\missing", nullptr, ERROR_FILE_NOT_FOUND},
        {u"\\Temp\\", nullptr, ERROR_FILE_NOT_FOUND},
        {u"", nullptr, ERROR_FILE_NOT_FOUND},
        {u"\\Nope\\*", nullptr, ERROR_PATH_NOT_FOUND},
        {u"\\Nope\\x", nullptr, ERROR_PATH_NOT_FOUND},
        {u"\\Nope\\", nullptr, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\Report.TXT\\*", nullptr, ERROR_PATH_NOT_FOUND},
        {u"\\T*\\notes.md", nullptr, ERROR_INVALID_NAME},
        {u"\\..\\*", nullptr, ERROR_ACCESS_DENIED},
        {u"\\..\\c\\fs\\Temp", nullptr, ERROR_ACCESS_DENIED},
        {u"\\Temp\\..\\..\\etc", nullptr, ERROR_ACCESS_DENIED},
        {u"\\Temp\\zlink\\secret", nullptr, ERROR_ACCESS_DENIED},
        {u"\\Temp\\zlink\\*", nullptr, ERROR_ACCESS_DENIED},
        {u"\\Temp\\z*", nullptr, ERROR_FILE_NOT_FOUND},  // a link out of fs/ is no entry
    };
    const size_t handles = orva::platform::open_handle_count();
    for (const Row& row : rows) {
        const std::string pattern = orva::platform::to_utf8(row.pattern);
        SCOPED_TRACE(pattern);
        WIN32_FIND_DATAW data;
        std::memset(&data, 0xEF, sizeof data);
        SetLastError(0xdeadbeef);
        HANDLE h = FindFirstFileW(row.pattern, &data);
        if (row.found) {
            ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
            EXPECT_EQ(orva::platform::to_utf8(data.cFileName), row.found);
            EXPECT_TRUE(FindClose(h));
        } else {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), row.error);
            EXPECT_EQ(reinterpret_cast<const BYTE*>(&data)[0], 0xEF) << "data written on failure";
        }
    }
    EXPECT_EQ(orva::platform::open_handle_count(), handles);
}

TEST_F(FindFile, ReportsAttributesAndSize) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(u"\\Temp\\Report.txt", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    // 2020-01-01 in 100-ns intervals since 1601 is about 0x01D5C03669B... : later than that.
    EXPECT_GT((uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime,
              132223104000000000ull);
    FindClose(h);
    h = FindFirstFileW(u"\\Windows\\w?w", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(orva::platform::to_utf8(data.cFileName), "www");
    FindClose(h);
}

TEST_F(FindFile, FindCloseTakesOnlyOpenSearches) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(u"\\Temp\\*", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FindClose(h));
    SetLastError(0);
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(FindFirstFileW(u"\\Temp\\*", nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(FindFileWithoutController, FailsAsAMissingPath) {
    WIN32_FIND_DATAW data;
    EXPECT_EQ(FindFirstFileW(u"\\Temp", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

}  // namespace
