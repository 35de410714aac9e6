// Case-insensitive resolution of controller paths inside fs/.
#include "simulator/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/host_files.h"
#include "common/syscalls.h"
#include "simulator/text.h"

namespace orva::sim {

namespace fs = std::filesystem;

namespace {

// Whether `p` (made canonical) lies within `root` (already canonical).
bool within(const fs::path& root, const fs::path& p) {
    const fs::path c = files::canonical(p);
    auto r = root.begin();
    auto q = c.begin();
    for (; r != root.end(); ++r, ++q)
        if (q == c.end() || *q != *r) return false;
    return true;
}

}  // namespace

ResolvedPath resolve_controller_path(const fs::path& fs_root, std::string_view controller_path) {
    ResolvedPath out;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= controller_path.size()) {
        size_t j = controller_path.find_first_of("\\/", i);
        if (j == std::string_view::npos) j = controller_path.size();
        std::string part(controller_path.substr(i, j - i));
        if (part == "..") {
            if (parts.empty()) {
                out.status = ResolvedPath::Status::Outside;
                return out;
            }
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    const fs::path root = files::canonical(fs_root);
    fs::path host = fs_root;
    bool exists = true;
    for (size_t k = 0; k < parts.size(); ++k) {
        const bool last = k + 1 == parts.size();
        if (!files::is_directory(host)) {
            out.status = ResolvedPath::Status::ParentMissing;
            return out;
        }
        std::string match;
        if (files::exists(host / parts[k])) {
            match = parts[k];
        } else {
            std::vector<std::string> names;
            files::list(host, &names);
            for (const std::string& name : names) {
                if (ascii_iequal(name, parts[k])) {
                    match = name;
                    break;
                }
            }
        }
        if (match.empty()) {
            if (!last) {
                out.status = ResolvedPath::Status::ParentMissing;
                return out;
            }
            match = parts[k];
            exists = false;
        }
        host /= match;
        if (exists && !within(root, host)) {
            out.status = ResolvedPath::Status::Outside;
            return out;
        }
    }
    out.host = host;
    const files::Kind kind = exists ? files::kind(host) : files::Kind::Missing;
    out.exists = kind != files::Kind::Missing && kind != files::Kind::Unknown;
    return out;
}

namespace {

// Writes all of `text` to `fd` and syncs it; false with errno set otherwise.
bool write_all_synced(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = sys::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return sys::fsync(fd) == 0;
}

}  // namespace

bool write_controller_file(const fs::path& fs_root, std::string_view controller_path, const std::string& text,
                           std::string* error, bool executable) {
    const std::string shown(controller_path);
    auto fail = [&](const std::string& why) {
        if (error) *error = shown + ": " + why;
        return false;
    };
    ResolvedPath r = resolve_controller_path(fs_root, controller_path);
    if (r.status == ResolvedPath::Status::Outside) return fail("leads out of the controller's file system");
    if (r.status == ResolvedPath::Status::ParentMissing) return fail("its folder does not exist");
    if (r.host == fs_root || files::is_directory(r.host)) return fail("is a folder");
    const fs::path folder = r.host.parent_path();
    const std::string name = r.host.filename().string();
    int dir = sys::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dir < 0) return fail(std::strerror(errno));
    // The folder that was opened, wherever its path leads now.
    const fs::path opened = files::read_link("/proc/self/fd/" + std::to_string(dir)).value_or(fs::path());
    const fs::path root = files::canonical(fs_root);
    if (opened.empty() || !within(root, opened)) {
        sys::close(dir);
        return fail("leads out of the controller's file system");
    }
    std::mt19937 random(std::random_device{}());
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = "." + name + "." + std::to_string(random() % 1000000);
        fd = sys::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         executable ? 0755 : 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    // The mode asked for, whatever the umask took away from it.
    bool ok = fd >= 0 && sys::fchmod(fd, executable ? 0755 : 0644) == 0 && write_all_synced(fd, text);
    std::string why = ok ? "" : std::strerror(errno);
    if (fd >= 0) sys::close(fd);
    if (ok && sys::renameat(dir, temp.c_str(), dir, name.c_str()) != 0) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!ok && fd >= 0) sys::unlinkat(dir, temp.c_str(), 0);
    sys::close(dir);
    return ok || fail("cannot be written: " + why);
}

}  // namespace orva::sim
