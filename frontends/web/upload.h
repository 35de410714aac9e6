// A file uploaded into the controller's file system: streamed into a new,
// hidden file in the folder the open-file dialog shows, and given its name
// only once it is whole. The folder is opened once and checked to lie inside
// fs/, so that no link followed later leads out; a file that is never landed
// is removed, also when the program ends in the middle of it, and one left
// by a program that crashed is removed at the next start.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::web {

// The folder uploads go to, as the main thread saw it in the open-file
// dialog.
struct UploadFolder {
    uint64_t dialog = 0;         // which showing of the dialog
    std::string folder;          // its controller path, UTF-8: "\Temp"
    std::filesystem::path host;  // where the folder lies
    std::filesystem::path root;  // fs/
    uint64_t limit = 0;          // the most an upload may hold (the image area)
};

// Why an upload is refused: an HTTP status and a sentence for the operator.
struct Refusal {
    int status = 0;
    std::string message;
};

// Why `name` (UTF-8) cannot name an uploaded file: the open-file dialog's
// rule for names (platform::file_name_problem); "" when it can.
std::string upload_name_problem(std::string_view name);
inline bool plain_file_name(std::string_view name) { return upload_name_problem(name).empty(); }

// The refusal of an upload of `size` bytes when the limit is `limit`.
std::optional<Refusal> size_refusal(uint64_t size, uint64_t limit);

class UploadFile {
public:
    // Opens `to.host` and a new file in it for `size` bytes. nullptr and the
    // refusal when the size is above the limit or the folder's free space,
    // or the folder cannot be used.
    static std::unique_ptr<UploadFile> open(const UploadFolder& to, uint64_t size, Refusal* refusal);
    ~UploadFile();
    UploadFile(const UploadFile&) = delete;
    UploadFile& operator=(const UploadFile&) = delete;

    // Appends bytes; never more than the size given to open.
    bool write(const void* data, size_t size, Refusal* refusal);
    // All the bytes are there: synced and closed, still under its hidden name.
    bool finish(Refusal* refusal);
    // Renames the finished file to `host_name` in its folder, provided
    // `expected_folder` is that same folder. A file of that name is replaced
    // only with `replace_mode` (the mode the new file takes over from it);
    // without, an existing name is refused with 409 and *exists set. false
    // and the reason otherwise (the file is then removed when this object
    // goes).
    bool land(const std::filesystem::path& expected_folder, const std::string& host_name,
              std::optional<mode_t> replace_mode, Refusal* refusal, bool* exists = nullptr);

    uint64_t written() const { return m_written; }
    const std::string& temp_name() const { return m_temp; }

    // Removes every upload of this process that has not been landed (any
    // thread; the program is ending). Their objects stay usable: landing one
    // fails afterwards.
    static void remove_unlanded();

private:
    UploadFile() = default;
    int m_dir = -1;
    int m_fd = -1;
    std::string m_temp;
    uint64_t m_size = 0;
    uint64_t m_written = 0;
    bool m_landed = false;
};

// Whether `name` is one that UploadFile gives a file while it arrives.
bool partial_upload_name(std::string_view name);

// Removes the partial uploads below `fs_root` (never following a link), as a
// program that crashed in the middle of an upload leaves them; the
// controller paths of those removed.
std::vector<std::string> remove_leftover_uploads(const std::filesystem::path& fs_root);

}  // namespace orva::web
