// A board for one test: a temporary folder with board.toml, its state
// directory and its files, opened in this process as the current controller
// with the program's notices shown as message boxes; and the Version Update
// page driven on it as an operator would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "board/board_controller.h"
#include "tests/platform/test_frontend.h"
#include "tests/simulator/temp_dir.h"

namespace orva::test {

// The boxes of the Version Update page, as TestFrontend records them.
extern const std::string kUpdatePrompt, kUpdateSucceeded, kUpdateFailed, kSaveAsk;

class TestBoard {
public:
    // board.toml: [flash] device = `device` with `segment_size`, the state
    // directory, fixed identity data as a new simulated controller has (and
    // the lines `identity` in [identity]), a reboot command that does
    // nothing unless `extra` has a [reboot] of its own, and `extra` after it.
    explicit TestBoard(const std::string& device, uint32_t segment_size = 262144, const std::string& extra = "",
                       const std::string& identity = "");
    ~TestBoard();
    TestBoard(const TestBoard&) = delete;
    TestBoard& operator=(const TestBoard&) = delete;

    const std::filesystem::path& dir() const { return m_dir.path(); }
    std::filesystem::path board_file() const { return dir() / "board.toml"; }
    std::filesystem::path state() const { return dir() / "state"; }
    std::filesystem::path fs() const { return state() / "fs"; }

    // Opens the board (failing the test when it cannot) and makes it current.
    board::BoardController& open();
    void close();
    board::BoardController& controller() { return *m_controller; }

    // The event log's lines.
    std::vector<std::string> events() const;
    void clear_events() const;

private:
    TempDir m_dir;
    std::unique_ptr<board::BoardController> m_controller;
};

// "Write to Flash now" on the image at \Storage Card\nk.bin (written to the
// board's files first), confirmed, and the program ended with Cancel and No;
// the boxes shown, in order.
std::vector<std::string> write_image_through_page(TestBoard& board, const std::string& image);

}  // namespace orva::test
