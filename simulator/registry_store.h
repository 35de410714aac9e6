// The registry database (SQLite): the live registry, the copy saved in the
// registry area of flash, and the factory registry, as three hives of one
// store. Keys and values keep the case they were created with and are found
// case-insensitively (ASCII).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/controller.h"
#include "simulator/reg_file.h"

struct sqlite3;

namespace orva::sim {

enum class Hive { Live = 0, Saved = 1, Factory = 2 };

// "Drivers\\Display\\MQ200" with empty components (doubled or outer
// backslashes) removed. The root of HKEY_LOCAL_MACHINE is "".
std::string normalize_key(std::string_view key);

class RegistryStore {
public:
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // Opens an existing database and checks its integrity and format; or,
    // with `create`, makes a new empty one (each hive holds only its root).
    // nullptr and a message naming the file on failure.
    static std::unique_ptr<RegistryStore> open(const std::filesystem::path& file, bool create, std::string* error);

    bool key_exists(Hive hive, std::string_view key);
    // NoKey, NoValue or Ok with the value as stored.
    RegResult get(Hive hive, std::string_view key, std::string_view name, RegValue* out);
    // Stores exactly `size` bytes; an existing value keeps its spelling. NoKey
    // when the key does not exist: keys are never created here.
    RegResult set(Hive hive, std::string_view key, std::string_view name, uint32_t type, const uint8_t* data, size_t size);
    RegResult delete_value(Hive hive, std::string_view key, std::string_view name);
    // Deletes the key with its subkeys and values. The root cannot be deleted.
    RegResult delete_key(Hive hive, std::string_view key);
    // Creates the key and any missing parents; Ok when it already exists.
    RegResult make_key(Hive hive, std::string_view key);

    // The key and every key below it, parents before children, with values;
    // empty when the key does not exist.
    std::vector<RegKeyDump> dump(Hive hive, std::string_view key);

    // Applies the changes of a .reg file in one transaction: all or nothing.
    bool apply(Hive hive, const std::vector<RegChange>& changes);
    // Makes `to` an exact copy of `from` in one transaction. Copying into the
    // saved hive marks it valid.
    bool copy(Hive from, Hive to);
    // Replaces a hive with the result of applying `changes` to an empty one.
    bool replace(Hive hive, const std::vector<RegChange>& changes);

    // Whether the saved copy is still valid (no registry segment erased since
    // it was written). Persisted in the database.
    bool saved_valid();
    bool set_saved_valid(bool valid);

    // The message of the last failure, naming the database file.
    const std::string& last_error() const { return m_error; }

private:
    explicit RegistryStore(std::filesystem::path file) : m_file(std::move(file)) {}
    bool exec(const char* sql);
    bool begin();
    bool commit();
    void rollback();
    bool fail_db(const char* what);
    RegResult make_key_locked(Hive hive, const std::string& key);
    RegResult delete_key_locked(Hive hive, const std::string& key);
    RegResult set_locked(Hive hive, const std::string& key, std::string_view name, uint32_t type, const uint8_t* data, size_t size);
    bool clear_locked(Hive hive);
    bool apply_locked(Hive hive, const std::vector<RegChange>& changes);

    std::filesystem::path m_file;
    sqlite3* m_db = nullptr;
    std::string m_error;
};

}  // namespace orva::sim
