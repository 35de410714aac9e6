// SHA-256 through OpenSSL's EVP interface.
#include "app/sha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <openssl/evp.h>

#include "common/syscalls.h"

namespace orva::app {

std::optional<std::string> file_sha256(const std::filesystem::path& file, std::string* error) {
    // Never waits: a FIFO is opened without a writer and then refused.
    const int fd = sys::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    if (fd < 0) {
        *error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (sys::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        sys::close(fd);
        *error = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        return std::nullopt;
    }
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
    std::vector<unsigned char> buf(1 << 20);
    while (ok) {
        ssize_t n = sys::read(fd, buf.data(), buf.size());
        if (n < 0) {
            *error = std::strerror(errno);
            sys::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        ok = EVP_DigestUpdate(ctx.get(), buf.data(), size_t(n)) == 1;
    }
    sys::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        *error = "the checksum cannot be computed";
        return std::nullopt;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

}  // namespace orva::app
