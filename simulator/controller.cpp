// The simulated controller: opening and creating controller directories, the
// registry as the platform layer sees it, restart, and the current controller.
#include "simulator/sim_controller.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/diagnostics.h"
#include "common/host_files.h"
#include "common/syscalls.h"
#include "simulator/factory.h"
#include "simulator/flash_geometry.h"
#include "simulator/name_fold.h"
#include "simulator/paths.h"
#include "simulator/text.h"

namespace orva::sim {

namespace fs = std::filesystem;

namespace {

std::string errno_text() { return std::strerror(errno); }

}  // namespace

bool read_whole_file(const fs::path& file, std::string& out, std::string* error, size_t limit) {
    auto fail = [&](const std::string& why) {
        if (error) *error = file.string() + ": " + why;
        return false;
    };
    const int fd = sys::open(file.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return fail(errno_text());
    struct stat st {};
    if (sys::fstat(fd, &st) != 0) {
        std::string why = errno_text();
        sys::close(fd);
        return fail(why);
    }
    // A directory or a device never holds a file's text (and /dev/zero never ends).
    const char* refused = S_ISDIR(st.st_mode)                          ? std::strerror(EISDIR)
                          : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "is a device, not a file"
                          : S_ISSOCK(st.st_mode)                       ? "is a socket, not a file"
                                                                       : nullptr;
    if (!refused && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > limit) refused = "";
    std::string text;
    // Room for the whole file at once: a string grown by doubling would
    // take up to twice its size.
    if (!refused && S_ISREG(st.st_mode)) text.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (!refused) {
        ssize_t n = sys::read(fd, buf, sizeof buf);
        if (n < 0) {
            std::string why = errno_text();
            sys::close(fd);
            return fail(why);
        }
        if (n == 0) break;
        if (text.size() + static_cast<size_t>(n) > limit) refused = "";
        else text.append(buf, static_cast<size_t>(n));
    }
    sys::close(fd);
    if (refused && *refused) return fail(refused);
    if (refused) return fail("larger than " + std::to_string(limit >> 20) + " MiB; not read");
    out = std::move(text);
    return true;
}

bool write_file_atomically(const fs::path& file, const std::string& text, std::string* error) {
    const fs::path tmp = file.string() + ".new";
    const int fd = sys::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = sys::write(fd, text.data() + done, text.size() - done);
        if (n == 0) errno = EIO;  // a write that takes nothing never will
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    if (ok) ok = sys::fsync(fd) == 0;
    std::string why = ok ? "" : errno_text();
    if (fd >= 0) sys::close(fd);
    if (ok && sys::rename(tmp.c_str(), file.c_str()) != 0) {
        ok = false;
        why = errno_text();
    }
    if (!ok) {
        sys::unlink(tmp.c_str());
        if (error) *error = file.string() + ": cannot be written: " + why;
    }
    return ok;
}

SimController::SimController(fs::path dir, ControllerConfig config)
    : m_device(*this),
      m_dir(std::move(dir)),
      m_config(std::move(config)),
      m_log(m_dir / kEventLogFile),
      m_debug_log(m_dir / kDebugLogFile, "the debug log"),
      m_serial_failures_left(m_config.serial_number_failures) {}

SimController::~SimController() { close(); }

std::unique_ptr<SimController> SimController::open_dir(const fs::path& dir, std::string* error) {
    if (!files::is_directory(dir)) {
        if (error) *error = dir.string() + ": no controller here (not a directory)";
        return nullptr;
    }
    if (!files::exists(dir / kConfigFile)) {
        if (error) *error = (dir / kConfigFile).string() + ": missing; create a controller with orva-controller init";
        return nullptr;
    }
    auto config = load_config(dir / kConfigFile, error);
    if (!config) return nullptr;
    std::unique_ptr<SimController> c(new SimController(dir, std::move(*config)));
    c->m_registry = RegistryStore::open(dir, false, error);
    if (!c->m_registry) return nullptr;
    // A flash file that cannot be used fails the flash calls only; the
    // registry stays reachable.
    c->m_flash =
        NorFlash::open(dir / kFlashFile, c->m_config.segment_size, c->m_config.image_area_size, &c->m_flash_error);
    if (c->m_flash && !c->m_flash->notice().empty()) {
        report(c->m_flash->notice());
        c->m_log.append(c->m_flash->notice());
    }
    // A controller made by an earlier version gets today's registry viewer.
    replace_earlier_factory_viewer(dir / kFsFolder);
    return c;
}

std::vector<std::string> SimController::registry_problems() const {
    return m_registry ? m_registry->problems() : std::vector<std::string>();
}

bool SimController::reg_key_exists(std::string_view key) {
    return m_registry && m_registry->key_exists(Hive::Live, key);
}

RegResult SimController::reg_get(std::string_view key, std::string_view name, RegValue* out) {
    if (!m_registry) return RegResult::IoError;
    return m_registry->get(Hive::Live, key, name, out);
}

bool SimController::read_only(std::string_view key, std::string_view name) const {
    const std::string k = name_fold(normalize_key(key));
    const std::string n = name_fold(name);
    for (const std::string& entry : m_config.registry_read_only) {
        size_t cut = entry.rfind('\\');
        if (name_fold(normalize_key(entry.substr(0, cut))) == k && name_fold(entry.substr(cut + 1)) == n) return true;
    }
    return false;
}

RegResult SimController::reg_set(std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                                 size_t size) {
    if (!m_registry) return RegResult::IoError;
    // A read-only value of an existing key; a missing key still says so.
    if (read_only(key, name)) return m_registry->key_exists(Hive::Live, key) ? RegResult::Denied : RegResult::NoKey;
    return m_registry->set(Hive::Live, key, name, type, data, size);
}

bool SimController::reg_flush() {
    if (!m_registry || m_config.registry_flush_fails) return false;
    return m_registry->copy(Hive::Live, Hive::Saved);
}

RegResult SimController::reg_create_key(std::string_view key) {
    if (!m_registry) return RegResult::IoError;
    return m_registry->make_key(Hive::Live, key);
}

RegResult SimController::reg_delete_value(std::string_view key, std::string_view name) {
    if (!m_registry) return RegResult::IoError;
    if (read_only(key, name)) return m_registry->key_exists(Hive::Live, key) ? RegResult::Denied : RegResult::NoKey;
    return m_registry->delete_value(Hive::Live, key, name);
}

std::optional<bool> SimController::reg_value_saved(std::string_view key, std::string_view name) {
    if (!m_registry) return std::nullopt;
    return m_registry->saved_holds(key, name);
}

std::optional<bool> SimController::registry_saved() {
    if (!m_registry) return std::nullopt;
    return m_registry->saved_holds_live();
}

bool SimController::read_image(uint64_t offset, uint8_t* out, size_t count) {
    return m_flash && m_flash->read_area(offset, out, count);
}

ResolvedPath SimController::resolve_path(std::string_view controller_path) {
    return resolve_controller_path(fs_root(), controller_path);
}

bool SimController::write_file(std::string_view controller_path, const std::string& text, std::string* error) {
    return write_controller_file(fs_root(), controller_path, text, error);
}

std::optional<std::string> SimController::serial_device(std::string_view port) {
    std::string name(port);
    if (!name.empty() && name.back() == ':') name.pop_back();
    auto it = m_config.serial.find(ascii_fold(name));
    if (it == m_config.serial.end()) return std::nullopt;
    if (it->second != "module") return it->second;
    // One module per process, whichever controller asks first.
    static std::optional<std::string> started;
    if (!started) started = start_simulated_module(m_config.module);
    return started;
}

void SimController::debug_output(std::string_view text) {
    std::string kept;
    for (char c : text)
        if (c != '\r') kept += c;
    if (!kept.empty()) m_debug_log.append_text(kept);
}

void SimController::close() {
    // The flash's writes are in the file when they return; a sync that
    // fails leaves them short of the disk, which the operator is told.
    if (m_flash && !m_flash->sync()) report(m_flash->last_error());
    m_flash.reset();
    m_registry.reset();
}

bool SimController::restart(std::string* error) {
    bool ok = m_registry != nullptr;
    std::string why;
    const SavedState saved_state = ok ? m_registry->saved_state() : SavedState::Invalid;
    if (!ok) {
        why = m_dir.string() + ": the controller is closed";
    } else if (saved_state == SavedState::Valid) {
        ok = m_registry->copy(Hive::Saved, Hive::Live);
        if (!ok) why = m_registry->last_error();
    } else if (saved_state == SavedState::Unreadable) {
        // Not a sign that the registry area holds nothing: the factory
        // registry would replace the operator's settings for good at the
        // next save.
        ok = false;
        why = m_registry->last_error() + "; the live registry was kept";
    } else {
        // As a controller whose registry area holds nothing usable: the
        // factory registry, as the factory copy holds it (factory.reg was
        // checked against it when the controller was opened; a factory.reg
        // changed since is loaded only on purpose).
        const std::string saved = m_registry->unusable_reason(Hive::Saved);
        ok = m_registry->copy(Hive::Factory, Hive::Live);
        if (!ok) why = m_registry->last_error();
        if (!saved.empty()) {
            ok = false;
            why = saved + "; the factory registry was loaded instead" + (why.empty() ? "" : "; " + why);
        }
    }
    if (m_flash && !m_flash->sync()) {
        ok = false;
        why += (why.empty() ? "" : "; ") + m_flash->last_error();
    }
    if (!ok && error) *error = why;
    m_log.append("reboot()");
    return ok;
}

bool SimController::reset_flash(std::string* error) {
    m_flash.reset();
    m_flash_error.clear();
    m_flash = NorFlash::create(m_dir / kFlashFile, m_config.segment_size, m_config.image_area_size, &m_flash_error);
    if (!m_flash && error) *error = m_flash_error;
    return m_flash != nullptr;
}

bool SimController::erase_registry_segment(int segment) {
    if (segment < 0 || segment >= REGISTRY_SEGMENT_COUNT || !m_registry) return false;
    return m_registry->invalidate_saved();
}

bool SimController::take_serial_number_call() {
    if (m_serial_failures_left > 0) {
        --m_serial_failures_left;
        return false;
    }
    return true;
}

bool init_controller(const fs::path& dir, uint32_t segment_size, bool force, std::string* error,
                     const Identity& identity) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return false;
    };
    if (!is_segment_size(segment_size))
        return fail("segment size " + std::to_string(segment_size) + " is not " + segment_sizes_text());
    if (files::exists(dir) && !files::is_directory(dir)) return fail(dir.string() + ": exists and is not a directory");
    if (!force && (files::exists(dir / kConfigFile) || files::exists(dir / kLiveCopyFile) ||
                   files::exists(dir / kOldRegistryFile)))
        return fail(dir.string() + ": a controller exists already (--force replaces it)");
    if (!files::make_folders(dir)) return fail(dir.string() + ": cannot create the directory: " + errno_text());
    if (force) {
        // controller.toml goes first: a replacement cut short leaves no controller.
        for (const std::string name :
             {kConfigFile, kFactoryFile, kControllerIdFile, kFlashFile, kEventLogFile, kDebugLogFile})
            files::remove(dir / name);
        files::remove(FlashMap::file_for(dir / kFlashFile));
        for (const std::string name : {kLiveCopyFile, kSavedCopyFile, kFactoryCopyFile, kOldRegistryFile})
            for (const char* suffix : {"", "-journal", "-wal", "-shm"}) files::remove(dir / (name + suffix));
        if (!files::remove_tree(dir / kFsFolder))
            return fail((dir / kFsFolder).string() + ": cannot be removed: " + errno_text());
    }
    for (const std::string& folder : factory_folders()) {
        if (!files::make_folders(dir / kFsFolder / folder))
            return fail((dir / kFsFolder / folder).string() + ": cannot be created: " + errno_text());
    }
    for (const FactoryFile& file : factory_files()) {
        const fs::path host = dir / kFsFolder / file.path;
        if (!write_file_atomically(host, file.content, error)) return false;
        if (file.executable && !files::add_mode(host, 0111))
            return fail(host.string() + ": cannot be made executable: " + errno_text());
    }
    const std::string factory = factory_registry_text();
    if (!parse_reg_text(factory, kFactoryFile, error)) return false;
    if (!write_file_atomically(dir / kFactoryFile, factory, error)) return false;
    // Each copy is written whole under another name and renamed into place;
    // controller.toml comes last, so that a failed init leaves no controller.
    {
        auto store = RegistryStore::open(dir, true, error);
        if (!store) return false;
        if (!store->load_factory_file() || !store->copy(Hive::Factory, Hive::Live) ||
            !store->copy(Hive::Factory, Hive::Saved))
            return fail(store->last_error());
    }
    if (!NorFlash::create(dir / kFlashFile, segment_size, new_image_area_size(segment_size), error)) return false;
    if (!EventLog(dir / kEventLogFile).clear()) return fail((dir / kEventLogFile).string() + ": cannot be created");
    return write_file_atomically(dir / kConfigFile, default_config_text(segment_size, identity), error);
}

fs::path default_controller_dir() {
    if (const char* d = std::getenv("ORVA_CONTROLLER"); d && *d) return d;
    if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x) return fs::path(x) / "orva-utility" / "controller";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".local" / "state" / "orva-utility" / "controller";
}

}  // namespace orva::sim
