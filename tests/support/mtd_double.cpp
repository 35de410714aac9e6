// The MTD character device double: the table's entries for the device's
// path and descriptors, everything else passed on.
#include "tests/support/mtd_double.h"

#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "common/syscalls.h"

namespace orva::test {

namespace {

MtdDouble* g_double = nullptr;

// What the table held before the double.
struct Below {
    decltype(sys::table().open.get()) open;
    decltype(sys::table().close.get()) close;
    decltype(sys::table().pread.get()) pread;
    decltype(sys::table().pwrite.get()) pwrite;
    decltype(sys::table().fstat.get()) fstat;
    decltype(sys::table().stat.get()) stat;
    decltype(sys::table().ioctl.get()) ioctl;
} g_below;

int fail(int error) {
    errno = error;
    return -1;
}

// A descriptor of a file in memory holding `text`.
int text_fd(const std::string& text) {
    const int fd = ::memfd_create("orva-mtd-double", MFD_CLOEXEC);
    if (fd < 0) return -1;
    if (::write(fd, text.data(), text.size()) != ssize_t(text.size()) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return fail(EIO);
    }
    return fd;
}

}  // namespace

struct MtdCalls {
    static MtdDouble& d() { return *g_double; }
    static bool ours(int fd) { return g_double && d().m_fds.count(fd); }
    static const MtdGeometry& g() { return d().m_geometry; }
    static bool nand() { return g().type == MTD_NANDFLASH || g().type == MTD_MLCNANDFLASH; }
    static bool bad_in(uint64_t off, uint64_t n) {
        for (uint64_t b = off / g().erasesize; n && b <= (off + n - 1) / g().erasesize; ++b)
            if (g().bad_blocks.count(uint32_t(b))) return true;
        return false;
    }
    static void fill_stat(struct stat* st) {
        *st = {};
        st->st_mode = S_IFCHR | 0600;
        st->st_rdev = makedev(90, unsigned(d().m_index) * 2);
    }

    static int open(const char* path, int flags, mode_t mode) {
        if (g_double) {
            if (path == d().path()) {
                const int fd = g_below.open(d().m_file.c_str(), O_RDWR | O_CLOEXEC, 0);
                if (fd >= 0) d().m_fds.insert(fd);
                return fd;
            }
            if (std::strcmp(path, "/proc/mtd") == 0) {
                char line[128];
                std::snprintf(line, sizeof line, "dev:    size   erasesize  name\nmtd%d: %08x %08x \"", d().m_index,
                              g().size, g().erasesize);
                return text_fd(line + d().m_name + "\"\n");
            }
            if (std::strcmp(path, "/proc/self/mountinfo") == 0 && d().m_mountinfo) return text_fd(*d().m_mountinfo);
        }
        return g_below.open(path, flags, mode);
    }
    static int close(int fd) {
        if (g_double) d().m_fds.erase(fd);
        return g_below.close(fd);
    }
    static int fstat(int fd, struct stat* st) {
        if (!ours(fd)) return g_below.fstat(fd, st);
        fill_stat(st);
        return 0;
    }
    static int stat(const char* path, struct stat* st) {
        if (!g_double || path != d().path()) return g_below.stat(path, st);
        fill_stat(st);
        return 0;
    }
    static ssize_t pread(int fd, void* buf, size_t n, off_t off) {
        if (!ours(fd)) return g_below.pread(fd, buf, n, off);
        if (off < 0) return fail(EINVAL);
        if (uint64_t(off) >= g().size) return 0;
        n = std::min<uint64_t>(n, g().size - uint64_t(off));
        for (uint32_t block : d().m_ecc_failing)
            if (uint64_t(block) * g().erasesize < uint64_t(off) + n &&
                uint64_t(block + 1) * g().erasesize > uint64_t(off))
                ++d().m_ecc_failed;
        return g_below.pread(fd, buf, n, off);
    }
    static ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) {
        if (!ours(fd)) return g_below.pwrite(fd, buf, n, off);
        if (off < 0 || uint64_t(off) % g().writesize || n % g().writesize) return fail(EINVAL);
        if (uint64_t(off) + n > g().size) return fail(ENOSPC);
        if (nand() && bad_in(uint64_t(off), n)) return fail(EIO);
        // Programming only clears bits.
        std::vector<uint8_t> stored(n);
        if (g_below.pread(fd, stored.data(), n, off) != ssize_t(n)) return fail(EIO);
        for (size_t i = 0; i < n; ++i) stored[i] &= static_cast<const uint8_t*>(buf)[i];
        ++d().m_writes;
        return g_below.pwrite(fd, stored.data(), n, off);
    }
    static int ioctl(int fd, unsigned long request, void* arg) {
        if (!ours(fd)) return g_below.ioctl(fd, request, arg);
        switch (request) {
            case MEMGETINFO: {
                mtd_info_user info{};
                info.type = g().type;
                info.flags = g().writeable ? MTD_WRITEABLE | (nand() ? 0 : MTD_BIT_WRITEABLE) : 0;
                info.size = g().size;
                info.erasesize = g().erasesize;
                info.writesize = g().writesize;
                info.oobsize = nand() ? 64 : 0;
                std::memcpy(arg, &info, sizeof info);
                return 0;
            }
            case MEMERASE: {
                erase_info_user e{};
                std::memcpy(&e, arg, sizeof e);
                if (e.start % g().erasesize || e.length % g().erasesize || e.length == 0 ||
                    uint64_t(e.start) + e.length > g().size)
                    return fail(EINVAL);
                if (nand() && bad_in(e.start, e.length)) return fail(EIO);
                const std::vector<uint8_t> erased(e.length, 0xFF);
                if (g_below.pwrite(fd, erased.data(), e.length, off_t(e.start)) != ssize_t(e.length)) return fail(EIO);
                ++d().m_erases;
                return 0;
            }
            case MEMGETBADBLOCK: {
                if (!nand()) return fail(EOPNOTSUPP);
                loff_t off = 0;
                std::memcpy(&off, arg, sizeof off);
                if (off < 0 || uint64_t(off) >= g().size || uint64_t(off) % g().erasesize) return fail(EINVAL);
                return g().bad_blocks.count(uint32_t(uint64_t(off) / g().erasesize)) ? 1 : 0;
            }
            case ECCGETSTATS: {
                mtd_ecc_stats stats{};
                stats.failed = d().m_ecc_failed;
                stats.badblocks = uint32_t(g().bad_blocks.size());
                std::memcpy(arg, &stats, sizeof stats);
                return 0;
            }
            default:
                return fail(ENOTTY);
        }
    }
};

MtdDouble::MtdDouble(int index, std::string name, MtdGeometry geometry, std::filesystem::path file)
    : m_index(index), m_name(std::move(name)), m_geometry(std::move(geometry)), m_file(std::move(file)) {
    {
        std::ofstream out(m_file, std::ios::binary | std::ios::trunc);
        const std::vector<char> erased(m_geometry.size, char(0xFF));
        out.write(erased.data(), std::streamsize(erased.size()));
    }
    auto& t = sys::table();
    g_below = {t.open.get(), t.close.get(), t.pread.get(), t.pwrite.get(), t.fstat.get(), t.stat.get(), t.ioctl.get()};
    g_double = this;
    t.open.set(&MtdCalls::open);
    t.close.set(&MtdCalls::close);
    t.pread.set(&MtdCalls::pread);
    t.pwrite.set(&MtdCalls::pwrite);
    t.fstat.set(&MtdCalls::fstat);
    t.stat.set(&MtdCalls::stat);
    t.ioctl.set(&MtdCalls::ioctl);
}

MtdDouble::~MtdDouble() {
    auto& t = sys::table();
    t.open.set(g_below.open);
    t.close.set(g_below.close);
    t.pread.set(g_below.pread);
    t.pwrite.set(g_below.pwrite);
    t.fstat.set(g_below.fstat);
    t.stat.set(g_below.stat);
    t.ioctl.set(g_below.ioctl);
    g_double = nullptr;
}

std::vector<uint8_t> MtdDouble::contents() const {
    std::ifstream in(m_file, std::ios::binary);
    std::vector<uint8_t> out(m_geometry.size);
    in.read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size()));
    out.resize(size_t(in.gcount()));
    return out;
}

}  // namespace orva::test
