// A double of the kernel's MTD character device in the system call table,
// for the board's tests: a device file path that opens a flash kept in a
// file of the test's, with the rules of <mtd/mtd-user.h> kept. MEMGETINFO
// gives the geometry; MEMERASE takes whole erase blocks and sets them to
// 0xFF; a write must be aligned to the write unit (a NAND page) and only
// clears bits; on NAND, MEMGETBADBLOCK tells the bad blocks, which fail
// erases and writes with EIO, and ECCGETSTATS counts the reads of blocks
// marked as failing ECC. It also serves /proc/mtd, and /proc/self/mountinfo
// when a test gives one. Every other call goes on to what the table held.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orva::test {

struct MtdGeometry {
    uint8_t type = 3;  // MTD_NORFLASH; 4 is MTD_NANDFLASH
    uint32_t size = 28 << 20;
    uint32_t erasesize = 65536;
    uint32_t writesize = 1;
    bool writeable = true;
    std::set<uint32_t> bad_blocks;  // NAND: erase block numbers
};

class MtdDouble {
public:
    // /dev/mtdINDEX named `name` in /proc/mtd, its flash kept in `file`
    // (made erased throughout).
    MtdDouble(int index, std::string name, MtdGeometry geometry, std::filesystem::path file);
    ~MtdDouble();  // puts back what the table held
    MtdDouble(const MtdDouble&) = delete;
    MtdDouble& operator=(const MtdDouble&) = delete;

    std::string path() const { return "/dev/mtd" + std::to_string(m_index); }
    // The flash as it is now.
    std::vector<uint8_t> contents() const;
    // Serves `text` for /proc/self/mountinfo (nullopt: the real one).
    void set_mountinfo(std::optional<std::string> text) { m_mountinfo = std::move(text); }
    // What /proc/mtd names the device.
    void rename(std::string name) { m_name = std::move(name); }
    // Reads of this erase block count as failing ECC in ECCGETSTATS.
    void fail_ecc(uint32_t block) { m_ecc_failing.insert(block); }

    int erases() const { return m_erases; }
    int writes() const { return m_writes; }

private:
    friend struct MtdCalls;
    int m_index;
    std::string m_name;
    MtdGeometry m_geometry;
    std::filesystem::path m_file;
    std::optional<std::string> m_mountinfo;
    std::set<uint32_t> m_ecc_failing;
    std::set<int> m_fds;
    int m_erases = 0;
    int m_writes = 0;
    uint32_t m_ecc_failed = 0;
};

}  // namespace orva::test
