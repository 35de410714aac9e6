// One copy of the registry (live, saved or factory) in a SQLite file of its
// own, with a checksum of its content that every change keeps up to date and
// that is verified when the file is opened, and the identifier of the
// controller it belongs to. Keys and values keep the case they were created
// with and are found case-insensitively, as Windows finds them (name_fold).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "simulator/controller.h"
#include "simulator/reg_file.h"

struct sqlite3;
struct sqlite3_stmt;

namespace orva::sim {

// "Drivers\\Display\\MQ200" with empty components (doubled or outer
// backslashes) removed. The root of HKEY_LOCAL_MACHINE is "".
std::string normalize_key(std::string_view key);

// 64-bit FNV-1a of `bytes`, as 16 lower-case hexadecimal digits.
std::string content_hash(std::string_view bytes);

class RegistryCopy {
public:
    ~RegistryCopy();
    RegistryCopy(const RegistryCopy&) = delete;
    RegistryCopy& operator=(const RegistryCopy&) = delete;

    // Opens an existing copy and checks it: SQLite's integrity check, the
    // format, and the checksum of the content. nullptr and a message
    // "FILE: why" when it is missing, is a symbolic link (never followed: it
    // would lead to another controller's file) or fails a check; when the
    // file could not be read (an I/O error, not damage), the message says so
    // and `unreadable` is set. A copy of an earlier version, whose names were
    // found by ASCII case only, is converted first (and checked again); when
    // names that are one name now held two values, one is kept and the
    // others are written to FILE.case-merged.reg, which *notice then names.
    static std::unique_ptr<RegistryCopy> open(const std::filesystem::path& file, std::string* error,
                                              bool* unreadable = nullptr, std::string* notice = nullptr);

    // Writes a new copy holding `keys` (as dump() gives them) to a temporary
    // file beside `file`, syncs it and renames it over `file`, so that `file`
    // is at every moment either what it was or the whole new copy. A journal
    // left by the file it replaces is removed first (it would be played back
    // into the new file). The copy belongs to the controller `controller`.
    static bool create(const std::filesystem::path& file, const std::vector<RegKeyDump>& keys, bool valid,
                       const std::string& source, std::string* error, const std::string& controller = "");

    // An empty copy that lives in memory only, for tests.
    static std::unique_ptr<RegistryCopy> create_in_memory(std::string* error);

    const std::filesystem::path& file() const { return m_file; }

    // Names holding a NUL character are refused with BadName (and a message
    // in last_error()); they cannot be stored or looked up.
    bool key_exists(std::string_view key);
    // NoKey, NoValue or Ok with the value as stored.
    RegResult get(std::string_view key, std::string_view name, RegValue* out);
    // Stores exactly `size` bytes; an existing value keeps its spelling. NoKey
    // when the key does not exist: keys are never created here.
    RegResult set(std::string_view key, std::string_view name, uint32_t type, const uint8_t* data, size_t size);
    RegResult delete_value(std::string_view key, std::string_view name);
    // Deletes the key with its subkeys and values. The root cannot be deleted.
    RegResult delete_key(std::string_view key);
    // Creates the key and any missing parents; Ok when it already exists.
    RegResult make_key(std::string_view key);

    // The key and every key below it, parents before children, with values;
    // empty when the key does not exist. The root is listed only when it
    // holds values.
    std::vector<RegKeyDump> dump(std::string_view key);
    // The same, false (with last_error()) when the copy could not be read
    // in full.
    bool dump(std::string_view key, std::vector<RegKeyDump>* out);

    // Applies the changes of a .reg file in one transaction: all or nothing.
    bool apply(const std::vector<RegChange>& changes);
    // Applies one change inside the transaction begun with begin() (a
    // file read change by change, undone with rollback() when it fails).
    bool apply_change(const RegChange& change);
    // Replaces the whole content with `keys` (as dump() gives them) in one
    // transaction.
    bool assign(const std::vector<RegKeyDump>& keys);

    // Whether the copy is valid: for the saved copy, that no registry segment
    // was erased since it was written. nullopt (with last_error()) when it
    // could not be read.
    std::optional<bool> valid();
    bool set_valid(bool valid);
    // What the copy was last loaded from (the hash of factory.reg for the
    // factory copy); "" when unknown.
    std::string source();
    bool set_source(const std::string& source);
    // The identifier of the controller the copy belongs to; "" for a copy
    // made before copies recorded it.
    std::string controller();
    bool set_controller(const std::string& id);

    // A transaction around several changes: the changes above join it (and
    // fail or succeed with it). commit() brings the checksum up to date.
    bool begin();
    bool commit();
    void rollback();

    // The message of the last failure, naming the file.
    const std::string& last_error() const { return m_error; }

private:
    explicit RegistryCopy(std::filesystem::path file) : m_file(std::move(file)) {}
    enum class Mode { Existing, NewFile, Memory };
    // `io_error` is set when it failed on an I/O error.
    static std::unique_ptr<RegistryCopy> connect(const std::filesystem::path& file, Mode mode, std::string* error,
                                                 bool* io_error = nullptr);
    static std::unique_ptr<RegistryCopy> open_checked(const std::filesystem::path& file, std::string* error,
                                                      bool* unreadable, std::string* notice, bool convert);
    // Folds every name of an earlier version's copy anew, in one transaction.
    bool refold(std::string* notice);
    bool make_schema();
    bool exec(const char* sql);
    // The statement of `sql` (a string literal: kept by its address),
    // prepared on first use and kept until the copy is closed.
    sqlite3_stmt* kept(const char* sql);
    bool fail_db(const char* what);
    RegResult bad_name(std::string_view key, std::string_view name);
    // The meta row's value ("" when there is none); nullopt when it could not
    // be read.
    std::optional<std::string> read_meta(const char* name);
    std::string meta(const char* name) { return read_meta(name).value_or(""); }
    bool set_meta(const char* name, const std::string& value);
    // The checksum of the content; nullopt when it could not be read whole.
    std::optional<std::string> checksum();
    // Adds `key` and each key above it that is missing; false on a failed
    // write (the caller tells it).
    bool insert_key_path(const std::string& key);
    RegResult make_key_locked(const std::string& key);
    RegResult delete_key_locked(const std::string& key);
    RegResult set_locked(const std::string& key, std::string_view name, uint32_t type, const uint8_t* data,
                         size_t size);
    RegResult delete_value_locked(const std::string& key, std::string_view name);
    bool clear_locked();
    bool apply_locked(const RegChange& change);
    bool apply_locked(const std::vector<RegChange>& changes);
    bool assign_locked(const std::vector<RegKeyDump>& keys);

    std::filesystem::path m_file;
    sqlite3* m_db = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> m_kept;
    int m_depth = 0;  // open transactions: 1 is BEGIN, more are savepoints
    std::string m_error;
};

}  // namespace orva::sim
