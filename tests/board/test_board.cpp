// The board of one test.
#include "tests/board/test_board.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/text.h"
#include "platform/wince.h"
#include "resources/resource.h"
#include "tests/fault/program_run.h"
#include "tests/support/image_bytes.h"

namespace orva::test {

namespace fs = std::filesystem;

const std::string kUpdatePrompt =
    "Update OS image|Update OS image now ? It will take several minitues and the old OS image will be overwritten|1";
const std::string kUpdateSucceeded = "Update OS image|Update OS image succeed, Reboot now ?|36";
const std::string kUpdateFailed = "OS image update|FlashWriteFile failed|48";
const std::string kSaveAsk = "Save Registry|Save your settings to registry ?|36";

TestBoard::TestBoard(const std::string& device, uint32_t segment_size, const std::string& extra,
                     const std::string& identity) {
    const bool reboot = extra.find("[reboot]") == std::string::npos;
    std::ofstream(board_file()) << "[board]\nstate_dir = \"state\"\n\n"
                                << "[flash]\ndevice = \"" << device << "\"\nsegment_size = " << segment_size
                                << "\n\n[identity]\nserial_number = \"fixed:0123456789ABCDEF\"\n"
                                << "mac = [\"fixed:02:00:00:00:00:01\", \"fixed:02:00:00:00:00:02\"]\n"
                                << "os_version = \"Windows CE 4.20 (Build 1088)\"\n"
                                << identity << "\n"
                                << (reboot ? "[reboot]\ncommand = [\"true\"]\n\n" : "")
                                << "[apply]\ndir = \"apply.d\"\n\n"
                                << extra;
}

TestBoard::~TestBoard() { close(); }

board::BoardController& TestBoard::open() {
    std::string error;
    m_controller = board::BoardController::open(board_file(), &error);
    if (!m_controller) {
        ADD_FAILURE() << error;
        std::abort();
    }
    ctl::set_current(m_controller.get());
    ctl::set_notice_handler([](const std::string& caption, const std::string& text) {
        MessageBoxW(nullptr, platform::to_utf16(text).c_str(), platform::to_utf16(caption).c_str(), MB_ICONEXCLAMATION);
    });
    return *m_controller;
}

void TestBoard::close() {
    if (!m_controller) return;
    if (ctl::current() == m_controller.get()) ctl::set_current(nullptr);
    ctl::set_notice_handler(nullptr);
    m_controller->close();
    m_controller.reset();
}

std::vector<std::string> TestBoard::events() const {
    std::ifstream in(state() / board::kEventLogFile);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

void TestBoard::clear_events() const { std::ofstream(state() / board::kEventLogFile, std::ios::trunc); }

std::vector<std::string> write_image_through_page(TestBoard& board, const std::string& image) {
    write_host_file(board.fs() / "Storage Card" / "nk.bin", image);
    TestFrontend frontend;
    frontend.answers = {IDOK, IDNO};
    frontend.actions = {[] { select_tab(3); },
                        [] {
                            type_into(IDC_IMAGE_PATH, u"\\Storage Card\\nk.bin");
                            click(IDC_WRITE_FLASH);
                        },
                        [] { cancel_sheet(); }};
    EXPECT_EQ(run_winmain(frontend), 0);
    EXPECT_FALSE(frontend.ran_out);
    return frontend.boxes;
}

}  // namespace orva::test
