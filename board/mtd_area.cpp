// The image area on an MTD partition, through the kernel's MTD character
// device: MEMGETINFO for its geometry, MEMERASE per erase block, writes of
// whole write units at their offsets, and on NAND the bad blocks left out
// (MEMGETBADBLOCK: the segments lie on the good blocks in order, as a boot
// loader that skips bad blocks reads them) and ECCGETSTATS around every
// read-back, so that an uncorrectable error fails it.
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

#include "board/image_area.h"
#include "common/syscalls.h"

namespace orva::board {

namespace {

constexpr unsigned kMtdCharMajor = 90;

class MtdArea final : public ImageArea {
public:
    MtdArea(const BoardConfig& cfg, DeviceId device, int fd, const mtd_info_user& info, std::vector<uint64_t> blocks)
        : ImageArea(cfg, std::move(device), fd), m_info(info), m_blocks(std::move(blocks)) {
        set_area(uint64_t(m_blocks.size()) * info.erasesize);
    }

protected:
    // The blocks of segment `index`, by their offsets on the device.
    uint32_t blocks_per_segment() const { return m_segment_size / m_info.erasesize; }
    uint64_t block_offset(int64_t index, uint32_t k) const {
        return m_blocks[size_t(index) * blocks_per_segment() + k];
    }

    bool erase_segment(int64_t index) override {
        for (uint32_t k = 0; k < blocks_per_segment(); ++k) {
            erase_info_user erase{uint32_t(block_offset(index, k)), m_info.erasesize};
            if (sys::ioctl(m_fd, MEMERASE, &erase) != 0)
                return fail_errno("erase of the block at " + std::to_string(erase.start));
        }
        return true;
    }

    bool write_segment(int64_t index, const uint8_t* bytes, uint32_t first, uint32_t end) override {
        // Whole write units (NAND pages) around the data; what lies outside
        // them stays erased.
        const uint32_t unit = m_info.writesize ? m_info.writesize : 1;
        first -= first % unit;
        end = end % unit ? end + (unit - end % unit) : end;
        const uint32_t block = m_info.erasesize;
        for (uint32_t at = first; at < end;) {
            const uint32_t k = at / block, in_block = at % block;
            const uint32_t n = std::min(end - at, block - in_block);
            if (!transfer(block_offset(index, k) + in_block, const_cast<uint8_t*>(bytes) + at, n, true)) return false;
            at += n;
        }
        return true;
    }

    bool read_segment(int64_t index, uint8_t* bytes) override {
        for (uint32_t k = 0; k < blocks_per_segment(); ++k)
            if (!transfer(block_offset(index, k), bytes + size_t(k) * m_info.erasesize, m_info.erasesize, false))
                return false;
        return true;
    }

    // A write to the MTD device has reached the flash when it returns.
    bool flush() override { return true; }

    int64_t read_failures() override {
        mtd_ecc_stats stats{};
        if (sys::ioctl(m_fd, ECCGETSTATS, &stats) != 0) return -1;
        return stats.failed;
    }

private:
    bool transfer(uint64_t offset, uint8_t* bytes, uint32_t n, bool write) {
        uint32_t done = 0;
        while (done < n) {
            const ssize_t r = write ? sys::pwrite(m_fd, bytes + done, n - done, off_t(offset + done))
                                    : sys::pread(m_fd, bytes + done, n - done, off_t(offset + done));
            const std::string what = std::string(write ? "write at " : "read at ") + std::to_string(offset + done);
            if (r < 0) return fail_errno(what);
            if (r == 0) return fail(what + ": the device ended");
            done += uint32_t(r);
        }
        return true;
    }

    mtd_info_user m_info;
    std::vector<uint64_t> m_blocks;  // the good erase blocks' offsets, in order
};

}  // namespace

std::unique_ptr<ImageArea> open_mtd_area(const BoardConfig& cfg, const std::string& path, std::string* error) {
    auto fail = [&](const std::string& what) {
        *error = "flash device " + path + ": " + what;
        return nullptr;
    };
    const int fd = sys::open(path.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat st {};
    mtd_info_user info{};
    const char* bad = sys::fstat(fd, &st) != 0                                     ? "cannot be examined"
                      : !S_ISCHR(st.st_mode) || major(st.st_rdev) != kMtdCharMajor ? "is not an MTD character device"
                      : minor(st.st_rdev) % 2 != 0                                 ? "is the read-only MTD device"
                      : sys::ioctl(fd, MEMGETINFO, &info) != 0                     ? "MEMGETINFO failed"
                      : !(info.flags & MTD_WRITEABLE)                              ? "is not writeable"
                      : info.erasesize == 0 || cfg.segment_size % info.erasesize != 0
                          ? "its erase blocks do not divide a segment"
                      : info.writesize > info.erasesize || (info.writesize && info.erasesize % info.writesize)
                          ? "its write unit does not divide an erase block"
                          : nullptr;
    if (bad) {
        const std::string why =
            std::string(bad) + (info.erasesize && cfg.segment_size % info.erasesize
                                    ? " (erase blocks of " + std::to_string(info.erasesize) + " bytes, segments of " +
                                          std::to_string(cfg.segment_size) + ")"
                                    : "");
        sys::close(fd);
        return fail(why);
    }
    // NAND: the bad blocks are left out.
    const bool nand = info.type == MTD_NANDFLASH || info.type == MTD_MLCNANDFLASH;
    std::vector<uint64_t> blocks;
    for (uint64_t at = 0; at + info.erasesize <= info.size; at += info.erasesize) {
        loff_t offset = loff_t(at);
        const int state = nand ? sys::ioctl(fd, MEMGETBADBLOCK, &offset) : 0;
        if (state < 0) {
            const std::string why = "MEMGETBADBLOCK at " + std::to_string(at) + ": " + std::strerror(errno);
            sys::close(fd);
            return fail(why);
        }
        if (state == 0) blocks.push_back(at);
    }
    DeviceId id;
    id.path = path;
    id.major = major(st.st_rdev);
    id.minor = minor(st.st_rdev);
    id.mtd_index = int(id.minor / 2);
    id.mtd_name = mtd_name_of(id.mtd_index);
    return std::make_unique<MtdArea>(cfg, std::move(id), fd, info, std::move(blocks));
}

}  // namespace orva::board
