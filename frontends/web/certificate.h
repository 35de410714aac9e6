// The web frontend's TLS certificate: the operator's own (--tls-cert,
// --tls-key), or a self-signed one for this host made on first use and kept
// with the controller, its private key readable by its owner alone.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orva::web {

// File names inside the controller directory.
inline constexpr const char* kCertFile = "web-cert.pem";
inline constexpr const char* kKeyFile = "web-key.pem";

struct TlsIdentity {
    std::string cert_pem;     // the certificate (and any chain after it)
    std::string key_pem;      // its private key
    std::string fingerprint;  // SHA-256 of the first certificate: "AB:01:..."
};

// Reads a certificate (PEM, the server's own first) and its private key
// (PEM), and checks that they belong together. nullopt and a message naming
// the file otherwise.
std::optional<TlsIdentity> load_tls_identity(const std::filesystem::path& cert, const std::filesystem::path& key,
                                             std::string* error);

// The identity kept in `dir`: read when both files are there, made when
// neither is (a P-256 key and a certificate for `names`, which may hold host
// names and IP addresses, the first one its common name). A key file that
// others may read is made private again. One file without the other is an
// error: a new pair would change the fingerprint the operator trusts.
std::optional<TlsIdentity> controller_tls_identity(const std::filesystem::path& dir,
                                                   const std::vector<std::string>& names, std::string* error);

// The SHA-256 fingerprint of a PEM certificate as openssl x509 -fingerprint
// shows it; "" when it cannot be read.
std::string certificate_fingerprint(const std::string& cert_pem);

}  // namespace orva::web
