// The registry calls on a real controller's live registry: Windows results,
// sizes and types, and buffers left untouched where Windows leaves them.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "simulator/sim_controller.h"
#include "tests/platform/controller_fixture.h"
#include "platform/wince.h"

namespace {

constexpr BYTE kSentinel = 0xEF;

class Registry : public orva::test::ControllerTest {
protected:
    HKEY open(const WCHAR* path) {
        HKEY key = reinterpret_cast<HKEY>(uintptr_t(0xdeadbeef));
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        return key;
    }
};

TEST_F(Registry, OpeningAMissingKeyFailsAndCreatesNothing) {
    HKEY key = reinterpret_cast<HKEY>(uintptr_t(0xdeadbeef));
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Nothing", 0, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, reinterpret_cast<HKEY>(uintptr_t(0xdeadbeef)));
    EXPECT_FALSE(controller->reg_key_exists("Drivers\\Nothing"));
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Init", 0, KEY_ALL_ACCESS, &key), ERROR_BAD_PATHNAME);
}

TEST_F(Registry, NamesCompareWithoutCaseAndTheKeyNamedSlashIsAKey) {
    HKEY key = open(u"drivers\\DISPLAY\\mq200");
    DWORD value = 0, size = 4, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"cxscreen", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(value, 640u);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    HKEY http = open(u"Comm\\HTTPD\\Websites\\Public\\VROOTS\\/");
    EXPECT_EQ(RegQueryValueExW(http, u"Default", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    RegCloseKey(http);
}

TEST_F(Registry, ATooSmallBufferGetsMoreDataAndStaysUntouched) {
    HKEY key = open(u"Init");
    WCHAR text[200] = u"\\Windows\\long-program-name.exe";
    ASSERT_EQ(RegSetValueExW(key, u"Launch80", 0, REG_SZ, reinterpret_cast<BYTE*>(text), 400), ERROR_SUCCESS);
    BYTE small[100];
    std::memset(small, kSentinel, sizeof small);
    DWORD size = sizeof small, type = 0xdeadbeef;
    EXPECT_EQ(RegQueryValueExW(key, u"Launch80", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 400u);
    EXPECT_EQ(type, DWORD(REG_SZ));
    for (BYTE b : small) ASSERT_EQ(b, kSentinel);
    RegCloseKey(key);
}

TEST_F(Registry, AMissingValueTouchesNothing) {
    HKEY key = open(u"Init");
    BYTE buffer[8];
    std::memset(buffer, kSentinel, sizeof buffer);
    DWORD size = 8, type = 0xdeadbeef;
    EXPECT_EQ(RegQueryValueExW(key, u"Launch85", nullptr, &type, buffer, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, 0xdeadbeef);
    for (BYTE b : buffer) ASSERT_EQ(b, kSentinel);
    RegCloseKey(key);
}

TEST_F(Registry, ValuesKeepExactlyTheTypeAndBytesGiven) {
    HKEY key = open(u"Comm\\FTPD");
    WCHAR dir[100] = {};
    std::u16string text = u"\\Temp";
    std::copy(text.begin(), text.end(), dir);
    ASSERT_EQ(RegSetValueExW(key, u"DefaultDir", 0, REG_SZ, reinterpret_cast<BYTE*>(dir), 200), ERROR_SUCCESS);
    orva::sim::RegValue v;
    ASSERT_EQ(controller->reg_get("Comm\\FTPD", "defaultdir", &v), orva::sim::RegResult::Ok);
    EXPECT_EQ(v.type, DWORD(REG_SZ));
    ASSERT_EQ(v.data.size(), 200u);
    EXPECT_EQ(std::memcmp(v.data.data(), dir, 200), 0);
    BYTE odd[3] = {1, 2, 3};
    ASSERT_EQ(RegSetValueExW(key, u"Odd", 0, REG_DWORD, odd, 3), ERROR_SUCCESS);
    DWORD value = 0xdeadbeef, size = 4, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Odd", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(value, 0xde030201u);  // the fourth byte was not written
    RegCloseKey(key);
}

TEST_F(Registry, InvalidHandlesAndArgumentsAreRefused) {
    BYTE b[4];
    DWORD size = 4;
    HKEY bogus = reinterpret_cast<HKEY>(uintptr_t(0x777));
    EXPECT_EQ(RegQueryValueExW(bogus, u"x", nullptr, nullptr, b, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExW(bogus, u"x", 0, REG_DWORD, b, 4), ERROR_INVALID_HANDLE);
    HKEY key = open(u"Init");
    EXPECT_EQ(RegQueryValueExW(key, u"x", nullptr, nullptr, b, nullptr), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Registry, FlushCopiesTheLiveRegistryToTheSavedOne) {
    HKEY key = open(u"Drivers\\Display\\MQ200");
    DWORD bpp = 8;
    ASSERT_EQ(RegSetValueExW(key, u"Bpp", 0, REG_DWORD, reinterpret_cast<BYTE*>(&bpp), 4), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

}  // namespace
