// A file uploaded into the controller's file system: streamed into a new,
// hidden file in the folder the open-file dialog shows, and given its name
// only once it is whole. The folder is opened once and checked to lie inside
// fs/, so that no link followed later leads out; a file that is never landed
// is removed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

// Whether `name` (UTF-8) may name a file in a folder of the controller: not
// empty, no folder separator, none of the characters Windows refuses in a
// name, no control character, not "." or "..", at most 255 bytes.
bool plain_file_name(std::string_view name);

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
    // `expected_folder` is that same folder. false and the reason otherwise
    // (the file is then removed when this object goes).
    bool land(const std::filesystem::path& expected_folder, const std::string& host_name, Refusal* refusal);

    uint64_t written() const { return m_written; }
    const std::string& temp_name() const { return m_temp; }

private:
    UploadFile() = default;
    int m_dir = -1;
    int m_fd = -1;
    std::string m_temp;
    uint64_t m_size = 0;
    uint64_t m_written = 0;
    bool m_landed = false;
};

}  // namespace orva::web
