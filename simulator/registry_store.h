// The registry of a controller directory: the live registry, the copy saved
// in the registry area of flash and the factory registry, each in a SQLite
// file of its own (registry-live.db, registry-saved.db, registry-factory.db)
// that is checked when it is opened, so that one damaged file takes only its
// own copy with it. Each copy records the controller it belongs to (the
// identifier in controller.id, made when the controller is made): a copy of
// another controller, or a symbolic link in a copy's place, is refused. The
// factory copy is kept in step with factory.reg, the factory registry as
// text: a change to it is in both or in neither, and factory.reg is checked
// against the copy like a copy against its checksum. A factory.reg that no
// longer parses, or no longer is what the copy was loaded from, is
// reported and the copy kept; either is rebuilt from the other only on
// purpose (load_factory_file, write_factory_file).
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/controller.h"
#include "simulator/reg_file.h"
#include "simulator/registry_copy.h"

namespace orva::sim {

enum class Hive { Live = 0, Saved = 1, Factory = 2 };

// What a restart finds in the saved copy: a copy to load; none (erased
// since it was saved, or damaged); or a copy that could not be read (an I/O
// error), which is neither.
enum class SavedState { Valid, Invalid, Unreadable };

// File names inside a controller directory.
inline constexpr const char* kLiveCopyFile = "registry-live.db";
inline constexpr const char* kSavedCopyFile = "registry-saved.db";
inline constexpr const char* kFactoryCopyFile = "registry-factory.db";
inline constexpr const char* kFactoryFile = "factory.reg";
// The checksum of a factory.reg being written by a change not yet committed.
inline constexpr const char* kFactoryPendingFile = "factory.reg.pending";
// The controller's identifier: 32 hexadecimal digits and a line feed.
inline constexpr const char* kControllerIdFile = "controller.id";
// The one database of older controllers, converted when it is found.
inline constexpr const char* kOldRegistryFile = "registry.db";

// "registry-live.db" and so on.
const char* copy_file_name(Hive hive);
// "live copy", "saved copy", "factory copy".
const char* copy_name(Hive hive);

class RegistryStore {
public:
    // Opens the registry of a controller directory. An older controller's
    // registry.db is converted first (once; it is removed when all three
    // copies are written). A copy that is missing or fails its check is left
    // unusable and listed in problems(); the others stay usable. The factory
    // copy is rebuilt from factory.reg when it is unusable (or was never
    // loaded whole), and loaded from it when a change was killed after
    // writing factory.reg and before its commit; otherwise a factory.reg that
    // cannot be read or parsed, or that is not what the copy was loaded from,
    // is listed in problems() and the copy stays as it was. nullptr and a
    // message only when the conversion fails. With `create`, a new controller identifier and three
    // empty copies are made first. A controller without an identifier (made
    // by an older version, or whose controller.id was lost) takes the one its
    // copies record, or a new one, and copies that record none are given it.
    static std::unique_ptr<RegistryStore> open(const std::filesystem::path& dir, bool create, std::string* error);

    // The identifier of the controller the copies belong to.
    const std::string& controller_id() const { return m_id; }

    // One message for each copy that failed its check when the store was
    // opened, naming the copy and its file and saying what to do; and one
    // for each copy of an earlier version whose conversion set values aside.
    const std::vector<std::string>& problems() const { return m_problems; }
    // Whether a copy can be used; when it cannot, why (naming it and its file).
    bool usable(Hive hive);
    std::string unusable_reason(Hive hive);

    // On an unusable copy these fail with IoError (false, empty) and the
    // reason in last_error(); a name holding a NUL fails with BadName. A
    // change to the factory copy also rewrites factory.reg: when that cannot
    // be written, the change is not made.
    bool key_exists(Hive hive, std::string_view key);
    RegResult get(Hive hive, std::string_view key, std::string_view name, RegValue* out);
    RegResult set(Hive hive, std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                  size_t size);
    RegResult delete_value(Hive hive, std::string_view key, std::string_view name);
    RegResult delete_key(Hive hive, std::string_view key);
    RegResult make_key(Hive hive, std::string_view key);
    std::vector<RegKeyDump> dump(Hive hive, std::string_view key);
    // The same, false (with last_error()) when the copy could not be read in full.
    bool dump(Hive hive, std::string_view key, std::vector<RegKeyDump>* out);
    // Applies the changes of a .reg file in one transaction: all or nothing.
    bool apply(Hive hive, const std::vector<RegChange>& changes);
    // Imports the bytes of a .reg file, read change by change, in one
    // transaction: all or nothing. false with last_error() "NAME:LINE: what"
    // when the file is refused, "NAME: not imported: why" when a change
    // cannot be made. Warnings ("NAME:LINE: what") are appended to *warnings.
    bool import(Hive hive, std::string_view bytes, const std::string& name, const RegParseOptions& options,
                std::vector<std::string>* warnings);

    // Makes `to` an exact copy of `from` (which must be usable), in one
    // transaction when `to` is usable, else by writing its file anew; either
    // way a kill at any moment leaves `to` wholly old or wholly new. Copying
    // into the saved copy marks it valid.
    bool copy(Hive from, Hive to);

    // Loads the factory copy from factory.reg. false with a message (the
    // file and line) when factory.reg cannot be read or parsed, or is a
    // symbolic link: the factory copy then stays as it was.
    bool load_factory_file();
    // Writes factory.reg anew from the factory copy (which must be usable).
    bool write_factory_file();

    // Whether the saved copy is valid (usable, and no registry segment erased
    // since it was written).
    bool saved_valid() { return saved_state() == SavedState::Valid; }
    // The same, told apart from a saved copy that could not be read
    // (last_error() then says why).
    SavedState saved_state();
    // Marks the saved copy invalid, as erasing a registry segment does. An
    // unusable saved copy is written anew, empty and invalid: the erased area.
    bool invalidate_saved();
    bool set_saved_valid(bool valid);
    // Whether the saved copy is valid and holds the live copy's value of
    // `key` exactly (type and bytes; missing in both counts as held), or
    // the whole live copy; nullopt when that cannot be told (a copy that
    // cannot be read).
    std::optional<bool> saved_holds(std::string_view key, std::string_view name);
    std::optional<bool> saved_holds_live();

    // The message of the last failure, naming the file.
    const std::string& last_error() const { return m_error; }

private:
    explicit RegistryStore(std::filesystem::path dir) : m_dir(std::move(dir)) {}
    std::filesystem::path path(Hive hive) const { return m_dir / copy_file_name(hive); }
    RegistryCopy* copy_of(Hive hive);
    // Why the copy was unusable when last tried (without trying again).
    std::string reason_text(Hive hive) const;
    bool write_copy(Hive hive, const std::vector<RegKeyDump>& keys, bool valid, const std::string& source);
    template <typename F>
    RegResult change(Hive hive, F op);
    bool convert_old_registry(std::string* error);
    // Checks factory.reg against the factory copy when the store opens.
    void check_factory_file();
    // Reads controller.id, or settles the identifier as open() says.
    void settle_controller_id();
    // Refuses an open copy of another controller; gives one that records
    // none this controller's identifier.
    void check_owner(Hive hive);
    void remove_abandoned_files();

    std::filesystem::path m_dir;
    std::array<std::unique_ptr<RegistryCopy>, 3> m_copies;
    std::array<std::string, 3> m_reasons;  // why a copy is unusable
    std::array<bool, 3> m_unreadable{};    // it is unusable because it could not be read
    std::vector<std::string> m_problems;
    std::string m_error;
    std::string m_id;  // the controller's identifier
};

}  // namespace orva::sim
