// Reading, making and fingerprinting the web frontend's certificate.
#include "frontends/web/certificate.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "frontends/web/access.h"

namespace orva::web {
namespace {

namespace fs = std::filesystem;

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;

std::string openssl_error() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (!code) return "not a valid PEM file";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

Cert read_cert(const std::string& pem) {
    Bio bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    return Cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

Key read_key(const std::string& pem) {
    Bio bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    return Key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

std::optional<std::string> read_file(const fs::path& file, std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = file.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string fingerprint(X509* cert) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(cert, EVP_sha256(), md, &size) != 1) return "";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned int i = 0; i < size; ++i) {
        if (i) out += ':';
        out += kHex[md[i] >> 4];
        out += kHex[md[i] & 15];
    }
    return out;
}

// Writes `text` as `file` with `mode`: a new file in the same folder,
// synced, renamed over the name.
bool write_new_file(const fs::path& file, const std::string& text, mode_t mode, std::string* error) {
    const fs::path temp = file.parent_path() / ("." + file.filename().string() + "." + random_name(6));
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    bool ok = fd >= 0 && ::fchmod(fd, mode) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    const int saved = errno;
    if (fd >= 0) ::close(fd);
    ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
    if (!ok) {
        *error = file.string() + ": " + std::strerror(fd < 0 ? saved : errno);
        ::unlink(temp.c_str());
    }
    return ok;
}

bool add_extension(X509* cert, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!ext) return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

std::string alt_names(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        unsigned char addr[16];
        const bool ip = inet_pton(AF_INET, name.c_str(), addr) == 1 || inet_pton(AF_INET6, name.c_str(), addr) == 1;
        const std::string entry = (ip ? "IP:" : "DNS:") + name;
        if (("," + out + ",").find("," + entry + ",") != std::string::npos) continue;
        out += (out.empty() ? "" : ",") + entry;
    }
    return out;
}

// A new P-256 key and a self-signed certificate for `names`, valid for ten
// years from an hour ago.
std::optional<TlsIdentity> make_identity(const std::vector<std::string>& names, std::string* error) {
    auto fail = [&](const std::string& what) {
        *error = "cannot make the TLS certificate (" + what + "): " + openssl_error();
        return std::nullopt;
    };
    Key key(EVP_EC_gen("P-256"));
    if (!key) return fail("key");
    Cert cert(X509_new());
    if (!cert || X509_set_version(cert.get(), 2) != 1) return fail("certificate");
    std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>> serial(BN_new());
    if (!serial || BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())))
        return fail("serial number");
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* subject = X509_get_subject_name(cert.get());
    const std::string common = (names.empty() ? std::string("localhost") : names.front()).substr(0, 64);
    X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Orva_Utility"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(common.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(cert.get(), subject);
    if (!add_extension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !add_extension(cert.get(), NID_key_usage, "critical,digitalSignature") ||
        !add_extension(cert.get(), NID_ext_key_usage, "serverAuth") ||
        !add_extension(cert.get(), NID_subject_key_identifier, "hash") ||
        !add_extension(cert.get(), NID_subject_alt_name,
                       alt_names(names.empty() ? std::vector<std::string>{"localhost"} : names)))
        return fail("extensions");
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) return fail("signature");

    TlsIdentity out;
    Bio cert_bio(BIO_new(BIO_s_mem())), key_bio(BIO_new(BIO_s_mem()));
    if (!cert_bio || !key_bio || PEM_write_bio_X509(cert_bio.get(), cert.get()) != 1 ||
        PEM_write_bio_PrivateKey(key_bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return fail("PEM");
    char* data = nullptr;
    long size = BIO_get_mem_data(cert_bio.get(), &data);
    out.cert_pem.assign(data, size_t(size));
    size = BIO_get_mem_data(key_bio.get(), &data);
    out.key_pem.assign(data, size_t(size));
    out.fingerprint = fingerprint(cert.get());
    return out;
}

}  // namespace

std::string certificate_fingerprint(const std::string& cert_pem) {
    Cert cert = read_cert(cert_pem);
    ERR_clear_error();
    return cert ? fingerprint(cert.get()) : "";
}

std::optional<TlsIdentity> load_tls_identity(const fs::path& cert_file, const fs::path& key_file, std::string* error) {
    TlsIdentity out;
    auto cert_text = read_file(cert_file, error);
    if (!cert_text) return std::nullopt;
    auto key_text = read_file(key_file, error);
    if (!key_text) return std::nullopt;
    Cert cert = read_cert(*cert_text);
    if (!cert) {
        *error = cert_file.string() + ": no certificate: " + openssl_error();
        return std::nullopt;
    }
    Key key = read_key(*key_text);
    if (!key) {
        *error = key_file.string() + ": no private key: " + openssl_error();
        return std::nullopt;
    }
    if (X509_check_private_key(cert.get(), key.get()) != 1) {
        ERR_clear_error();
        *error = key_file.string() + ": not the private key of " + cert_file.string();
        return std::nullopt;
    }
    out.cert_pem = std::move(*cert_text);
    out.key_pem = std::move(*key_text);
    out.fingerprint = fingerprint(cert.get());
    return out;
}

std::optional<TlsIdentity> controller_tls_identity(const fs::path& dir, const std::vector<std::string>& names,
                                                   std::string* error) {
    const fs::path cert = dir / kCertFile, key = dir / kKeyFile;
    struct stat cert_st {
    }, key_st{};
    const bool have_cert = ::lstat(cert.c_str(), &cert_st) == 0;
    const bool have_key = ::lstat(key.c_str(), &key_st) == 0;
    if (have_cert != have_key) {
        *error = (have_cert ? key : cert).string() + " is missing beside " + (have_cert ? cert : key).string() +
                 ": remove both to have a new certificate made (its fingerprint changes)";
        return std::nullopt;
    }
    if (have_key) {
        if (!S_ISREG(key_st.st_mode)) {
            *error = key.string() + ": not a plain file";
            return std::nullopt;
        }
        if ((key_st.st_mode & 077) && ::chmod(key.c_str(), 0600) != 0) {
            *error = key.string() + ": others may read it, and it cannot be made private: " + std::strerror(errno);
            return std::nullopt;
        }
        return load_tls_identity(cert, key, error);
    }
    auto made = make_identity(names, error);
    if (!made) return std::nullopt;
    if (!write_new_file(key, made->key_pem, 0600, error) || !write_new_file(cert, made->cert_pem, 0644, error)) {
        ::unlink(key.c_str());
        return std::nullopt;
    }
    return made;
}

}  // namespace orva::web
