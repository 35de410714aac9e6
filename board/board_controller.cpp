// The board behind the controller seam: its state directory, registry,
// files, serial ports and debug port.
#include "board/board_controller.h"

#include <cerrno>
#include <cstring>

#include "board/apply_hooks.h"
#include "common/diagnostics.h"
#include "common/host_files.h"
#include "simulator/factory.h"
#include "simulator/paths.h"
#include "simulator/text.h"
#include "simulator/whole_file.h"

namespace orva::board {

namespace {

namespace fs = std::filesystem;
using sim::Hive;

// The registry viewer of the board's file system: as the simulated
// controller's, on the board this program runs on.
const char* const kBoardViewer =
    "#!/bin/sh\n"
    "# Registry viewer of the board. With no display to show it on, it writes\n"
    "# the live registry, as .reg text in UTF-8, to \\Temp\\RegView.txt in the\n"
    "# board's file system. orva-controller is $ORVA_CONTROLLER_TOOL, which\n"
    "# orva-utility sets to the one installed beside it, else the one on PATH;\n"
    "# the board is $ORVA_BOARD, which orva-utility sets to the board.toml it\n"
    "# runs on.\n"
    "tool=${ORVA_CONTROLLER_TOOL:-orva-controller}\n"
    "[ -x \"$tool\" ] || tool=orva-controller\n"
    "exec \"$tool\" --board=\"${ORVA_BOARD:-/etc/orva-utility/board.toml}\" reg export --utf8 --to-fs "
    "'\\Temp\\RegView.txt'\n";

// The factory folders and files, in a root that does not exist yet.
bool make_files_root(const fs::path& root, std::string* error) {
    for (const std::string& folder : sim::factory_folders()) {
        if (!files::make_folders(root / folder))
            return *error = (root / folder).string() + ": cannot be created: " + std::strerror(errno), false;
    }
    for (sim::FactoryFile file : sim::factory_files()) {
        if (file.path == "Windows/RegView.exe") file.content = kBoardViewer;
        if (!sim::write_controller_file(root, file.path, file.content, error, file.executable)) return false;
    }
    return true;
}

}  // namespace

std::string current_boot_id(const BoardConfig& cfg) {
    std::string text;
    if (!sim::read_whole_file(cfg.identity_root / "proc/sys/kernel/random/boot_id", text, nullptr, 4096)) return "";
    return text.substr(0, text.find('\n'));
}

ctl::LockPlace lock_place(const BoardConfig& cfg) { return {cfg.state_dir / kLockFile, "board " + cfg.file.string()}; }

bool opening_writes(const BoardConfig& cfg) {
    if (!files::exists(cfg.state_dir / sim::kLiveCopyFile) || !files::exists(cfg.files_root())) return true;
    const std::string boot = current_boot_id(cfg);
    std::string last;
    return !boot.empty() &&
           !(sim::read_whole_file(cfg.state_dir / kBootFile, last, nullptr, 4096) && last == boot + "\n");
}

BoardController::BoardController(BoardConfig cfg)
    : m_cfg(std::move(cfg)),
      m_device(*this),
      m_files(m_cfg.files_root(), m_cfg.mounts),
      m_router(m_cfg.slot_route),
      m_log(m_cfg.state_dir / kEventLogFile),
      m_debug_log(m_cfg.state_dir / kDebugLogFile, "the debug log") {}

BoardController::~BoardController() { close(); }

std::unique_ptr<BoardController> BoardController::open(const fs::path& board_file, std::string* error) {
    auto cfg = load_board_config(board_file, error);
    if (!cfg) return nullptr;
    std::unique_ptr<BoardController> c(new BoardController(std::move(*cfg)));
    if (!c->prepare_state_dir(error)) return nullptr;
    c->reload_after_boot();
    c->m_area = ImageArea::open(c->m_cfg, &c->m_flash_error);
    return c;
}

bool BoardController::prepare_state_dir(std::string* error) {
    const fs::path& dir = m_cfg.state_dir;
    if (!files::make_folders(dir)) return *error = dir.string() + ": cannot be created: " + std::strerror(errno), false;
    // First use: the factory registry, and from it the live and saved copies.
    const bool first = !files::exists(dir / sim::kFactoryFile) && !files::exists(dir / sim::kLiveCopyFile);
    if (first) {
        std::string factory = sim::factory_registry_text();
        if (!m_cfg.factory_reg.empty() && !sim::read_whole_file(m_cfg.factory_reg, factory, error)) return false;
        if (!sim::parse_reg_text(factory, m_cfg.factory_reg.empty() ? sim::kFactoryFile : m_cfg.factory_reg.string(),
                                 error) ||
            !sim::write_file_atomically(dir / sim::kFactoryFile, factory, error))
            return false;
    }
    m_registry = sim::RegistryStore::open(dir, first, error);
    if (!m_registry) return false;
    if (first && (!m_registry->load_factory_file() || !m_registry->copy(Hive::Factory, Hive::Live) ||
                  !m_registry->copy(Hive::Factory, Hive::Saved)))
        return *error = m_registry->last_error(), false;
    if (!files::exists(m_files.root()) && !make_files_root(m_files.root(), error)) return false;
    m_files.make_mount_points();
    return true;
}

void BoardController::reload_after_boot() {
    // The live registry is what the running controller holds: after the
    // machine has started again it is the saved copy, or the factory
    // registry, whatever the live copy's file still holds.
    const std::string boot = current_boot_id(m_cfg);
    if (boot.empty()) return;
    const fs::path file = m_cfg.state_dir / kBootFile;
    std::string last, error;
    if (sim::read_whole_file(file, last, nullptr, 4096) && last == boot + "\n") return;
    if (!restart_registry(&error)) report("warning: " + error);
    if (!sim::write_file_atomically(file, boot + "\n", &error)) report("warning: " + error);
}

std::vector<std::string> BoardController::registry_problems() const {
    return m_registry ? m_registry->problems() : std::vector<std::string>();
}

bool BoardController::reg_key_exists(std::string_view key) {
    return m_registry && m_registry->key_exists(Hive::Live, key);
}

ctl::RegResult BoardController::reg_get(std::string_view key, std::string_view name, ctl::RegValue* out) {
    return m_registry ? m_registry->get(Hive::Live, key, name, out) : ctl::RegResult::IoError;
}

ctl::RegResult BoardController::reg_set(std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                                        size_t size) {
    return m_registry ? m_registry->set(Hive::Live, key, name, type, data, size) : ctl::RegResult::IoError;
}

ctl::RegResult BoardController::reg_create_key(std::string_view key) {
    return m_registry ? m_registry->make_key(Hive::Live, key) : ctl::RegResult::IoError;
}

ctl::RegResult BoardController::reg_delete_value(std::string_view key, std::string_view name) {
    return m_registry ? m_registry->delete_value(Hive::Live, key, name) : ctl::RegResult::IoError;
}

std::optional<bool> BoardController::reg_value_saved(std::string_view key, std::string_view name) {
    if (!m_registry) return std::nullopt;
    return m_registry->saved_holds(key, name);
}

std::optional<bool> BoardController::registry_saved() {
    if (!m_registry) return std::nullopt;
    return m_registry->saved_holds_live();
}

bool BoardController::reg_flush() {
    if (!m_registry || !m_registry->copy(Hive::Live, Hive::Saved)) return false;
    run_apply_hooks(m_cfg, apply_environment(m_cfg, m_files, *m_registry));
    return true;
}

std::optional<std::string> BoardController::serial_device(std::string_view port) {
    std::string name(port);
    if (!name.empty() && name.back() == ':') name.pop_back();
    auto it = m_cfg.serial.find(sim::ascii_fold(name));
    if (it == m_cfg.serial.end()) return std::nullopt;
    return it->second;
}

void BoardController::debug_output(std::string_view text) {
    std::string kept;
    for (char c : text)
        if (c != '\r') kept += c;
    if (!kept.empty()) m_debug_log.append_text(kept);
}

bool BoardController::read_image(uint64_t offset, uint8_t* out, size_t count) {
    ImageArea* a = area();
    return a && a->read_area(offset, out, count);
}

ImageArea* BoardController::area() {
    // A device that could not be used (a stick not plugged in) is tried again.
    if (!m_area && m_registry) {
        m_flash_error.clear();
        m_area = ImageArea::open(m_cfg, &m_flash_error);
    }
    return m_area.get();
}

void BoardController::close() {
    if (m_area && !m_area->end_update()) report(m_area->last_error());
    m_area.reset();
    m_router.release();
    m_registry.reset();
}

bool BoardController::restart_registry(std::string* error) {
    if (!m_registry) return *error = m_cfg.state_dir.string() + ": the board is closed", false;
    switch (m_registry->saved_state()) {
        case sim::SavedState::Valid:
            return m_registry->copy(Hive::Saved, Hive::Live) || (*error = m_registry->last_error(), false);
        case sim::SavedState::Unreadable:
            // Not a sign that the saved copy was erased: the factory registry
            // would replace the operator's settings for good at the next save.
            *error = m_registry->last_error() + "; the live registry was kept";
            return false;
        case sim::SavedState::Invalid:
            break;
    }
    // The factory registry as the factory copy holds it: factory.reg was
    // checked against it when the board was opened, and one changed since is
    // loaded only on purpose (orva-controller reg --factory restore).
    const std::string saved = m_registry->unusable_reason(Hive::Saved);
    if (!m_registry->copy(Hive::Factory, Hive::Live)) return *error = m_registry->last_error(), false;
    if (!saved.empty()) return *error = saved + "; the factory registry was loaded instead", false;
    return true;
}

bool BoardController::erase_registry_segment(int segment) {
    if (segment < 0 || segment > 15 || !m_registry) return false;
    return m_registry->invalidate_saved();
}

}  // namespace orva::board
