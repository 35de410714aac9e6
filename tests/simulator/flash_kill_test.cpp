// Erases and programs killed with SIGKILL at random points: a child process
// works on the flash and reports each operation that returned; after the
// kill the flash must read as those operations left it, with the one under
// way either done or not (a program over bytes that were not erased may
// have reached some of its bytes, as on a real flash), and never with old
// data in an erased stretch.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "simulator/flash.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

constexpr uint32_t kSegment = 262144;
constexpr uint32_t kStretch = 131072;
constexpr int kSegments = 4;
using Bytes = std::vector<uint8_t>;

struct Op {
    bool erase = false;
    int segment = 0;
    uint32_t offset = 0;
    Bytes data;
};

// The image update's pattern (erase, then whole segments) mixed with
// programs of a few bytes anywhere, over erased bytes and over data.
std::vector<Op> make_ops(std::mt19937& rng, int count) {
    std::vector<Op> ops;
    for (int i = 0; i < count; ++i) {
        Op op;
        op.segment = int(rng() % kSegments);
        const unsigned kind = rng() % 10;
        op.erase = kind < 4;
        if (!op.erase) {
            const uint32_t size = kind < 8 ? kSegment : 1 + rng() % (2 * kStretch / 3);
            op.offset = kind < 8 ? 0 : rng() % (kSegment - size + 1);
            op.data.resize(size);
            for (auto& b : op.data) b = uint8_t(rng() >> 7);
        }
        ops.push_back(std::move(op));
    }
    return ops;
}

// What a NOR flash holds after `op`.
void apply(Bytes& flash, const Op& op) {
    uint8_t* seg = flash.data() + size_t(op.segment) * kSegment;
    if (op.erase) {
        std::fill(seg, seg + kSegment, 0xFF);
        return;
    }
    for (size_t i = 0; i < op.data.size(); ++i) seg[op.offset + i] &= op.data[i];
}

// Runs the operations in a child, which writes the index of each one that
// returned to `report`; SIGKILLs it after `delay` and returns how many
// returned.
size_t run_and_kill(const std::filesystem::path& file, const std::vector<Op>& ops, std::chrono::microseconds delay) {
    int report[2];
    if (pipe(report) != 0) return 0;
    pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        auto f = NorFlash::open(file, kSegment, kSegments * kSegment, nullptr);
        if (!f) _exit(3);
        for (uint32_t i = 0; i < ops.size(); ++i) {
            const Op& op = ops[i];
            if (op.erase) f->erase(op.segment);
            else f->program(op.segment, op.offset, op.data.data(), uint32_t(op.data.size()));
            if (write(report[1], &i, sizeof i) != sizeof i) _exit(4);
        }
        _exit(0);
    }
    close(report[1]);
    // Reads the reports until the delay is over or the child has ended.
    const auto deadline = std::chrono::steady_clock::now() + delay;
    size_t done = 0;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{report[0], POLLIN, 0};
        timespec ts{time_t(left.count() / 1000000), long(left.count() % 1000000) * 1000};
        if (ppoll(&p, 1, &ts, nullptr) <= 0) continue;
        uint32_t index = 0;
        if (read(report[0], &index, sizeof index) != sizeof index) break;  // the child has ended
        done = index + 1;
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    uint32_t index = 0;
    while (read(report[0], &index, sizeof index) == sizeof index) done = index + 1;
    close(report[0]);
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    return done;
}

Bytes read_flash(const std::filesystem::path& file) {
    std::string error;
    auto f = NorFlash::open(file, kSegment, kSegments * kSegment, &error);
    EXPECT_TRUE(f) << error;
    Bytes out, seg;
    for (int s = 0; f && s < kSegments; ++s) {
        EXPECT_TRUE(f->read(s, seg));
        out.insert(out.end(), seg.begin(), seg.end());
    }
    return out;
}

struct KillRow {
    const char* name;
    bool old_file;  // a complemented file from before the map, holding data
};

void PrintTo(const KillRow& row, std::ostream* os) { *os << row.name; }

class FlashKill : public ::testing::TestWithParam<KillRow> {};

TEST_P(FlashKill, LeavesTheOperationsThatReturnedAndNoOldDataInErasedStretches) {
    std::mt19937 rng(20240607);
    const std::vector<Op> ops = make_ops(rng, 40);
    Bytes initial(size_t(kSegments) * kSegment, 0xFF);
    test::TempDir base;
    if (GetParam().old_file) {
        Bytes stored(initial.size());
        for (size_t i = 0; i < stored.size(); ++i) initial[i] = uint8_t(~(stored[i] = uint8_t(rng() >> 9)));
        std::ofstream(base / "flash.img", std::ios::binary)
            .write(reinterpret_cast<const char*>(stored.data()), std::streamsize(stored.size()));
    }
    auto prepare = [&](const test::TempDir& dir) {
        if (GetParam().old_file) std::filesystem::copy_file(base / "flash.img", dir / "flash.img");
        else ASSERT_TRUE(NorFlash::create(dir / "flash.img", kSegment, kSegments * kSegment, nullptr));
    };
    // How long the whole run takes here (the fastest of three), to spread
    // the kills over it.
    std::chrono::microseconds whole = std::chrono::seconds(30);
    for (int i = 0; i < 3; ++i) {
        test::TempDir dir;
        prepare(dir);
        auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(run_and_kill(dir / "flash.img", ops, std::chrono::seconds(30)), ops.size());
        whole = std::min(whole,
                         std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0));
    }

    struct Round {
        std::unique_ptr<test::TempDir> dir = std::make_unique<test::TempDir>();
        long delay = 0;
        size_t done = 0;
    };
    std::vector<Round> rounds(24);
    for (Round& r : rounds) {
        prepare(*r.dir);
        r.delay = long(rng() % (whole.count() + 1));
        r.done = run_and_kill(*r.dir / "flash.img", ops, std::chrono::microseconds(r.delay));
    }
    // Checked in the order of how far each got, with the flash as the
    // operations that returned left it, and which stretches they left erased.
    std::sort(rounds.begin(), rounds.end(), [](const Round& a, const Round& b) { return a.done < b.done; });
    Bytes before = initial;
    std::vector<bool> erased(kSegments * 2, !GetParam().old_file);
    size_t applied = 0;
    int cut = 0;
    for (const Round& r : rounds) {
        for (; applied < r.done; ++applied) {
            const Op& op = ops[applied];
            apply(before, op);
            const size_t lo = size_t(op.segment) * kSegment + op.offset;
            const size_t s0 = lo / kStretch;
            const size_t s1 = op.erase ? s0 + 1 : (lo + op.data.size() - 1) / kStretch;
            for (size_t s = s0; s <= s1; ++s) erased[s] = op.erase;
        }
        const Bytes now = read_flash(*r.dir / "flash.img");
        ASSERT_EQ(now.size(), before.size());
        SCOPED_TRACE("killed after " + std::to_string(r.delay) + " us, " + std::to_string(r.done) +
                     " operations returned");
        if (r.done == ops.size()) {
            ASSERT_TRUE(now == before);
            continue;
        }
        ++cut;
        const Op& op = ops[r.done];
        Bytes after = before;
        apply(after, op);
        const size_t lo = size_t(op.segment) * kSegment, hi = lo + kSegment;
        ASSERT_TRUE(std::equal(now.begin(), now.begin() + long(lo), before.begin()));
        ASSERT_TRUE(std::equal(now.begin() + long(hi), now.end(), before.begin() + long(hi)));
        const bool whole_or_nothing = op.erase || (erased[(lo + op.offset) / kStretch] &&
                                                   erased[(lo + op.offset + op.data.size() - 1) / kStretch]);
        if (whole_or_nothing) {
            ASSERT_TRUE(std::equal(now.begin() + long(lo), now.begin() + long(hi), before.begin() + long(lo)) ||
                        std::equal(now.begin() + long(lo), now.begin() + long(hi), after.begin() + long(lo)))
                << (op.erase ? "an erase" : "a program over erased bytes") << " half done";
        } else {
            for (size_t i = lo; i < hi; ++i) ASSERT_TRUE(now[i] == before[i] || now[i] == after[i]) << "byte " << i;
        }
    }
    // Most kills land inside the run, not after it.
    EXPECT_GT(cut, 8);
}

INSTANTIATE_TEST_SUITE_P(Files, FlashKill, ::testing::Values(KillRow{"New", false}, KillRow{"FromBeforeTheMap", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orva::sim
