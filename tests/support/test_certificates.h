#pragma once
// A certificate authority made for the tests with the openssl tool, and
// server certificates for img.host: one it signed, one it signed for another
// name, one it signed that has expired, and one signed by itself. Made once
// per test program; the authority is trusted through SSL_CERT_FILE for this
// process only.
#include <string>

#include "support/temp_dir.h"

namespace zx::test {

struct CertificateFiles {
    std::string cert;
    std::string key;
};

class TestCertificates {
public:
    // The one set of this process; made and trusted on first use. Throws
    // std::runtime_error when openssl fails.
    static const TestCertificates& Get();

    std::string authority;  // the authority's certificate
    CertificateFiles good, wrongHost, expired, selfSigned;

private:
    TestCertificates();
    TempDir dir_;
};

}  // namespace zx::test
