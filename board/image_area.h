// The image area of the board's flash: an MTD partition or a block device,
// cut into segments of the size the pages expect (128 KiB segments numbered
// from 23578, or 256 KiB segments from 0), that behave as NOR flash does for
// the device library: an erased segment reads 0xFF, programming it writes
// the data and leaves the rest erased.
//
// A write pass is checked as flashcp -v checks one: every segment
// programmed after the pass's erases is remembered by a digest of what it
// must hold; when the last erased segment has been programmed, the writes
// are made durable and each of those segments is read back from the device
// and compared. A mismatch fails that last program, so that the page reports
// a failed write. A program of a segment that was not erased in the pass is
// made durable and read back at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "board/board_config.h"
#include "board/device_checks.h"

namespace orva::board {

class ImageArea {
public:
    // Opens the device flash.device names: "mtd:NAME" or /dev/mtdN (an MTD
    // character device), or a block device. nullptr and why when it cannot
    // be opened, is not such a device, or its geometry gives no segments of
    // the configured size (a segment must be a whole number of erase blocks).
    static std::unique_ptr<ImageArea> open(const BoardConfig& cfg, std::string* error);
    virtual ~ImageArea();
    ImageArea(const ImageArea&) = delete;
    ImageArea& operator=(const ImageArea&) = delete;

    const DeviceId& device() const { return m_device; }
    uint32_t segment_size() const { return m_segment_size; }
    int64_t first_segment() const { return m_first; }
    int64_t segment_count() const { return m_count; }
    // What GetFlashSize_Img returns: the whole segments' bytes, at most the
    // largest 32-bit signed count.
    int32_t area_bytes() const { return int32_t(m_count * m_segment_size); }
    bool valid_segment(int64_t segment) const { return segment >= m_first && segment - m_first < m_count; }

    // Why the device may not be erased now (device_checks.h, and for a block
    // device that the kernel will not let it be opened exclusively), or
    // nullopt. Once it may, the device stays claimed until end_update():
    // nothing can mount it meanwhile.
    std::optional<std::string> claim_for_update();
    // Whether the device is claimed for an update now: from claim_for_update
    // until the pass's last segment is written and read back, or end_update.
    bool claimed() const { return m_claimed; }
    // Starts a new write pass: what the last one wrote is made durable first.
    bool begin_update();
    // Ends the pass (as begin_update) and lets the device go.
    bool end_update();

    // Each false leaves the reason in last_error().
    bool erase(int64_t segment);
    bool program(int64_t segment, uint32_t offset, const uint8_t* data, uint32_t count);
    bool read(int64_t segment, std::vector<uint8_t>& out);
    // `count` bytes of the area from `offset` (0 is the first byte of the
    // first segment), segment by segment; outside a write pass only, as it
    // reads into the segment buffer.
    bool read_area(uint64_t offset, uint8_t* out, size_t count);

    const std::string& last_error() const { return m_error; }

protected:
    ImageArea(const BoardConfig& cfg, DeviceId device, int fd);
    // Sets the geometry from the device's usable size.
    void set_area(uint64_t usable_bytes);
    bool fail(const std::string& what);
    bool fail_errno(const std::string& what);

    // The device's own operations on one segment (by its index from 0).
    virtual bool erase_segment(int64_t index) = 0;
    // Writes the segment whole; `programmed` is the part that holds data
    // (the rest of `bytes` is erased), for a device that writes only that.
    virtual bool write_segment(int64_t index, const uint8_t* bytes, uint32_t first, uint32_t end) = 0;
    virtual bool read_segment(int64_t index, uint8_t* bytes) = 0;
    // `count` neighbouring segments from `index`, into `bytes` (aligned for
    // O_DIRECT); by default one segment at a time.
    virtual bool read_segments(int64_t index, size_t count, uint8_t* bytes);
    // Makes what was written durable.
    virtual bool flush() = 0;
    // Counts of uncorrectable read errors so far (NAND), or -1 when unknown.
    virtual int64_t read_failures() { return -1; }
    virtual std::optional<std::string> claim() { return std::nullopt; }
    virtual void unclaim() {}

    const BoardConfig& m_cfg;
    DeviceId m_device;
    int m_fd;
    uint32_t m_segment_size;

private:
    // Makes the pass's writes durable and, unless verify is off, reads each
    // segment back and compares it with its digest.
    bool settle();
    uint8_t* buffer();

    int64_t m_first = 0;
    int64_t m_count = 0;
    std::set<int64_t> m_erased;        // erased in this pass and not yet programmed
    std::set<int64_t> m_erase_failed;  // an erase failed part of the way: what they hold is unknown
    struct Pending {
        int64_t index;
        uint64_t digest;
    };
    std::vector<Pending> m_pending;  // programmed, not yet read back
    uint8_t* m_buffer = nullptr;     // one segment, aligned for O_DIRECT
    bool m_claimed = false;
    std::string m_error;
};

// A 64-bit digest of `n` bytes, for telling a segment read back from the one
// written (not a cryptographic hash).
uint64_t segment_digest(const uint8_t* bytes, size_t n);

// The block device and the MTD device behind ImageArea::open.
std::unique_ptr<ImageArea> open_block_area(const BoardConfig& cfg, const std::string& path, std::string* error);
std::unique_ptr<ImageArea> open_mtd_area(const BoardConfig& cfg, const std::string& path, std::string* error);

}  // namespace orva::board
