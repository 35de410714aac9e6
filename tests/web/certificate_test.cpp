// The certificate kept with the controller: made once for this host, its key
// private, read back unchanged; the operator's own pair checked to belong
// together.
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "frontends/web/certificate.h"

namespace orva::web {
namespace {

namespace fs = std::filesystem;

class CertificateTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/orva-cert-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    mode_t mode(const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(::stat(p.c_str(), &st), 0);
        return st.st_mode & 07777;
    }
    std::string text(const fs::path& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    std::string error;
};

TEST_F(CertificateTest, IsMadeOnFirstUseForTheHostWithAPrivateKeyAndKeptAfter) {
    auto made = controller_tls_identity(dir, {"ctl-7", "192.0.2.7", "localhost", "127.0.0.1", "::1"}, &error);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(mode(dir / kKeyFile), 0600u);
    EXPECT_EQ(mode(dir / kCertFile), 0644u);
    EXPECT_TRUE(std::regex_match(made->fingerprint, std::regex("([0-9A-F]{2}:){31}[0-9A-F]{2}")));
    EXPECT_EQ(certificate_fingerprint(text(dir / kCertFile)), made->fingerprint);
    EXPECT_EQ(text(dir / kKeyFile), made->key_pem);

    BIO* bio = BIO_new_mem_buf(made->cert_pem.data(), int(made->cert_pem.size()));
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_NE(cert, nullptr);
    for (const char* host : {"ctl-7", "localhost"}) EXPECT_EQ(X509_check_host(cert, host, 0, 0, nullptr), 1) << host;
    for (const char* ip : {"192.0.2.7", "127.0.0.1", "::1"}) EXPECT_EQ(X509_check_ip_asc(cert, ip, 0), 1) << ip;
    EXPECT_EQ(X509_check_host(cert, "elsewhere", 0, 0, nullptr), 0);
    X509_free(cert);

    // The next start reads the same pair, and makes a loosened key private.
    ASSERT_EQ(::chmod((dir / kKeyFile).c_str(), 0644), 0);
    auto again = controller_tls_identity(dir, {"other-name"}, &error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->fingerprint, made->fingerprint);
    EXPECT_EQ(mode(dir / kKeyFile), 0600u);
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_TRUE(entry.path().filename() == kKeyFile || entry.path().filename() == kCertFile) << entry.path();
}

TEST_F(CertificateTest, OneFileWithoutTheOtherIsAnErrorNotANewPair) {
    ASSERT_TRUE(controller_tls_identity(dir, {"localhost"}, &error)) << error;
    fs::remove(dir / kKeyFile);
    EXPECT_FALSE(controller_tls_identity(dir, {"localhost"}, &error));
    EXPECT_EQ(error, (dir / kKeyFile).string() + " is missing beside " + (dir / kCertFile).string() +
                         ": remove both to have a new certificate made (its fingerprint changes)");
    EXPECT_FALSE(fs::exists(dir / kKeyFile));
}

TEST_F(CertificateTest, TheOperatorsPairMustBelongTogether) {
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    auto a = controller_tls_identity(dir / "a", {"localhost"}, &error);
    auto b = controller_tls_identity(dir / "b", {"localhost"}, &error);
    ASSERT_TRUE(a && b) << error;
    auto mine = load_tls_identity(dir / "a" / kCertFile, dir / "a" / kKeyFile, &error);
    ASSERT_TRUE(mine) << error;
    EXPECT_EQ(mine->fingerprint, a->fingerprint);

    EXPECT_FALSE(load_tls_identity(dir / "a" / kCertFile, dir / "b" / kKeyFile, &error));
    EXPECT_EQ(error, (dir / "b" / kKeyFile).string() + ": not the private key of " + (dir / "a" / kCertFile).string());
    EXPECT_FALSE(load_tls_identity(dir / "a" / kKeyFile, dir / "a" / kKeyFile, &error));
    EXPECT_EQ(error.rfind((dir / "a" / kKeyFile).string() + ": no certificate: ", 0), 0u) << error;
    EXPECT_FALSE(load_tls_identity(dir / "nothing.pem", dir / "a" / kKeyFile, &error));
    EXPECT_EQ(error, (dir / "nothing.pem").string() + ": No such file or directory");
    EXPECT_EQ(certificate_fingerprint("not a certificate"), "");
}

}  // namespace
}  // namespace orva::web
