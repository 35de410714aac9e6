// The host file system through the system call table.
#include "common/host_files.h"

#include <cerrno>

#include "common/syscalls.h"

namespace orva::files {

namespace fs = std::filesystem;

Kind kind(const fs::path& path, bool follow) {
    struct stat st {};
    const int r = follow ? sys::stat(path.c_str(), &st) : sys::lstat(path.c_str(), &st);
    if (r != 0) return errno == ENOENT || errno == ENOTDIR ? Kind::Missing : Kind::Unknown;
    if (S_ISREG(st.st_mode)) return Kind::Regular;
    if (S_ISDIR(st.st_mode)) return Kind::Directory;
    if (S_ISLNK(st.st_mode)) return Kind::Symlink;
    if (S_ISFIFO(st.st_mode)) return Kind::Fifo;
    if (S_ISCHR(st.st_mode)) return Kind::CharDevice;
    if (S_ISBLK(st.st_mode)) return Kind::BlockDevice;
    if (S_ISSOCK(st.st_mode)) return Kind::Socket;
    return Kind::Unknown;
}

const char* kind_text(Kind kind) {
    switch (kind) {
        case Kind::Missing:
            return "is missing";
        case Kind::Directory:
            return "is a directory";
        case Kind::Symlink:
            return "is a symbolic link";
        case Kind::Fifo:
            return "is a FIFO";
        case Kind::CharDevice:
            return "is a character device";
        case Kind::BlockDevice:
            return "is a block device";
        case Kind::Socket:
            return "is a socket";
        default:
            return "is not a regular file";
    }
}

bool list(const fs::path& folder, std::vector<std::string>* names) {
    DIR* dir = sys::opendir(folder.c_str());
    if (!dir) return false;
    bool ok = true;
    for (;;) {
        const struct dirent* e = sys::readdir(dir);
        if (!e) {
            ok = errno == 0;
            break;
        }
        const std::string name = e->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    const int err = errno;
    sys::closedir(dir);
    errno = err;
    return ok;
}

bool make_folders(const fs::path& folder) {
    if (folder.empty() || files::is_directory(folder)) return true;
    const fs::path parent = folder.lexically_normal().parent_path();
    if (!parent.empty() && parent != folder && !make_folders(parent)) return false;
    if (sys::mkdir(folder.c_str(), 0755) == 0) return true;
    // Made by someone else meanwhile, or the name "dir/." of one that exists.
    if (errno == EEXIST && files::is_directory(folder)) return true;
    return false;
}

bool remove(const fs::path& path) {
    if (sys::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    if (errno != EISDIR && errno != EPERM) return false;
    return sys::rmdir(path.c_str()) == 0 || errno == ENOENT;
}

bool remove_tree(const fs::path& path) {
    if (kind(path, false) != Kind::Directory) return files::remove(path);
    std::vector<std::string> names;
    bool ok = list(path, &names);
    int err = errno;
    for (const std::string& name : names) {
        if (!files::remove_tree(path / name) && ok) {
            ok = false;
            err = errno;
        }
    }
    if (ok && !files::remove(path)) {
        ok = false;
        err = errno;
    }
    errno = err;
    return ok;
}

bool read_pieces(const fs::path& file, const std::function<void(std::string_view)>& sink) {
    const int fd = sys::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) return false;
    std::string buf(65536, '\0');
    bool ok = true;
    for (;;) {
        const ssize_t n = sys::read(fd, buf.data(), buf.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        sink(std::string_view(buf.data(), static_cast<size_t>(n)));
    }
    const int err = errno;
    sys::close(fd);
    errno = err;
    return ok;
}

bool add_mode(const fs::path& path, mode_t bits) {
    struct stat st {};
    if (sys::stat(path.c_str(), &st) != 0) return false;
    return sys::chmod(path.c_str(), (st.st_mode & 07777) | bits) == 0;
}

std::optional<fs::path> read_link(const fs::path& link) {
    std::string buf(256, '\0');
    for (;;) {
        const ssize_t n = sys::readlink(link.c_str(), buf.data(), buf.size());
        if (n < 0) return std::nullopt;
        if (static_cast<size_t>(n) < buf.size()) return fs::path(buf.substr(0, static_cast<size_t>(n)));
        buf.resize(buf.size() * 2);
    }
}

namespace {

// The canonical path of something that exists, from the descriptor the
// kernel opened for it; nullopt when it cannot be opened.
std::optional<fs::path> existing_canonical(const fs::path& path) {
    const int fd = sys::open(path.c_str(), O_PATH | O_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    auto out = read_link("/proc/self/fd/" + std::to_string(fd));
    sys::close(fd);
    return out;
}

}  // namespace

fs::path canonical(const fs::path& path) {
    fs::path given = path.empty() ? fs::path(".") : path;
    while (given.filename().empty() && given.has_relative_path()) given = given.parent_path();
    // The longest part of the path that exists, and the rest below it.
    fs::path head = given;
    fs::path rest;
    for (;;) {
        if (auto found = existing_canonical(head.empty() ? fs::path(".") : head))
            return rest.empty() ? *found : (*found / rest).lexically_normal();
        if (!head.has_relative_path()) break;
        rest = rest.empty() ? head.filename() : head.filename() / rest;
        head = head.parent_path();
    }
    return given.lexically_normal();
}

}  // namespace orva::files
