// Streaming an upload into a folder of fs/.
#include "frontends/web/upload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "frontends/web/access.h"

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

}  // namespace

bool plain_file_name(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c)) return false;
    return true;
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
        up->m_temp = ".upload-" + random_name(9);
        up->m_fd = ::openat(up->m_dir, up->m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (up->m_fd < 0 && errno != EEXIST) break;
    }
    if (up->m_fd < 0) {
        up->m_temp.clear();
        *refusal = host_error("No file can be made in " + to.folder);
        return nullptr;
    }
    ::fchmod(up->m_fd, 0644);
    return up;
}

UploadFile::~UploadFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_landed && m_dir >= 0 && !m_temp.empty()) ::unlinkat(m_dir, m_temp.c_str(), 0);
    if (m_dir >= 0) ::close(m_dir);
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

bool UploadFile::land(const fs::path& expected_folder, const std::string& host_name, Refusal* refusal) {
    struct stat here {
    }, there{};
    if (m_fd >= 0 || m_temp.empty() || m_landed || ::fstat(m_dir, &here) != 0 ||
        ::stat(expected_folder.c_str(), &there) != 0 || here.st_dev != there.st_dev || here.st_ino != there.st_ino) {
        *refusal = {409, "The folder changed while the file came."};
        return false;
    }
    if (!plain_file_name(host_name)) {
        *refusal = {400, "Not a file name: " + host_name};
        return false;
    }
    if (::renameat(m_dir, m_temp.c_str(), m_dir, host_name.c_str()) != 0) {
        *refusal = host_error("The file cannot be named " + host_name);
        return false;
    }
    m_landed = true;
    return true;
}

}  // namespace orva::web
