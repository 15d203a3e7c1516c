#include "support/test_certificates.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace zx::test {

namespace {

void Run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("test certificates: failed: " + command);
}

const char* kNewKey = "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

}  // namespace

const TestCertificates& TestCertificates::Get() {
    static const TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates() : dir_("zx-certs-") {
    const std::string d = dir_.Path() + "/";
    authority = d + "ca.pem";
    Run(std::string(kNewKey) + " -x509 -keyout " + d + "ca.key -out " + authority +
        " -days 30 -subj /CN=TestAuthority");
    int serial = 1;
    // A key and a request for img.host, signed by the authority for names
    // and a lifetime in days (negative: expired).
    auto signedFor = [&](const std::string& name, const std::string& altNames, int days) {
        CertificateFiles f{d + name + ".pem", d + name + ".key"};
        std::ofstream(d + name + ".ext") << "subjectAltName=" << altNames << "\n";
        Run(std::string(kNewKey) + " -keyout " + f.key + " -out " + d + name + ".csr -subj /CN=img.host");
        Run("openssl x509 -req -in " + d + name + ".csr -CA " + authority + " -CAkey " + d + "ca.key -set_serial " +
            std::to_string(++serial) + " -days " + std::to_string(days) + " -extfile " + d + name + ".ext -out " +
            f.cert);
        return f;
    };
    good = signedFor("good", "DNS:img.host,DNS:localhost,IP:127.0.0.1", 30);
    wrongHost = signedFor("wrong", "DNS:wrong.example", 30);
    expired = signedFor("expired", "DNS:img.host", -1);
    selfSigned = {d + "self.pem", d + "self.key"};
    Run(std::string(kNewKey) + " -x509 -keyout " + selfSigned.key + " -out " + selfSigned.cert +
        " -days 30 -subj /CN=img.host -addext subjectAltName=DNS:img.host");
    // Only the test authority is trusted: the system's store is not read.
    ::setenv("SSL_CERT_FILE", authority.c_str(), 1);
    ::setenv("SSL_CERT_DIR", dir_.Path().c_str(), 1);
}

}  // namespace zx::test
