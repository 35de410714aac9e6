// The registry database on SQLite: three hives in two tables, every change in
// one transaction, a busy time-out so that two processes never see a torn
// registry.
#include "simulator/registry_store.h"

#include <sqlite3.h>

#include "simulator/text.h"

namespace orva::sim {

namespace {

constexpr const char* kFormat = "orva-registry 1";
constexpr int kBusyTimeoutMs = 5000;

// One prepared statement, finalized when it goes out of scope.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    Stmt& bind(int i, int64_t v) { sqlite3_bind_int64(m_stmt, i, v); return *this; }
    Stmt& bind(int i, std::string_view s) {
        sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bind_blob(int i, const uint8_t* d, size_t n) {
        sqlite3_bind_blob(m_stmt, i, n ? d : reinterpret_cast<const uint8_t*>(""), static_cast<int>(n), SQLITE_TRANSIENT);
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

private:
    sqlite3_stmt* m_stmt = nullptr;
};

int hive_id(Hive h) { return static_cast<int>(h); }

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

RegistryStore::~RegistryStore() {
    if (m_db) sqlite3_close_v2(m_db);
}

bool RegistryStore::fail_db(const char* what) {
    m_error = m_file.string() + ": " + what + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
    return false;
}

bool RegistryStore::exec(const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        m_error = m_file.string() + ": " + (msg ? msg : sqlite3_errmsg(m_db));
        sqlite3_free(msg);
        return false;
    }
    return true;
}

bool RegistryStore::begin() { return exec("BEGIN IMMEDIATE"); }

bool RegistryStore::commit() {
    if (exec("COMMIT")) return true;
    rollback();
    return false;
}

void RegistryStore::rollback() {
    if (!sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::unique_ptr<RegistryStore> RegistryStore::open(const std::filesystem::path& file, bool create, std::string* error) {
    std::unique_ptr<RegistryStore> s(new RegistryStore(file));
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return nullptr;
    };
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(file.c_str(), &s->m_db, flags, nullptr) != SQLITE_OK)
        return fail(file.string() + ": cannot open the registry database: " +
                    (s->m_db ? sqlite3_errmsg(s->m_db) : "out of memory"));
    sqlite3_busy_timeout(s->m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(s->m_db, 1);
    if (!s->exec("PRAGMA synchronous=FULL")) return fail(s->m_error);
    if (create) {
        const std::string sql = std::string(
            "BEGIN IMMEDIATE;"
            "CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
            "CREATE TABLE keys(hive INTEGER NOT NULL, fold TEXT NOT NULL, path TEXT NOT NULL, PRIMARY KEY(hive, fold));"
            "CREATE TABLE vals(hive INTEGER NOT NULL, key_fold TEXT NOT NULL, fold TEXT NOT NULL, name TEXT NOT NULL,"
            " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(hive, key_fold, fold));"
            "INSERT INTO keys VALUES(0,'',''),(1,'',''),(2,'','');"
            "INSERT INTO meta VALUES('format','") + kFormat + "'),('saved_valid','1');"
            "COMMIT;";
        if (!s->exec(sql.c_str())) {
            s->rollback();
            return fail(s->m_error);
        }
        return s;
    }
    {
        Stmt check(s->m_db, "PRAGMA integrity_check");
        int rc = check.step();
        if (rc != SQLITE_ROW) {
            s->fail_db("not a usable registry database");
            return fail(s->m_error);
        }
        if (check.text(0) != "ok") return fail(file.string() + ": the registry database is damaged: " + check.text(0));
    }
    Stmt fmt(s->m_db, "SELECT value FROM meta WHERE name='format'");
    if (!fmt.ok() || fmt.step() != SQLITE_ROW || fmt.text(0) != kFormat)
        return fail(file.string() + ": not a registry database of this controller");
    return s;
}

bool RegistryStore::key_exists(Hive hive, std::string_view key) {
    Stmt st(m_db, "SELECT 1 FROM keys WHERE hive=? AND fold=?");
    st.bind(1, hive_id(hive)).bind(2, ascii_fold(normalize_key(key)));
    return st.step() == SQLITE_ROW;
}

RegResult RegistryStore::get(Hive hive, std::string_view key, std::string_view name, RegValue* out) {
    // One statement, so that the key and its value are read from one snapshot.
    Stmt st(m_db,
            "SELECT EXISTS(SELECT 1 FROM keys WHERE hive=?1 AND fold=?2), v.name, v.type, v.data"
            " FROM (SELECT 1) LEFT JOIN vals v ON v.hive=?1 AND v.key_fold=?2 AND v.fold=?3");
    st.bind(1, hive_id(hive)).bind(2, ascii_fold(normalize_key(key))).bind(3, ascii_fold(name));
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

RegResult RegistryStore::set_locked(Hive hive, const std::string& key, std::string_view name, uint32_t type,
                                    const uint8_t* data, size_t size) {
    const std::string k = ascii_fold(key);
    {
        Stmt st(m_db, "SELECT 1 FROM keys WHERE hive=? AND fold=?");
        st.bind(1, hive_id(hive)).bind(2, k);
        int rc = st.step();
        if (rc == SQLITE_DONE) return RegResult::NoKey;
        if (rc != SQLITE_ROW) return fail_db("write failed"), RegResult::IoError;
    }
    Stmt st(m_db,
            "INSERT INTO vals(hive, key_fold, fold, name, type, data) VALUES(?,?,?,?,?,?)"
            " ON CONFLICT(hive, key_fold, fold) DO UPDATE SET type=excluded.type, data=excluded.data");
    st.bind(1, hive_id(hive)).bind(2, k).bind(3, ascii_fold(name)).bind(4, name).bind(5, type).bind_blob(6, data, size);
    if (st.step() != SQLITE_DONE) return fail_db("write failed"), RegResult::IoError;
    return RegResult::Ok;
}

RegResult RegistryStore::set(Hive hive, std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                             size_t size) {
    if (!begin()) return RegResult::IoError;
    RegResult r = set_locked(hive, normalize_key(key), name, type, data, size);
    if (r != RegResult::Ok) {
        rollback();
        return r;
    }
    return commit() ? RegResult::Ok : RegResult::IoError;
}

RegResult RegistryStore::delete_value(Hive hive, std::string_view key, std::string_view name) {
    if (!key_exists(hive, key)) return RegResult::NoKey;
    Stmt st(m_db, "DELETE FROM vals WHERE hive=? AND key_fold=? AND fold=?");
    st.bind(1, hive_id(hive)).bind(2, ascii_fold(normalize_key(key))).bind(3, ascii_fold(name));
    if (st.step() != SQLITE_DONE) return fail_db("delete failed"), RegResult::IoError;
    return sqlite3_changes(m_db) ? RegResult::Ok : RegResult::NoValue;
}

RegResult RegistryStore::delete_key_locked(Hive hive, const std::string& key) {
    const std::string k = ascii_fold(key);
    if (k.empty()) {
        m_error = "the root of HKEY_LOCAL_MACHINE cannot be deleted";
        return RegResult::Denied;
    }
    {
        Stmt st(m_db, "SELECT 1 FROM keys WHERE hive=? AND fold=?");
        st.bind(1, hive_id(hive)).bind(2, k);
        if (st.step() != SQLITE_ROW) return RegResult::NoKey;
    }
    // The key itself and every key whose path starts with "key\".
    for (const char* sql : {"DELETE FROM vals WHERE hive=?1 AND (key_fold=?2 OR substr(key_fold, 1, length(?2) + 1) = ?2 || '\\')",
                            "DELETE FROM keys WHERE hive=?1 AND (fold=?2 OR substr(fold, 1, length(?2) + 1) = ?2 || '\\')"}) {
        Stmt st(m_db, sql);
        st.bind(1, hive_id(hive)).bind(2, k);
        if (st.step() != SQLITE_DONE) return fail_db("delete failed"), RegResult::IoError;
    }
    return RegResult::Ok;
}

RegResult RegistryStore::delete_key(Hive hive, std::string_view key) {
    if (!begin()) return RegResult::IoError;
    RegResult r = delete_key_locked(hive, normalize_key(key));
    if (r != RegResult::Ok) {
        rollback();
        return r;
    }
    return commit() ? RegResult::Ok : RegResult::IoError;
}

RegResult RegistryStore::make_key_locked(Hive hive, const std::string& key) {
    std::string path;
    size_t i = 0;
    while (i < key.size()) {
        size_t j = key.find('\\', i);
        if (j == std::string::npos) j = key.size();
        if (!path.empty()) path += '\\';
        path += key.substr(i, j - i);
        Stmt st(m_db, "INSERT OR IGNORE INTO keys(hive, fold, path) VALUES(?,?,?)");
        st.bind(1, hive_id(hive)).bind(2, ascii_fold(path)).bind(3, path);
        if (st.step() != SQLITE_DONE) return fail_db("creating a key failed"), RegResult::IoError;
        i = j + 1;
    }
    return RegResult::Ok;
}

RegResult RegistryStore::make_key(Hive hive, std::string_view key) {
    if (!begin()) return RegResult::IoError;
    RegResult r = make_key_locked(hive, normalize_key(key));
    if (r != RegResult::Ok) {
        rollback();
        return r;
    }
    return commit() ? RegResult::Ok : RegResult::IoError;
}

std::vector<RegKeyDump> RegistryStore::dump(Hive hive, std::string_view key) {
    std::vector<RegKeyDump> out;
    if (!exec("BEGIN")) return out;
    const std::string k = ascii_fold(normalize_key(key));
    Stmt keys(m_db,
              "SELECT path, fold FROM keys WHERE hive=?1 AND (fold=?2 OR ?2='' OR substr(fold, 1, length(?2) + 1) = ?2 || '\\')"
              " ORDER BY fold");
    keys.bind(1, hive_id(hive)).bind(2, k);
    std::vector<std::string> folds;
    while (keys.step() == SQLITE_ROW) {
        out.push_back({keys.text(0), {}});
        folds.push_back(keys.text(1));
    }
    for (size_t i = 0; i < out.size(); ++i) {
        Stmt vals(m_db, "SELECT name, type, data FROM vals WHERE hive=? AND key_fold=? ORDER BY fold");
        vals.bind(1, hive_id(hive)).bind(2, folds[i]);
        while (vals.step() == SQLITE_ROW)
            out[i].values.push_back({vals.text(0), static_cast<uint32_t>(vals.integer(1)), vals.blob(2)});
    }
    exec("COMMIT");
    // The root is listed only when it holds values.
    if (!out.empty() && out.front().key.empty() && out.front().values.empty() && k.empty()) out.erase(out.begin());
    return out;
}

bool RegistryStore::apply_locked(Hive hive, const std::vector<RegChange>& changes) {
    for (const RegChange& c : changes) {
        const std::string key = normalize_key(c.key);
        RegResult r = RegResult::Ok;
        switch (c.kind) {
        case RegChange::Kind::CreateKey: r = make_key_locked(hive, key); break;
        case RegChange::Kind::DeleteKey:
            r = delete_key_locked(hive, key);
            if (r == RegResult::NoKey) r = RegResult::Ok;
            break;
        case RegChange::Kind::SetValue:
            r = set_locked(hive, key, c.value.name, c.value.type, c.value.data.data(), c.value.data.size());
            break;
        case RegChange::Kind::DeleteValue: {
            Stmt st(m_db, "DELETE FROM vals WHERE hive=? AND key_fold=? AND fold=?");
            st.bind(1, hive_id(hive)).bind(2, ascii_fold(key)).bind(3, ascii_fold(c.value.name));
            if (st.step() != SQLITE_DONE) r = RegResult::IoError, fail_db("delete failed");
            break;
        }
        }
        if (r != RegResult::Ok) {
            if (m_error.empty() || r != RegResult::IoError) m_error = "cannot apply the change to \"" + c.key + "\"";
            return false;
        }
    }
    return true;
}

bool RegistryStore::apply(Hive hive, const std::vector<RegChange>& changes) {
    if (!begin()) return false;
    if (!apply_locked(hive, changes)) {
        rollback();
        return false;
    }
    return commit();
}

bool RegistryStore::clear_locked(Hive hive) {
    for (const char* sql : {"DELETE FROM vals WHERE hive=?", "DELETE FROM keys WHERE hive=? AND fold<>''"}) {
        Stmt st(m_db, sql);
        st.bind(1, hive_id(hive));
        if (st.step() != SQLITE_DONE) return fail_db("clearing the registry failed");
    }
    return true;
}

bool RegistryStore::copy(Hive from, Hive to) {
    if (from == to) return true;
    if (!begin()) return false;
    bool ok = clear_locked(to);
    for (const char* sql : {"INSERT INTO keys(hive, fold, path) SELECT ?2, fold, path FROM keys WHERE hive=?1 AND fold<>''",
                            "INSERT INTO vals(hive, key_fold, fold, name, type, data)"
                            " SELECT ?2, key_fold, fold, name, type, data FROM vals WHERE hive=?1",
                            "UPDATE meta SET value='1' WHERE name='saved_valid' AND ?2=1 AND ?1>=0"}) {
        if (!ok) break;
        Stmt st(m_db, sql);
        st.bind(1, hive_id(from)).bind(2, hive_id(to));
        if (st.step() != SQLITE_DONE) ok = fail_db("copying the registry failed");
    }
    if (!ok) {
        rollback();
        return false;
    }
    return commit();
}

bool RegistryStore::replace(Hive hive, const std::vector<RegChange>& changes) {
    if (!begin()) return false;
    if (!clear_locked(hive) || !apply_locked(hive, changes)) {
        rollback();
        return false;
    }
    return commit();
}

bool RegistryStore::saved_valid() {
    Stmt st(m_db, "SELECT value FROM meta WHERE name='saved_valid'");
    return st.step() == SQLITE_ROW && st.text(0) == "1";
}

bool RegistryStore::set_saved_valid(bool valid) {
    Stmt st(m_db, "UPDATE meta SET value=? WHERE name='saved_valid'");
    st.bind(1, std::string_view(valid ? "1" : "0"));
    if (st.step() != SQLITE_DONE) return fail_db("writing the registry state failed");
    return true;
}

}  // namespace orva::sim
