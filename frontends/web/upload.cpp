// Streaming an upload into a folder of fs/.
#include "frontends/web/upload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "frontends/web/access.h"
#include "platform/open_file_model.h"
#include "platform/text.h"

namespace orva::web {
namespace {

namespace fs = std::filesystem;

bool within(const fs::path& root, const fs::path& path) {
    auto r = root.begin(), p = path.begin();
    for (; r != root.end(); ++r, ++p)
        if (p == path.end() || *r != *p) return false;
    return true;
}

std::string bytes_text(uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

Refusal host_error(const std::string& what) { return Refusal{500, what + ": " + std::strerror(errno)}; }

constexpr std::string_view kPartialPrefix = ".upload-";
// random_name(9): twelve base64url characters.
constexpr size_t kPartialRandom = 12;

// The uploads of this process not landed yet, for remove_unlanded; the lock
// also keeps an object's folder open while another thread removes its file.
std::mutex g_live_mutex;
std::set<UploadFile*> g_live;

}  // namespace

std::string upload_name_problem(std::string_view name) {
    if (name.size() > 255) return "This file name is longer than 255 bytes.";
    return platform::file_name_problem(platform::to_utf16(name));
}

std::optional<Refusal> size_refusal(uint64_t size, uint64_t limit) {
    if (size <= limit) return std::nullopt;
    return Refusal{413,
                   "The file (" + bytes_text(size) + ") is larger than the image area (" + bytes_text(limit) + ")."};
}

std::unique_ptr<UploadFile> UploadFile::open(const UploadFolder& to, uint64_t size, Refusal* refusal) {
    if (std::optional<Refusal> r = size_refusal(size, to.limit)) {
        *refusal = *r;
        return nullptr;
    }
    std::unique_ptr<UploadFile> up(new UploadFile);
    up->m_size = size;
    up->m_dir = ::open(to.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (up->m_dir < 0) {
        *refusal = host_error("The folder " + to.folder + " cannot be opened");
        return nullptr;
    }
    // The folder that was opened, wherever its path leads now.
    std::error_code ec;
    const fs::path opened = fs::read_symlink("/proc/self/fd/" + std::to_string(up->m_dir), ec);
    const fs::path root = fs::weakly_canonical(to.root, ec);
    if (opened.empty() || root.empty() || !within(root, opened)) {
        *refusal = {403, "The folder " + to.folder + " leads out of the controller's files."};
        return nullptr;
    }
    struct statvfs vfs {};
    if (::fstatvfs(up->m_dir, &vfs) != 0) {
        *refusal = host_error("The free space of " + to.folder + " is unknown");
        return nullptr;
    }
    const uint64_t free = uint64_t(vfs.f_bavail) * vfs.f_frsize;
    if (size > free) {
        *refusal = {507,
                    "The file (" + bytes_text(size) + ") is larger than the free space (" + bytes_text(free) + ")."};
        return nullptr;
    }
    for (int attempt = 0; attempt < 10 && up->m_fd < 0; ++attempt) {
        up->m_temp = std::string(kPartialPrefix) + random_name(9);
        up->m_fd = ::openat(up->m_dir, up->m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (up->m_fd < 0 && errno != EEXIST) break;
    }
    if (up->m_fd < 0) {
        up->m_temp.clear();
        *refusal = host_error("No file can be made in " + to.folder);
        return nullptr;
    }
    ::fchmod(up->m_fd, 0644);
    std::lock_guard lock(g_live_mutex);
    g_live.insert(up.get());
    return up;
}

UploadFile::~UploadFile() {
    std::lock_guard lock(g_live_mutex);
    g_live.erase(this);
    if (m_fd >= 0) ::close(m_fd);
    if (!m_landed && m_dir >= 0 && !m_temp.empty()) ::unlinkat(m_dir, m_temp.c_str(), 0);
    if (m_dir >= 0) ::close(m_dir);
}

void UploadFile::remove_unlanded() {
    std::lock_guard lock(g_live_mutex);
    for (UploadFile* up : g_live)
        if (!up->m_landed && up->m_dir >= 0 && !up->m_temp.empty()) ::unlinkat(up->m_dir, up->m_temp.c_str(), 0);
}

bool UploadFile::write(const void* data, size_t size, Refusal* refusal) {
    if (m_fd < 0 || size > m_size - m_written) {
        *refusal = {400, "The upload holds more bytes than it announced."};
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(m_fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *refusal = errno == ENOSPC || errno == EDQUOT ? Refusal{507, "The controller's file system is full."}
                                                          : host_error("The file cannot be written");
            return false;
        }
        p += n;
        size -= size_t(n);
        m_written += uint64_t(n);
    }
    return true;
}

bool UploadFile::finish(Refusal* refusal) {
    if (m_fd < 0 || m_written != m_size) {
        *refusal = {400, "The upload ended before all its bytes came."};
        return false;
    }
    const bool ok = ::fsync(m_fd) == 0;
    const int saved = errno;
    ::close(m_fd);
    m_fd = -1;
    if (!ok) {
        errno = saved;
        *refusal = saved == ENOSPC ? Refusal{507, "The controller's file system is full."}
                                   : host_error("The file cannot be written");
    }
    return ok;
}

bool UploadFile::land(const fs::path& expected_folder, const std::string& host_name, std::optional<mode_t> replace_mode,
                      Refusal* refusal, bool* exists) {
    if (exists) *exists = false;
    struct stat here {
    }, there{};
    if (m_fd >= 0 || m_temp.empty() || m_landed || ::fstat(m_dir, &here) != 0 ||
        ::stat(expected_folder.c_str(), &there) != 0 || here.st_dev != there.st_dev || here.st_ino != there.st_ino) {
        *refusal = {409, "The folder changed while the file came."};
        return false;
    }
    if (std::string problem = upload_name_problem(host_name); !problem.empty()) {
        *refusal = {400, problem};
        return false;
    }
    if (replace_mode && ::fchmodat(m_dir, m_temp.c_str(), *replace_mode & 07777, 0) != 0) {
        *refusal = host_error("The file cannot take the mode of " + host_name);
        return false;
    }
    // Without the operator's word a file that is there is never replaced,
    // not even one that came in the meantime.
    const int landed = replace_mode ? ::renameat(m_dir, m_temp.c_str(), m_dir, host_name.c_str())
                                    : ::renameat2(m_dir, m_temp.c_str(), m_dir, host_name.c_str(), RENAME_NOREPLACE);
    if (landed != 0 && errno == EEXIST) {
        if (exists) *exists = true;
        *refusal = {409, host_name + " is there already."};
        return false;
    }
    if (landed != 0) {
        *refusal = host_error("The file cannot be named " + host_name);
        return false;
    }
    std::lock_guard lock(g_live_mutex);
    m_landed = true;
    return true;
}

bool partial_upload_name(std::string_view name) {
    if (name.size() != kPartialPrefix.size() + kPartialRandom ||
        name.substr(0, kPartialPrefix.size()) != kPartialPrefix)
        return false;
    for (char c : name.substr(kPartialPrefix.size()))
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
    return true;
}

std::vector<std::string> remove_leftover_uploads(const fs::path& fs_root) {
    std::vector<std::string> removed;
    std::error_code ec;
    fs::recursive_directory_iterator it(fs_root, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::error_code file_ec;
        if (!partial_upload_name(p.filename().string()) || it->is_symlink(file_ec) || !it->is_regular_file(file_ec))
            continue;
        if (!fs::remove(p, file_ec)) continue;
        std::string shown;
        for (const auto& part : p.lexically_relative(fs_root)) shown += "\\" + part.string();
        removed.push_back(shown);
    }
    return removed;
}

}  // namespace orva::web
