// The image area on a block device (an eMMC or SD partition, a USB stick, a
// loop device): segments written whole with pwrite past the page cache
// (O_DIRECT) and made durable with fdatasync; an erase writes nothing, or
// discards the segment where board.toml asks for it.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

#include "board/image_area.h"
#include "common/syscalls.h"

namespace orva::board {

namespace {

class BlockArea final : public ImageArea {
public:
    BlockArea(const BoardConfig& cfg, DeviceId device, int fd) : ImageArea(cfg, std::move(device), fd) {}
    using ImageArea::set_area;

protected:
    bool erase_segment(int64_t index) override {
        if (!m_cfg.discard) return true;
        uint64_t range[2] = {uint64_t(index) * m_segment_size, m_segment_size};
        // A device that cannot discard keeps its old bytes until written.
        if (sys::ioctl(m_fd, BLKDISCARD, range) != 0 && errno != EOPNOTSUPP && errno != ENOTTY)
            return fail_errno("discard of segment " + std::to_string(index));
        return true;
    }

    bool write_segment(int64_t index, const uint8_t* bytes, uint32_t, uint32_t) override {
        return transfer(index, const_cast<uint8_t*>(bytes), m_segment_size, true);
    }

    bool read_segment(int64_t index, uint8_t* bytes) override { return transfer(index, bytes, m_segment_size, false); }
    bool read_segments(int64_t index, size_t count, uint8_t* bytes) override {
        return transfer(index, bytes, count * m_segment_size, false);
    }

    bool flush() override { return sys::fdatasync(m_fd) == 0 || fail_errno("fdatasync"); }

    std::optional<std::string> claim() override {
        // The kernel refuses an exclusive open of a block device that is
        // mounted or held by another device (a device mapper, a RAID, swap),
        // and while it is held, nothing can mount it.
        const int fd = sys::open(m_device.path.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC, 0);
        if (fd < 0)
            return m_device.path + " is in use (" + std::strerror(errno) +
                   "): mounted, or held by another device or program";
        m_claim = fd;
        return std::nullopt;
    }

    void unclaim() override {
        if (m_claim >= 0) sys::close(m_claim);
        m_claim = -1;
    }

private:
    // `size` bytes from segment `index` on.
    bool transfer(int64_t index, uint8_t* bytes, size_t size, bool write) {
        const off_t base = off_t(index) * m_segment_size;
        size_t done = 0;
        while (done < size) {
            const ssize_t n = write ? sys::pwrite(m_fd, bytes + done, size - done, base + off_t(done))
                                    : sys::pread(m_fd, bytes + done, size - done, base + off_t(done));
            if (n < 0) return fail_errno((write ? "write of segment " : "read of segment ") + std::to_string(index));
            if (n == 0)
                return fail((write ? "write of segment " : "read of segment ") + std::to_string(index) +
                            ": the device ended");
            done += size_t(n);
        }
        return true;
    }

    int m_claim = -1;
};

}  // namespace

std::unique_ptr<ImageArea> open_block_area(const BoardConfig& cfg, const std::string& path, std::string* error) {
    auto fail = [&](const std::string& what) {
        *error = "flash device " + path + ": " + what;
        return nullptr;
    };
    const int fd = sys::open(path.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC, 0);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat st {};
    uint64_t size = 0;
    int logical = 0;
    const char* bad = sys::fstat(fd, &st) != 0                          ? "cannot be examined"
                      : !S_ISBLK(st.st_mode)                            ? "is not a block device or an MTD device"
                      : sys::ioctl(fd, BLKGETSIZE64, &size) != 0        ? "its size cannot be read"
                      : sys::ioctl(fd, BLKSSZGET, &logical) != 0        ? "its block size cannot be read"
                      : logical <= 0 || cfg.segment_size % logical != 0 ? "its blocks do not divide a segment"
                                                                        : nullptr;
    if (bad) {
        sys::close(fd);
        return fail(bad);
    }
    DeviceId id;
    id.path = path;
    id.major = major(st.st_rdev);
    id.minor = minor(st.st_rdev);
    auto area = std::make_unique<BlockArea>(cfg, std::move(id), fd);
    area->set_area(size);
    return area;
}

}  // namespace orva::board
