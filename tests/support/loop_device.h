// A real loop device over a file in a test's folder, for the board's tests
// of its block device backend. It is attached with `losetup -f --show`, held
// open by the test and marked to detach itself when the last holder closes
// it, so that a test that ends in any way (a crash included) leaves no loop
// device behind; at the end it is detached through its own descriptor, so
// that no other device is ever touched. A filesystem may be made on it and
// mounted on a folder of the test's, unmounted again at the end.
#pragma once

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace orva::test {

// Runs a shell command; its standard output, and whether it exited 0.
inline bool run_shell(const std::string& command, std::string* out = nullptr) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return false;
    std::string text;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    const int status = ::pclose(p);
    if (out) *out = text;
    return status == 0;
}

// Why no loop device can be attached here, "" when one can: losetup needs
// root and the kernel's loop driver (/dev/loop-control).
inline std::string loop_devices_missing() {
    if (::geteuid() != 0) return "attaching a loop device needs root";
    if (!run_shell("command -v losetup >/dev/null 2>&1")) return "losetup (util-linux) is not installed";
    if (::access("/dev/loop-control", R_OK | W_OK) != 0) return "/dev/loop-control is missing: no loop driver here";
    return "";
}

// At the start of a test that attaches loop devices: where none can be had
// the test is skipped, saying why; under CI, which runs as root with loop
// devices, it fails instead, so that it never passes there unrun.
#define ORVA_NEEDS_LOOP_DEVICES()                                                       \
    if (const std::string why_ = ::orva::test::loop_devices_missing(); !why_.empty()) { \
        if (std::getenv("CI")) FAIL() << why_ << " (CI must run this test)";            \
        GTEST_SKIP() << why_;                                                           \
    }

class LoopDevice {
public:
    // A device of `size` bytes over `file`, which is made anew (zeros).
    LoopDevice(const std::filesystem::path& file, uint64_t size) : m_file(file) {
        { std::ofstream create(file, std::ios::binary | std::ios::trunc); }
        std::filesystem::resize_file(file, size);
        std::string out;
        if (!run_shell("losetup -f --show '" + file.string() + "' 2>&1", &out) || out.rfind("/dev/loop", 0) != 0) {
            ADD_FAILURE() << "losetup -f --show " << file << ": " << out;
            return;
        }
        const std::string path = out.substr(0, out.find('\n'));
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        loop_info64 info{};
        struct stat st {};
        // Still the device of our file (nothing can have detached it, but
        // nothing else is ever to be touched)?
        if (m_fd < 0 || ::ioctl(m_fd, LOOP_GET_STATUS64, &info) != 0 || ::stat(file.c_str(), &st) != 0 ||
            info.lo_inode != st.st_ino) {
            ADD_FAILURE() << path << " is not the loop device of " << file;
            if (m_fd >= 0) ::close(m_fd);
            m_fd = -1;
            return;
        }
        info.lo_flags |= LO_FLAGS_AUTOCLEAR;
        if (::ioctl(m_fd, LOOP_SET_STATUS64, &info) != 0) ADD_FAILURE() << path << ": autoclear not set";
        m_path = path;
    }
    ~LoopDevice() {
        unmount();
        if (m_fd >= 0) {
            ::ioctl(m_fd, LOOP_CLR_FD, 0);  // ours; when busy, autoclear detaches it later
            ::close(m_fd);
        }
    }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    // "/dev/loopN"; empty when it could not be attached.
    const std::string& path() const { return m_path; }

    // Makes an ext2 filesystem on it and mounts it on `folder`.
    bool mount_ext2(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        std::string out;
        if (!run_shell("mkfs.ext2 -q -F '" + m_path + "' 2>&1", &out)) return ADD_FAILURE() << out, false;
        if (!run_shell("mount -t ext2 '" + m_path + "' '" + folder.string() + "' 2>&1", &out))
            return ADD_FAILURE() << out, false;
        m_mounted = folder;
        return true;
    }
    void unmount() {
        if (m_mounted.empty()) return;
        std::string out;
        if (!run_shell("umount '" + m_mounted.string() + "' 2>&1", &out)) ADD_FAILURE() << out;
        m_mounted.clear();
    }

    // The device's bytes [offset, offset + n), read past the page cache's
    // copies of what the test wrote (the backing file holds them).
    std::string read(uint64_t offset, size_t n) const {
        std::ifstream in(m_file, std::ios::binary);
        in.seekg(std::streamoff(offset));
        std::string out(n, '\0');
        in.read(out.data(), std::streamsize(n));
        out.resize(size_t(in.gcount()));
        return out;
    }

private:
    std::filesystem::path m_file;
    std::string m_path;
    int m_fd = -1;
    std::filesystem::path m_mounted;
};

}  // namespace orva::test
