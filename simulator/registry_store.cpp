// The three registry copies of a controller directory, the factory copy kept
// in step with factory.reg, and the conversion of an older controller's one
// registry.db.
#include "simulator/registry_store.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <random>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/host_files.h"
#include "common/syscalls.h"
#include "simulator/sim_controller.h"
#include "simulator/sqlite_syscalls.h"
#include "simulator/text.h"

namespace orva::sim {

namespace fs = std::filesystem;

namespace {

constexpr Hive kHives[] = {Hive::Live, Hive::Saved, Hive::Factory};
constexpr const char* kOldFormat = "orva-registry 1";

size_t index(Hive h) { return static_cast<size_t>(h); }

// What the operator can do about an unusable copy.
const char* remedy(Hive h) {
    switch (h) {
        case Hive::Live:
            return "restore it with: orva-controller reg restore --from saved (or --from factory)";
        case Hive::Saved:
            return "the next registry save writes it anew (or: orva-controller reg --saved restore --from factory)";
        case Hive::Factory:
            return "it is rebuilt from factory.reg";
    }
    return "";
}

// What the operator can do about a factory.reg that is not the factory copy's.
const char* factory_remedy(bool parses) {
    return parses ? "orva-controller reg --factory restore --from-file loads factory.reg into it, --to-file writes "
                    "factory.reg anew from it"
                  : "orva-controller reg --factory restore --to-file writes factory.reg anew from it";
}

// The first line of a small file; "" when it cannot be read.
std::string first_line(const fs::path& file) {
    std::string text;
    if (!read_whole_file(file, text, nullptr, 4096)) return "";
    return text.substr(0, text.find('\n'));
}

// A new controller identifier: 32 hexadecimal digits.
std::string new_controller_id() {
    std::random_device random;
    std::string id;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
        id += part;
    }
    return id;
}

bool is_controller_id(const std::string& text) {
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Reads every hive of an older controller's registry.db.
bool read_old_registry(const fs::path& file, std::array<std::vector<RegKeyDump>, 3>& hives, bool& saved_valid,
                       std::string* error) {
    sqlite3* db = nullptr;
    auto fail = [&](const std::string& what) {
        if (error)
            *error = file.string() + ": " + what +
                     " (it was left as it is; moved away, the controller starts from its factory registry)";
        sqlite3_close_v2(db);
        return false;
    };
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, sqlite_vfs_name()) != SQLITE_OK)
        return fail(std::string("cannot open the registry database: ") + (db ? sqlite3_errmsg(db) : "out of memory"));
    sqlite3_busy_timeout(db, 5000);
    auto query = [&](const char* sql, int hive, auto row) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) return false;
        if (hive >= 0) sqlite3_bind_int(st, 1, hive);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) row(st);
        sqlite3_finalize(st);
        return rc == SQLITE_DONE;
    };
    auto text = [](sqlite3_stmt* st, int col) {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        return t ? std::string(t, static_cast<size_t>(sqlite3_column_bytes(st, col))) : std::string();
    };
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return fail(sqlite3_errmsg(db));
    std::string check, format, valid;
    if (!query("PRAGMA integrity_check", -1, [&](sqlite3_stmt* st) {
            if (check.empty()) check = text(st, 0);
        }))
        return fail(std::string("not a usable registry database: ") + sqlite3_errmsg(db));
    if (check != "ok") return fail("the registry database is damaged: " + check);
    query("SELECT name, value FROM meta", -1, [&](sqlite3_stmt* st) {
        if (text(st, 0) == "format") format = text(st, 1);
        if (text(st, 0) == "saved_valid") valid = text(st, 1);
    });
    if (format != kOldFormat) return fail("not a registry database of this controller");
    for (int h = 0; h < 3; ++h) {
        std::map<std::string, size_t> at;  // folded key -> position
        auto& keys = hives[static_cast<size_t>(h)];
        bool ok = query("SELECT path, fold FROM keys WHERE hive=? ORDER BY fold", h, [&](sqlite3_stmt* st) {
            at[text(st, 1)] = keys.size();
            keys.push_back({text(st, 0), {}});
        });
        ok = ok &&
             query("SELECT key_fold, name, type, data FROM vals WHERE hive=? ORDER BY key_fold, fold", h,
                   [&](sqlite3_stmt* st) {
                       auto it = at.find(text(st, 0));
                       if (it == at.end()) return;  // a value without its key was never visible
                       const auto* b = static_cast<const uint8_t*>(sqlite3_column_blob(st, 3));
                       keys[it->second].values.push_back(
                           {text(st, 1), static_cast<uint32_t>(sqlite3_column_int64(st, 2)),
                            b ? std::vector<uint8_t>(b, b + sqlite3_column_bytes(st, 3)) : std::vector<uint8_t>()});
                   });
        if (!ok) return fail(std::string("cannot be read: ") + sqlite3_errmsg(db));
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    saved_valid = valid == "1";
    return true;
}

}  // namespace

const char* copy_file_name(Hive hive) {
    switch (hive) {
        case Hive::Live:
            return kLiveCopyFile;
        case Hive::Saved:
            return kSavedCopyFile;
        case Hive::Factory:
            return kFactoryCopyFile;
    }
    return "";
}

const char* copy_name(Hive hive) {
    switch (hive) {
        case Hive::Live:
            return "live copy";
        case Hive::Saved:
            return "saved copy";
        case Hive::Factory:
            return "factory copy";
    }
    return "";
}

std::unique_ptr<RegistryStore> RegistryStore::open(const fs::path& dir, bool create, std::string* error) {
    std::unique_ptr<RegistryStore> s(new RegistryStore(dir));
    s->remove_abandoned_files();
    if (create) {
        s->m_id = new_controller_id();
        if (!write_file_atomically(dir / kControllerIdFile, s->m_id + "\n", error)) return nullptr;
        for (Hive h : kHives)
            if (!RegistryCopy::create(s->path(h), {}, true, "", error, s->m_id)) return nullptr;
    } else {
        s->settle_controller_id();
    }
    if (files::exists(dir / kOldRegistryFile) && !s->convert_old_registry(error)) return nullptr;
    for (Hive h : {Hive::Live, Hive::Saved})
        if (!s->copy_of(h)) s->m_problems.push_back(s->reason_text(h) + "; " + remedy(h));

    s->check_factory_file();
    return s;
}

void RegistryStore::check_factory_file() {
    const fs::path file = m_dir / kFactoryFile, pending = m_dir / kFactoryPendingFile;
    RegistryCopy* factory = copy_of(Hive::Factory);
    // What factory.reg holds, or why it cannot be had.
    std::string text, why = file.string() + ": is a symbolic link; factory.reg is never followed to another file";
    const bool parses = files::kind(file, false) != files::Kind::Symlink && read_whole_file(file, text, &why) &&
                        parse_reg_text(text, file.string(), &why);
    if (!factory) {
        const std::string reason = reason_text(Hive::Factory);
        if (parses && load_factory_file()) m_problems.push_back(reason + "; rebuilt from " + kFactoryFile);
        else m_problems.push_back(reason + "; " + kFactoryFile + " cannot rebuild it: " + (parses ? m_error : why));
        return;
    }
    const std::string source = factory->source(), hash = parses ? content_hash(text) : "";
    // In step; or a copy never loaded whole (its load was cut short); or a
    // change killed after writing factory.reg and before its commit, which
    // the pending file names: finished now.
    if (parses && (hash == source || source.empty() || first_line(pending) == hash)) {
        if (hash == source || load_factory_file()) {
            files::remove(pending);
            return;
        }
        m_problems.push_back(m_error + "; the factory copy was kept");
        return;
    }
    if (parses)
        why = file.string() + ": not what the factory copy was loaded from (changed since, by hand or by damage)";
    m_problems.push_back(why + "; the factory copy was kept (" + factory_remedy(parses) + ")");
}

RegistryCopy* RegistryStore::copy_of(Hive hive) {
    const size_t i = index(hive);
    if (!m_copies[i]) {
        // Tried again on each use: another process may have restored it.
        std::string why, notice;
        bool unreadable = false;
        m_copies[i] = RegistryCopy::open(path(hive), &why, &unreadable, &notice);
        if (!notice.empty()) m_problems.push_back(notice);
        m_reasons[i] = m_copies[i] ? "" : why;
        m_unreadable[i] = !m_copies[i] && unreadable;
        // Before the identifier is settled (while the store opens) copies
        // are opened to learn it.
        if (!m_id.empty()) check_owner(hive);
    }
    return m_copies[i].get();
}

void RegistryStore::check_owner(Hive hive) {
    const size_t i = index(hive);
    const std::string id = m_copies[i] ? m_copies[i]->controller() : "";
    if (m_copies[i] && id.empty()) {
        // A copy made before copies recorded their controller becomes this
        // one's (when it can be written; it is used either way).
        m_copies[i]->set_controller(m_id);
    } else if (m_copies[i] && id != m_id) {
        m_reasons[i] = path(hive).string() + ": belongs to another controller (" + id + "), not to this one (" + m_id +
                       ", " + kControllerIdFile + ")";
        m_unreadable[i] = false;
        m_copies[i].reset();
    }
}

bool RegistryStore::usable(Hive hive) { return copy_of(hive) != nullptr; }

std::string RegistryStore::unusable_reason(Hive hive) { return copy_of(hive) ? "" : reason_text(hive); }

std::string RegistryStore::reason_text(Hive hive) const {
    return std::string("the ") + copy_name(hive) + " of the registry cannot be used: " + m_reasons[index(hive)];
}

bool RegistryStore::write_copy(Hive hive, const std::vector<RegKeyDump>& keys, bool valid, const std::string& source) {
    m_copies[index(hive)].reset();
    if (!RegistryCopy::create(path(hive), keys, valid, source, &m_error, m_id)) return false;
    if (copy_of(hive)) return true;
    m_error = m_reasons[index(hive)];
    return false;
}

template <typename F>
RegResult RegistryStore::change(Hive hive, F op) {
    RegistryCopy* c = copy_of(hive);
    if (!c) {
        m_error = unusable_reason(hive);
        return RegResult::IoError;
    }
    if (hive != Hive::Factory) {
        RegResult r = op(*c);
        if (r != RegResult::Ok) m_error = c->last_error();
        return r;
    }
    // factory.reg is written inside the transaction and the transaction is
    // committed only when it was: a change is in both or in neither. Should
    // the process die between the two, the next open finds factory.reg newer
    // than the copy, named by the pending file written before it, and loads
    // it; a factory.reg that the pending file does not name is not ours.
    if (!c->begin()) {
        m_error = c->last_error();
        return RegResult::IoError;
    }
    RegResult r = op(*c);
    std::vector<RegKeyDump> keys;
    if (r == RegResult::Ok && !c->dump("", &keys)) r = RegResult::IoError;
    if (r != RegResult::Ok) {
        m_error = c->last_error();
        c->rollback();
        return r;
    }
    const std::string text = format_reg_text(keys), hash = content_hash(text);
    const fs::path file = m_dir / kFactoryFile, pending = m_dir / kFactoryPendingFile;
    std::string old;
    const bool had_old = read_whole_file(file, old, nullptr);
    if (!write_file_atomically(pending, hash + "\n", &m_error) || !write_file_atomically(file, text, &m_error)) {
        files::remove(pending);
        c->rollback();
        return RegResult::IoError;
    }
    if (!c->set_source(hash) || !c->commit()) {
        m_error = c->last_error();
        c->rollback();
        // A commit that failed once its change was in the file (releasing
        // a lock failed, say) has made it: factory.reg stays with it.
        if (c->source() == hash) {
            files::remove(pending);
            return RegResult::Ok;
        }
        if (had_old) write_file_atomically(file, old, nullptr);
        files::remove(pending);
        return RegResult::IoError;
    }
    files::remove(pending);
    return RegResult::Ok;
}

bool RegistryStore::key_exists(Hive hive, std::string_view key) {
    RegistryCopy* c = copy_of(hive);
    if (!c) m_error = unusable_reason(hive);
    return c && c->key_exists(key);
}

RegResult RegistryStore::get(Hive hive, std::string_view key, std::string_view name, RegValue* out) {
    RegistryCopy* c = copy_of(hive);
    if (!c) {
        m_error = unusable_reason(hive);
        return RegResult::IoError;
    }
    RegResult r = c->get(key, name, out);
    if (r == RegResult::IoError || r == RegResult::BadName) m_error = c->last_error();
    return r;
}

RegResult RegistryStore::set(Hive hive, std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                             size_t size) {
    return change(hive, [&](RegistryCopy& c) { return c.set(key, name, type, data, size); });
}

RegResult RegistryStore::delete_value(Hive hive, std::string_view key, std::string_view name) {
    return change(hive, [&](RegistryCopy& c) { return c.delete_value(key, name); });
}

RegResult RegistryStore::delete_key(Hive hive, std::string_view key) {
    return change(hive, [&](RegistryCopy& c) { return c.delete_key(key); });
}

RegResult RegistryStore::make_key(Hive hive, std::string_view key) {
    return change(hive, [&](RegistryCopy& c) { return c.make_key(key); });
}

std::vector<RegKeyDump> RegistryStore::dump(Hive hive, std::string_view key) {
    std::vector<RegKeyDump> out;
    dump(hive, key, &out);
    return out;
}

bool RegistryStore::dump(Hive hive, std::string_view key, std::vector<RegKeyDump>* out) {
    RegistryCopy* c = copy_of(hive);
    if (!c) return m_error = unusable_reason(hive), false;
    if (!c->dump(key, out)) return m_error = c->last_error(), false;
    return true;
}

bool RegistryStore::apply(Hive hive, const std::vector<RegChange>& changes) {
    return change(hive, [&](RegistryCopy& c) { return c.apply(changes) ? RegResult::Ok : RegResult::IoError; }) ==
           RegResult::Ok;
}

bool RegistryStore::import(Hive hive, std::string_view bytes, const std::string& name, const RegParseOptions& options,
                           std::vector<std::string>* warnings) {
    std::string refusal;
    const RegResult r = change(hive, [&](RegistryCopy& c) {
        if (!c.begin()) return RegResult::IoError;
        auto apply = [&](const RegChange& ch) { return c.apply_change(ch); };
        if (!parse_reg_file(bytes, name, options, apply, warnings, &refusal)) {
            c.rollback();
            return RegResult::IoError;
        }
        return c.commit() ? RegResult::Ok : RegResult::IoError;
    });
    if (r == RegResult::Ok) return true;
    m_error = refusal.empty() ? name + ": not imported: " + m_error : refusal;
    return false;
}

bool RegistryStore::copy(Hive from, Hive to) {
    RegistryCopy* src = copy_of(from);
    if (!src) {
        m_error = unusable_reason(from);
        return false;
    }
    if (from == to) return true;
    std::vector<RegKeyDump> keys;
    if (!src->dump("", &keys)) {
        m_error = src->last_error();
        return false;
    }
    RegistryCopy* dst = copy_of(to);
    if (!dst) return write_copy(to, keys, true, "");
    if (dst->begin() && dst->assign(keys) && dst->set_valid(true) && dst->commit()) return true;
    m_error = dst->last_error();
    dst->rollback();
    return false;
}

bool RegistryStore::load_factory_file() {
    const fs::path file = m_dir / kFactoryFile;
    std::string text;
    if (files::kind(file, false) == files::Kind::Symlink) {
        m_error = file.string() + ": is a symbolic link; factory.reg is never followed to another file";
        return false;
    }
    if (!read_whole_file(file, text, &m_error)) return false;
    auto changes = parse_reg_text(text, file.string(), &m_error);
    if (!changes) return false;
    RegistryCopy* c = copy_of(Hive::Factory);
    if (!c) {
        // Written anew, empty and with no source (so that a kill before the
        // load below is finished makes the next open load it again).
        if (!write_copy(Hive::Factory, {}, true, "")) return false;
        c = copy_of(Hive::Factory);
    }
    if (c->begin() && c->assign({}) && c->apply(*changes) && c->set_source(content_hash(text)) && c->commit())
        return true;
    m_error = c->last_error();
    c->rollback();
    return false;
}

bool RegistryStore::write_factory_file() {
    // A change that changes nothing: factory.reg is written from the copy.
    return change(Hive::Factory, [](RegistryCopy&) { return RegResult::Ok; }) == RegResult::Ok;
}

namespace {

bool same_value(const RegValue& a, const RegValue& b) { return a.type == b.type && a.data == b.data; }

}  // namespace

std::optional<bool> RegistryStore::saved_holds(std::string_view key, std::string_view name) {
    const SavedState state = saved_state();
    if (state == SavedState::Unreadable) return std::nullopt;
    if (state == SavedState::Invalid) return false;
    RegValue live, saved;
    const RegResult l = get(Hive::Live, key, name, &live);
    const RegResult s = get(Hive::Saved, key, name, &saved);
    if (l == RegResult::IoError || s == RegResult::IoError || l == RegResult::BadName) return std::nullopt;
    if (l != RegResult::Ok || s != RegResult::Ok) return l != RegResult::Ok && s != RegResult::Ok;
    return same_value(live, saved);
}

std::optional<bool> RegistryStore::saved_holds_live() {
    const SavedState state = saved_state();
    if (state == SavedState::Unreadable) return std::nullopt;
    if (state == SavedState::Invalid) return false;
    std::vector<RegKeyDump> live, saved;
    if (!dump(Hive::Live, "", &live) || !dump(Hive::Saved, "", &saved)) return std::nullopt;
    if (live.size() != saved.size()) return false;
    for (size_t i = 0; i < live.size(); ++i) {
        if (live[i].key != saved[i].key || live[i].values.size() != saved[i].values.size()) return false;
        for (size_t j = 0; j < live[i].values.size(); ++j)
            if (live[i].values[j].name != saved[i].values[j].name || !same_value(live[i].values[j], saved[i].values[j]))
                return false;
    }
    return true;
}

SavedState RegistryStore::saved_state() {
    RegistryCopy* c = copy_of(Hive::Saved);
    if (!c) {
        m_error = reason_text(Hive::Saved);
        return m_unreadable[index(Hive::Saved)] ? SavedState::Unreadable : SavedState::Invalid;
    }
    const std::optional<bool> valid = c->valid();
    if (!valid) {
        m_error = c->last_error();
        return SavedState::Unreadable;
    }
    return *valid ? SavedState::Valid : SavedState::Invalid;
}

bool RegistryStore::invalidate_saved() {
    if (RegistryCopy* c = copy_of(Hive::Saved)) {
        if (c->set_valid(false)) return true;
        m_error = c->last_error();
        return false;
    }
    return write_copy(Hive::Saved, {}, false, "");
}

bool RegistryStore::set_saved_valid(bool valid) {
    RegistryCopy* c = copy_of(Hive::Saved);
    if (!c) {
        m_error = unusable_reason(Hive::Saved);
        return false;
    }
    if (c->set_valid(valid)) return true;
    m_error = c->last_error();
    return false;
}

void RegistryStore::settle_controller_id() {
    const fs::path file = m_dir / kControllerIdFile;
    const files::Kind kind = files::kind(file, false);
    // What is wrong with it, as "FILE: why".
    std::string text, why = file.string() + ": " + files::kind_text(kind);
    if (kind == files::Kind::Regular && read_whole_file(file, text, &why, 4096)) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (is_controller_id(text)) {
            m_id = text;
            return;
        }
        why = file.string() + ": not a controller identifier";
    }
    // Missing (a controller made before the identifier) or unusable: the
    // identifier most copies record, or a new one.
    std::map<std::string, int> votes;
    std::string most;
    for (Hive h : kHives) {
        RegistryCopy* c = copy_of(h);
        const std::string id = c ? c->controller() : "";
        if (is_controller_id(id) && ++votes[id] > (most.empty() ? 0 : votes[most])) most = id;
    }
    m_id = most.empty() ? new_controller_id() : most;
    for (Hive h : kHives) check_owner(h);
    if (kind != files::Kind::Missing) m_problems.push_back(why + "; written anew with the identifier " + m_id);
    // A controller that cannot be written keeps the identifier for this run.
    write_file_atomically(file, m_id + "\n", nullptr);
}

void RegistryStore::remove_abandoned_files() {
    // "registry-live.db.new-PID" of a process that no longer runs: a copy
    // that was being written when its process died.
    std::vector<std::string> names;
    files::list(m_dir, &names);
    for (const std::string& name : names) {
        const size_t at = name.find(".db.new-");
        if (name.rfind("registry-", 0) != 0 || at == std::string::npos) continue;
        const std::string pid = name.substr(at + 8);
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 9) continue;
        if (sys::kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH) files::remove(m_dir / name);
    }
}

bool RegistryStore::convert_old_registry(std::string* error) {
    const fs::path old = m_dir / kOldRegistryFile;
    // One converter at a time; whoever comes second finds the file gone.
    int fd = sys::open(old.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return errno == ENOENT;
    struct stat st {};
    if (sys::flock(fd, LOCK_EX) != 0 || sys::fstat(fd, &st) != 0) {
        sys::close(fd);
        if (error) *error = old.string() + ": cannot be locked: " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    if (st.st_nlink > 0) {
        std::array<std::vector<RegKeyDump>, 3> hives;
        bool saved_valid = true;
        ok = read_old_registry(old, hives, saved_valid, error);
        // Each copy is written whole; the old file goes only when all three
        // are in place, so that a conversion cut short is simply done again.
        for (Hive h : kHives) {
            if (!ok) break;
            ok = RegistryCopy::create(path(h), hives[index(h)], h == Hive::Saved ? saved_valid : true, "", error, m_id);
        }
        if (ok) {
            for (Hive h : kHives) m_copies[index(h)].reset();
            sys::unlink((old.string() + "-journal").c_str());
            if (sys::unlink(old.c_str()) != 0) {
                ok = false;
                if (error) *error = old.string() + ": converted, but cannot be removed: " + std::strerror(errno);
            }
            int dfd = sys::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
            if (dfd >= 0) {
                sys::fsync(dfd);
                sys::close(dfd);
            }
        }
    }
    sys::close(fd);
    return ok;
}

}  // namespace orva::sim
