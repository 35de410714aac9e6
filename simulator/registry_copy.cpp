// One registry copy on SQLite: two tables and a meta table whose checksum row
// covers everything else, every change in one transaction, a busy time-out
// so that two processes never see a torn copy.
#include "simulator/registry_copy.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include "common/host_files.h"
#include "common/syscalls.h"
#include "simulator/name_fold.h"
#include "simulator/sim_controller.h"
#include "simulator/sqlite_syscalls.h"
#include "simulator/text.h"

namespace orva::sim {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFormat = "orva-registry-copy 2";
// The format of earlier versions, whose names were found by their ASCII
// letters in lower case only: converted when it is opened.
constexpr const char* kAsciiFoldFormat = "orva-registry-copy 1";
constexpr int kBusyTimeoutMs = 5000;

// One prepared statement, finalized when it goes out of scope; or one that
// the copy keeps prepared (RegistryCopy::kept), reset for its next use.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    explicit Stmt(sqlite3_stmt* kept) : m_stmt(kept), m_kept(true) {}
    ~Stmt() {
        if (!m_kept) {
            sqlite3_finalize(m_stmt);
        } else if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    Stmt& bind(int i, int64_t v) {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    // Text with its exact length, NUL bytes included.
    Stmt& bind(int i, std::string_view s) {
        sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bind_blob(int i, const uint8_t* d, size_t n) {
        sqlite3_bind_blob(m_stmt, i, n ? d : reinterpret_cast<const uint8_t*>(""), static_cast<int>(n),
                          SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    std::string text(int col) const {
        const unsigned char* t = sqlite3_column_text(m_stmt, col);
        return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(m_stmt, col)) : std::string();
    }
    bool is_null(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    int64_t integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    std::vector<uint8_t> blob(int col) const {
        const uint8_t* b = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, col));
        int n = sqlite3_column_bytes(m_stmt, col);
        return b ? std::vector<uint8_t>(b, b + n) : std::vector<uint8_t>();
    }
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_kept = false;
};

// FNV-1a, 64 bits: any change of a single byte changes the result.
class Fnv {
public:
    void add(const void* data, size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i) m_h = (m_h ^ p[i]) * 0x100000001b3ULL;
    }
    void add_number(uint64_t v) {
        unsigned char b[8];
        for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
        add(b, 8);
    }
    // A column as its type, length and bytes, so that no two rows of
    // different content hash alike by running into each other.
    void add_column(sqlite3_stmt* st, int col) {
        const int type = sqlite3_column_type(st, col);
        add_number(static_cast<uint64_t>(type));
        if (type == SQLITE_INTEGER) {
            add_number(static_cast<uint64_t>(sqlite3_column_int64(st, col)));
        } else if (type != SQLITE_NULL) {
            const void* b = sqlite3_column_blob(st, col);
            const size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
            add_number(n);
            if (b) add(b, n);
        }
    }
    std::string hex() const {
        char buf[17];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(m_h));
        return buf;
    }

private:
    uint64_t m_h = 0xcbf29ce484222325ULL;
};

std::string errno_text() { return std::strerror(errno); }

// The bounds of the keys strictly below `fold`: they sort from "fold\" up to,
// but not including, "fold]" (']' follows '\' in byte order). Compared as
// bytes, so that a name holding any byte is matched exactly.
std::string below_low(const std::string& fold) { return fold + "\\"; }
std::string below_high(const std::string& fold) { return fold + "]"; }

bool sync_path(const fs::path& path, int flags) {
    int fd = sys::open(path.c_str(), flags | O_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = sys::fsync(fd) == 0;
    const int err = errno;
    sys::close(fd);
    errno = err;
    return ok;
}

}  // namespace

std::string normalize_key(std::string_view key) {
    std::string out;
    size_t i = 0;
    while (i <= key.size()) {
        size_t j = key.find('\\', i);
        if (j == std::string_view::npos) j = key.size();
        if (j > i) {
            if (!out.empty()) out += '\\';
            out += key.substr(i, j - i);
        }
        i = j + 1;
    }
    return out;
}

std::string content_hash(std::string_view bytes) {
    Fnv h;
    h.add(bytes.data(), bytes.size());
    return h.hex();
}

RegistryCopy::~RegistryCopy() {
    for (auto& [sql, st] : m_kept) sqlite3_finalize(st);
    if (m_db) {
        if (m_depth > 0 && !sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
}

sqlite3_stmt* RegistryCopy::kept(const char* sql) {
    sqlite3_stmt*& st = m_kept[sql];
    if (!st) sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    return st;
}

bool RegistryCopy::fail_db(const char* what) {
    m_error = m_file.string() + ": " + what + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
    return false;
}

bool RegistryCopy::exec(const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        m_error = m_file.string() + ": " + (msg ? msg : sqlite3_errmsg(m_db));
        sqlite3_free(msg);
        return false;
    }
    return true;
}

RegResult RegistryCopy::bad_name(std::string_view key, std::string_view name) {
    if (key.find('\0') != std::string_view::npos) {
        m_error = "a key name cannot hold a NUL character";
        return RegResult::BadName;
    }
    if (name.find('\0') != std::string_view::npos) {
        m_error = "a value name cannot hold a NUL character";
        return RegResult::BadName;
    }
    return RegResult::Ok;
}

bool RegistryCopy::begin() {
    const std::string sql = m_depth == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT s" + std::to_string(m_depth);
    if (!exec(sql.c_str())) return false;
    ++m_depth;
    return true;
}

bool RegistryCopy::commit() {
    if (m_depth == 0) return false;
    if (sqlite3_get_autocommit(m_db)) {
        // SQLite already rolled the whole transaction back (a full disk, say).
        m_depth = 0;
        if (m_error.empty()) m_error = m_file.string() + ": the change was rolled back";
        return false;
    }
    if (m_depth > 1) {
        const std::string sql = "RELEASE s" + std::to_string(m_depth - 1);
        if (!exec(sql.c_str())) {
            rollback();
            return false;
        }
        --m_depth;
        return true;
    }
    const std::optional<std::string> sum = checksum();
    if (!sum) {
        fail_db("summing the registry failed");
        rollback();
        return false;
    }
    if (!set_meta("checksum", *sum) || !exec("COMMIT")) {
        rollback();
        return false;
    }
    m_depth = 0;
    return true;
}

void RegistryCopy::rollback() {
    if (m_depth == 0) return;
    if (sqlite3_get_autocommit(m_db)) {
        m_depth = 0;
        return;
    }
    if (m_depth > 1) {
        const std::string n = std::to_string(m_depth - 1);
        const std::string sql = "ROLLBACK TO s" + n + "; RELEASE s" + n;
        sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr);
        --m_depth;
        return;
    }
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_depth = 0;
}

std::optional<std::string> RegistryCopy::checksum() {
    Fnv h;
    const char* queries[] = {"SELECT fold, path FROM keys ORDER BY fold",
                             "SELECT key_fold, fold, name, type, data FROM vals ORDER BY key_fold, fold",
                             "SELECT name, value FROM meta WHERE name<>'checksum' ORDER BY name"};
    for (const char* sql : queries) {
        Stmt st(m_db, sql);
        h.add(sql, std::strlen(sql));
        int rc;
        while ((rc = st.step()) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(st.get()); ++c) h.add_column(st.get(), c);
        // A read that stopped early gives no sum at all.
        if (rc != SQLITE_DONE) return std::nullopt;
    }
    return h.hex();
}

std::optional<std::string> RegistryCopy::read_meta(const char* name) {
    Stmt st(m_db, "SELECT value FROM meta WHERE name=?");
    st.bind(1, std::string_view(name));
    const int rc = st.step();
    if (rc == SQLITE_ROW) return st.text(0);
    if (rc == SQLITE_DONE) return std::string();
    fail_db("read failed");
    return std::nullopt;
}

bool RegistryCopy::set_meta(const char* name, const std::string& value) {
    Stmt st(m_db, "INSERT INTO meta(name, value) VALUES(?,?) ON CONFLICT(name) DO UPDATE SET value=excluded.value");
    st.bind(1, std::string_view(name)).bind(2, value);
    if (st.step() != SQLITE_DONE) return fail_db("writing the registry state failed");
    return true;
}

std::unique_ptr<RegistryCopy> RegistryCopy::connect(const fs::path& file, Mode mode, std::string* error,
                                                    bool* io_error) {
    std::unique_ptr<RegistryCopy> c(new RegistryCopy(file));
    auto io = [&] {
        if (io_error) *io_error = c->m_db && (sqlite3_extended_errcode(c->m_db) & 0xFF) == SQLITE_IOERR;
    };
    // A symbolic link put in the copy's place is never followed.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | (mode == Mode::Existing ? 0 : SQLITE_OPEN_CREATE);
    if (sqlite3_open_v2(file.c_str(), &c->m_db, flags, sqlite_vfs_name()) != SQLITE_OK) {
        if (error)
            *error = file.string() + ": cannot be opened: " + (c->m_db ? sqlite3_errmsg(c->m_db) : "out of memory");
        io();
        return nullptr;
    }
    sqlite3_busy_timeout(c->m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(c->m_db, 1);
    // A new file is invisible until it is renamed into place, and is synced
    // before that: it needs no journal.
    const char* pragmas = mode == Mode::Existing  ? "PRAGMA synchronous=FULL"
                          : mode == Mode::NewFile ? "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF"
                                                  : "PRAGMA journal_mode=MEMORY";
    if (sqlite3_exec(c->m_db, pragmas, nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (error)
            *error = file.string() + (mode == Mode::Existing ? ": not a registry copy: " : ": cannot be written: ") +
                     sqlite3_errmsg(c->m_db);
        io();
        return nullptr;
    }
    return c;
}

bool RegistryCopy::make_schema() {
    const std::string schema = std::string(
                                   "CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
                                   "CREATE TABLE keys(fold TEXT PRIMARY KEY, path TEXT NOT NULL);"
                                   "CREATE TABLE vals(key_fold TEXT NOT NULL, fold TEXT NOT NULL, name TEXT NOT NULL,"
                                   " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key_fold, fold));"
                                   "INSERT INTO keys VALUES('','');"
                                   "INSERT INTO meta VALUES('format','") +
                               kFormat + "'),('valid','1'),('source','');";
    return exec(schema.c_str());
}

std::unique_ptr<RegistryCopy> RegistryCopy::create_in_memory(std::string* error) {
    auto c = connect(":memory:", Mode::Memory, error);
    if (c && !(c->begin() && c->make_schema() && c->commit())) {
        if (error) *error = c->m_error;
        return nullptr;
    }
    return c;
}

std::unique_ptr<RegistryCopy> RegistryCopy::open(const fs::path& file, std::string* error, bool* unreadable,
                                                 std::string* notice) {
    if (unreadable) *unreadable = false;
    if (notice) notice->clear();
    return open_checked(file, error, unreadable, notice, true);
}

std::unique_ptr<RegistryCopy> RegistryCopy::open_checked(const fs::path& file, std::string* error, bool* unreadable,
                                                         std::string* notice, bool convert) {
    auto fail = [&](const std::string& what) {
        if (error) *error = file.string() + ": " + what;
        return nullptr;
    };
    const files::Kind kind = files::kind(file, false);
    if (kind == files::Kind::Missing) return fail("missing");
    if (kind == files::Kind::Symlink)
        return fail("is a symbolic link; a registry copy is never followed to another file");
    if (kind == files::Kind::Unknown) {
        // Looking at it failed: nothing is known of its content.
        if (unreadable) *unreadable = true;
        return fail(std::string("cannot be read: ") + sqlite3_errstr(SQLITE_IOERR));
    }
    if (kind != files::Kind::Regular) return fail("not a regular file");
    const long read_failures = sqlite_read_failures();
    std::string why;
    bool connect_io = false;
    auto c = connect(file, Mode::Existing, &why, &connect_io);
    // A check that failed because the file could not be read says nothing
    // of its content: the copy "cannot be read", it is not "damaged".
    auto fail_check = [&](const std::string& what, bool named = false) {
        const int code = c ? sqlite3_extended_errcode(c->m_db) & 0xFF : SQLITE_OK;
        if (connect_io || code == SQLITE_IOERR || sqlite_read_failures() != read_failures) {
            if (unreadable) *unreadable = true;
            return fail(std::string("cannot be read: ") + sqlite3_errstr(SQLITE_IOERR));
        }
        if (!named) return fail(what);
        if (error) *error = what;
        return nullptr;
    };
    if (!c) return fail_check(why, true);
    // One read transaction: the content checked is the content summed.
    if (!c->exec("BEGIN")) return fail_check("cannot be read: " + std::string(sqlite3_errmsg(c->m_db)));
    {
        Stmt check(c->m_db, "PRAGMA integrity_check");
        if (check.step() != SQLITE_ROW)
            return fail_check("not a registry copy: " + std::string(sqlite3_errmsg(c->m_db)));
        if (check.text(0) != "ok") return fail_check("damaged: " + check.text(0));
    }
    const std::optional<std::string> format = c->read_meta("format");
    const bool older = convert && format == kAsciiFoldFormat;
    if (format != kFormat && !older) return fail_check("not a registry copy of this controller");
    const std::optional<std::string> stored = c->read_meta("checksum");
    const std::optional<std::string> sum = c->checksum();
    if (!stored || !sum || *stored != *sum)
        return fail_check("its content does not match its checksum (changed outside the program)");
    c->exec("COMMIT");
    if (!older) return c;
    // Converted, then checked again as a copy of today's format.
    if (!c->refold(notice)) return fail_check("cannot be converted to this version's format: " + c->m_error);
    c.reset();
    return open_checked(file, error, unreadable, nullptr, false);
}

bool RegistryCopy::create(const fs::path& file, const std::vector<RegKeyDump>& keys, bool valid,
                          const std::string& source, std::string* error, const std::string& controller) {
    const fs::path tmp = file.string() + ".new-" + std::to_string(::getpid());
    auto fail = [&](const std::string& what) {
        sys::unlink(tmp.c_str());
        if (error) *error = what;
        return false;
    };
    sys::unlink(tmp.c_str());
    {
        std::string why;
        auto c = connect(tmp, Mode::NewFile, &why);
        if (!c) return fail(why);
        if (!c->begin() || !c->make_schema() || !c->assign_locked(keys) || !c->set_meta("valid", valid ? "1" : "0") ||
            !c->set_meta("source", source) || !c->set_meta("controller", controller) || !c->commit())
            return fail(c->m_error);
    }
    if (!sync_path(tmp, O_RDONLY)) return fail(tmp.string() + ": cannot be synced: " + errno_text());
    const fs::path journal = file.string() + "-journal";
    if (sys::unlink(journal.c_str()) != 0 && errno != ENOENT)
        return fail(journal.string() + ": cannot be removed: " + errno_text());
    if (sys::rename(tmp.c_str(), file.c_str()) != 0)
        return fail(file.string() + ": cannot be written: " + errno_text());
    const fs::path dir = file.has_parent_path() ? file.parent_path() : fs::path(".");
    if (!sync_path(dir, O_RDONLY | O_DIRECTORY)) {
        if (error) *error = dir.string() + ": cannot be synced: " + errno_text();
        return false;
    }
    return true;
}

bool RegistryCopy::refold(std::string* notice) {
    if (!begin()) return false;
    const std::optional<std::string> format = read_meta("format");
    if (format != kAsciiFoldFormat) {
        rollback();  // converted meanwhile by another process
        return format.has_value();
    }
    // Every row again under its new folded name, in the order the rows were
    // made: of names that are one name now, the first keeps its place.
    std::vector<std::string> paths;
    std::vector<std::pair<std::string, RegValue>> values;  // old key fold, value
    bool ok = true;
    {
        Stmt keys(m_db, "SELECT path FROM keys WHERE fold<>'' ORDER BY rowid");
        int rc;
        while ((rc = keys.step()) == SQLITE_ROW) paths.push_back(keys.text(0));
        Stmt vals(m_db, "SELECT key_fold, name, type, data FROM vals ORDER BY rowid");
        ok = rc == SQLITE_DONE;
        while (ok && (rc = vals.step()) == SQLITE_ROW)
            values.push_back({vals.text(0), {vals.text(1), static_cast<uint32_t>(vals.integer(2)), vals.blob(3)}});
        ok = ok && rc == SQLITE_DONE;
    }
    ok = ok && clear_locked();
    for (size_t i = 0; ok && i < paths.size(); ++i) {
        Stmt st(m_db, "INSERT OR IGNORE INTO keys(fold, path) VALUES(?,?)");
        ok = st.bind(1, name_fold(paths[i])).bind(2, paths[i]).step() == SQLITE_DONE;
    }
    // Values whose place another one took, by the key they are in.
    std::vector<RegKeyDump> merged;
    for (size_t i = 0; ok && i < values.size(); ++i) {
        // The old folded key name differs from the key's own name only in
        // ASCII case, so it folds to the same new name.
        const std::string key_fold = name_fold(values[i].first);
        const RegValue& v = values[i].second;
        Stmt st(m_db, "INSERT OR IGNORE INTO vals(key_fold, fold, name, type, data) VALUES(?,?,?,?,?)");
        st.bind(1, key_fold).bind(2, name_fold(v.name)).bind(3, v.name).bind(4, v.type);
        ok = st.bind_blob(5, v.data.data(), v.data.size()).step() == SQLITE_DONE;
        if (!ok || sqlite3_changes(m_db) != 0) continue;
        Stmt key(m_db, "SELECT path FROM keys WHERE fold=?");
        const std::string path = key.bind(1, key_fold).step() == SQLITE_ROW ? key.text(0) : values[i].first;
        if (merged.empty() || merged.back().key != path) merged.push_back({path, {}});
        merged.back().values.push_back(v);
    }
    if (!ok) fail_db("converting the names failed");
    size_t count = 0;
    for (const RegKeyDump& k : merged) count += k.values.size();
    const fs::path aside = m_file.string() + ".case-merged.reg";
    // Written before the conversion is committed: a conversion cut short is
    // done again and writes the same file.
    if (ok && count > 0) ok = write_file_atomically(aside, format_reg_text(merged), &m_error);
    if (!ok || !set_meta("format", kFormat) || !commit()) {
        rollback();
        return false;
    }
    if (notice && count > 0)
        *notice = m_file.string() + ": names that differ only in the case of letters beyond ASCII are one name now, " +
                  "as in Windows; " + std::to_string(count) + (count == 1 ? " value" : " values") +
                  " that another one of the same name replaced " + (count == 1 ? "is" : "are") + " kept in " +
                  aside.string() + " (import it to have " + (count == 1 ? "it" : "them") + " instead)";
    return true;
}

bool RegistryCopy::key_exists(std::string_view key) {
    if (bad_name(key, "") != RegResult::Ok) return false;
    Stmt st(kept("SELECT 1 FROM keys WHERE fold=?"));
    st.bind(1, name_fold(normalize_key(key)));
    return st.step() == SQLITE_ROW;
}

RegResult RegistryCopy::get(std::string_view key, std::string_view name, RegValue* out) {
    if (RegResult r = bad_name(key, name); r != RegResult::Ok) return r;
    // One statement, so that the key and its value are read from one snapshot.
    Stmt st(
        kept("SELECT EXISTS(SELECT 1 FROM keys WHERE fold=?1), v.name, v.type, v.data"
             " FROM (SELECT 1) LEFT JOIN vals v ON v.key_fold=?1 AND v.fold=?2"));
    st.bind(1, name_fold(normalize_key(key))).bind(2, name_fold(name));
    if (st.step() != SQLITE_ROW) {
        fail_db("read failed");
        return RegResult::IoError;
    }
    if (st.integer(0) == 0) return RegResult::NoKey;
    if (st.is_null(3)) return RegResult::NoValue;
    if (out) {
        out->name = st.text(1);
        out->type = static_cast<uint32_t>(st.integer(2));
        out->data = st.blob(3);
    }
    return RegResult::Ok;
}

RegResult RegistryCopy::set_locked(const std::string& key, std::string_view name, uint32_t type, const uint8_t* data,
                                   size_t size) {
    if (RegResult r = bad_name(key, name); r != RegResult::Ok) return r;
    const std::string k = name_fold(key);
    {
        Stmt st(kept("SELECT 1 FROM keys WHERE fold=?"));
        st.bind(1, k);
        int rc = st.step();
        if (rc == SQLITE_DONE) return RegResult::NoKey;
        if (rc != SQLITE_ROW) return fail_db("write failed"), RegResult::IoError;
    }
    Stmt st(
        kept("INSERT INTO vals(key_fold, fold, name, type, data) VALUES(?,?,?,?,?)"
             " ON CONFLICT(key_fold, fold) DO UPDATE SET type=excluded.type, data=excluded.data"));
    st.bind(1, k).bind(2, name_fold(name)).bind(3, name).bind(4, type).bind_blob(5, data, size);
    if (st.step() != SQLITE_DONE) return fail_db("write failed"), RegResult::IoError;
    return RegResult::Ok;
}

RegResult RegistryCopy::delete_value_locked(const std::string& key, std::string_view name) {
    if (RegResult r = bad_name(key, name); r != RegResult::Ok) return r;
    {
        Stmt st(kept("SELECT 1 FROM keys WHERE fold=?"));
        st.bind(1, name_fold(key));
        int rc = st.step();
        if (rc == SQLITE_DONE) return RegResult::NoKey;
        if (rc != SQLITE_ROW) return fail_db("delete failed"), RegResult::IoError;
    }
    Stmt st(kept("DELETE FROM vals WHERE key_fold=? AND fold=?"));
    st.bind(1, name_fold(key)).bind(2, name_fold(name));
    if (st.step() != SQLITE_DONE) return fail_db("delete failed"), RegResult::IoError;
    return sqlite3_changes(m_db) ? RegResult::Ok : RegResult::NoValue;
}

RegResult RegistryCopy::delete_key_locked(const std::string& key) {
    if (RegResult r = bad_name(key, ""); r != RegResult::Ok) return r;
    const std::string k = name_fold(key);
    if (k.empty()) {
        m_error = "the root of HKEY_LOCAL_MACHINE cannot be deleted";
        return RegResult::Denied;
    }
    {
        Stmt st(kept("SELECT 1 FROM keys WHERE fold=?"));
        st.bind(1, k);
        int rc = st.step();
        if (rc == SQLITE_DONE) return RegResult::NoKey;
        if (rc != SQLITE_ROW) return fail_db("delete failed"), RegResult::IoError;
    }
    // The key itself and every key below it.
    for (const char* sql : {"DELETE FROM vals WHERE key_fold=?1 OR (key_fold>=?2 AND key_fold<?3)",
                            "DELETE FROM keys WHERE fold=?1 OR (fold>=?2 AND fold<?3)"}) {
        Stmt st(m_db, sql);
        st.bind(1, k).bind(2, below_low(k)).bind(3, below_high(k));
        if (st.step() != SQLITE_DONE) return fail_db("delete failed"), RegResult::IoError;
    }
    return RegResult::Ok;
}

bool RegistryCopy::insert_key_path(const std::string& key) {
    std::string path;
    for (size_t i = 0; i < key.size();) {
        size_t j = key.find('\\', i);
        if (j == std::string::npos) j = key.size();
        if (!path.empty()) path += '\\';
        path += key.substr(i, j - i);
        Stmt st(kept("INSERT OR IGNORE INTO keys(fold, path) VALUES(?,?)"));
        st.bind(1, name_fold(path)).bind(2, path);
        if (st.step() != SQLITE_DONE) return false;
        i = j + 1;
    }
    return true;
}

RegResult RegistryCopy::make_key_locked(const std::string& key) {
    if (RegResult r = bad_name(key, ""); r != RegResult::Ok) return r;
    if (!insert_key_path(key)) return fail_db("creating a key failed"), RegResult::IoError;
    return RegResult::Ok;
}

namespace {

// Runs one change in its own transaction (or as part of the open one).
template <typename F>
RegResult in_transaction(RegistryCopy& c, F change) {
    if (!c.begin()) return RegResult::IoError;
    RegResult r = change();
    if (r != RegResult::Ok) {
        c.rollback();
        return r;
    }
    return c.commit() ? RegResult::Ok : RegResult::IoError;
}

}  // namespace

RegResult RegistryCopy::set(std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                            size_t size) {
    return in_transaction(*this, [&] { return set_locked(normalize_key(key), name, type, data, size); });
}

RegResult RegistryCopy::delete_value(std::string_view key, std::string_view name) {
    return in_transaction(*this, [&] { return delete_value_locked(normalize_key(key), name); });
}

RegResult RegistryCopy::delete_key(std::string_view key) {
    return in_transaction(*this, [&] { return delete_key_locked(normalize_key(key)); });
}

RegResult RegistryCopy::make_key(std::string_view key) {
    return in_transaction(*this, [&] { return make_key_locked(normalize_key(key)); });
}

std::vector<RegKeyDump> RegistryCopy::dump(std::string_view key) {
    std::vector<RegKeyDump> out;
    dump(key, &out);
    return out;
}

bool RegistryCopy::dump(std::string_view key, std::vector<RegKeyDump>* out) {
    out->clear();
    if (bad_name(key, "") != RegResult::Ok) return false;
    // Inside a transaction of ours the dump sees its changes; otherwise it
    // reads one snapshot of its own.
    const bool own = m_depth == 0;
    if (own && !exec("BEGIN")) return false;
    const std::string k = name_fold(normalize_key(key));
    bool ok = true;
    Stmt keys(m_db, "SELECT path, fold FROM keys WHERE fold=?1 OR ?1='' OR (fold>=?2 AND fold<?3) ORDER BY fold");
    keys.bind(1, k).bind(2, below_low(k)).bind(3, below_high(k));
    std::vector<std::string> folds;
    int rc;
    while ((rc = keys.step()) == SQLITE_ROW) {
        out->push_back({keys.text(0), {}});
        folds.push_back(keys.text(1));
    }
    ok = rc == SQLITE_DONE;
    for (size_t i = 0; ok && i < out->size(); ++i) {
        Stmt vals(kept("SELECT name, type, data FROM vals WHERE key_fold=? ORDER BY fold"));
        vals.bind(1, folds[i]);
        while ((rc = vals.step()) == SQLITE_ROW)
            (*out)[i].values.push_back({vals.text(0), static_cast<uint32_t>(vals.integer(1)), vals.blob(2)});
        ok = rc == SQLITE_DONE;
    }
    if (!ok) fail_db("read failed");
    // The read transaction ends; after a failed read SQLite may have ended it
    // already, and the failure is what is told.
    if (own && ok) exec("COMMIT");
    if (own && !ok) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (!out->empty() && out->front().key.empty() && out->front().values.empty() && k.empty()) out->erase(out->begin());
    if (!ok) out->clear();
    return ok;
}

bool RegistryCopy::apply_locked(const RegChange& c) {
    const std::string key = normalize_key(c.key);
    RegResult r = RegResult::Ok;
    switch (c.kind) {
        case RegChange::Kind::CreateKey:
            r = make_key_locked(key);
            break;
        case RegChange::Kind::DeleteKey:
            r = delete_key_locked(key);
            if (r == RegResult::NoKey) r = RegResult::Ok;
            break;
        case RegChange::Kind::SetValue:
            r = set_locked(key, c.value.name, c.value.type, c.value.data.data(), c.value.data.size());
            break;
        case RegChange::Kind::DeleteValue:
            r = delete_value_locked(key, c.value.name);
            if (r == RegResult::NoKey || r == RegResult::NoValue) r = RegResult::Ok;
            break;
    }
    if (r != RegResult::Ok) {
        if (r != RegResult::IoError && r != RegResult::BadName)
            m_error = "cannot apply the change to \"" + c.key + "\"";
        return false;
    }
    return true;
}

bool RegistryCopy::apply_locked(const std::vector<RegChange>& changes) {
    for (const RegChange& c : changes)
        if (!apply_locked(c)) return false;
    return true;
}

bool RegistryCopy::apply_change(const RegChange& change) {
    if (m_depth == 0) {
        m_error = m_file.string() + ": a change of a .reg file is applied inside a transaction";
        return false;
    }
    return apply_locked(change);
}

bool RegistryCopy::apply(const std::vector<RegChange>& changes) {
    return in_transaction(*this, [&] { return apply_locked(changes) ? RegResult::Ok : RegResult::IoError; }) ==
           RegResult::Ok;
}

bool RegistryCopy::clear_locked() {
    if (!exec("DELETE FROM vals") || !exec("DELETE FROM keys WHERE fold<>''")) return false;
    return true;
}

bool RegistryCopy::assign_locked(const std::vector<RegKeyDump>& keys) {
    if (!clear_locked()) return false;
    for (const RegKeyDump& k : keys) {
        const std::string key = normalize_key(k.key);
        // Copied as they are: a name that an older version let in is carried
        // over rather than lost.
        if (!insert_key_path(key)) return fail_db("copying the registry failed");
        for (const RegValue& v : k.values) {
            Stmt st(kept("INSERT OR REPLACE INTO vals(key_fold, fold, name, type, data) VALUES(?,?,?,?,?)"));
            st.bind(1, name_fold(key))
                .bind(2, name_fold(v.name))
                .bind(3, v.name)
                .bind(4, v.type)
                .bind_blob(5, v.data.data(), v.data.size());
            if (st.step() != SQLITE_DONE) return fail_db("copying the registry failed");
        }
    }
    return true;
}

bool RegistryCopy::assign(const std::vector<RegKeyDump>& keys) {
    return in_transaction(*this, [&] { return assign_locked(keys) ? RegResult::Ok : RegResult::IoError; }) ==
           RegResult::Ok;
}

std::optional<bool> RegistryCopy::valid() {
    const std::optional<std::string> v = read_meta("valid");
    if (!v) return std::nullopt;
    return *v == "1";
}

bool RegistryCopy::set_valid(bool valid) {
    return in_transaction(*this, [&] {
               return set_meta("valid", valid ? "1" : "0") ? RegResult::Ok : RegResult::IoError;
           }) == RegResult::Ok;
}

std::string RegistryCopy::source() { return meta("source"); }

std::string RegistryCopy::controller() { return meta("controller"); }

bool RegistryCopy::set_controller(const std::string& id) {
    return in_transaction(*this, [&] { return set_meta("controller", id) ? RegResult::Ok : RegResult::IoError; }) ==
           RegResult::Ok;
}

bool RegistryCopy::set_source(const std::string& source) {
    return in_transaction(*this, [&] { return set_meta("source", source) ? RegResult::Ok : RegResult::IoError; }) ==
           RegResult::Ok;
}

}  // namespace orva::sim
