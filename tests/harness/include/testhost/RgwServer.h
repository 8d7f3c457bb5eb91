// The Ceph RADOS Gateway that serves a whole test run: started once by scripts/test.sh with
// tests/harness/rgw.sh, and found by the tests through the variables that script exports.
#pragma once

#include <optional>
#include <string>

#include "testhost/S3Admin.h"

namespace testhost {

struct RgwServer {
    std::string httpUrl;    // RGW_TEST_HTTP_URL, "http://127.0.0.1:PORT"
    std::string httpsUrl;   // RGW_TEST_HTTPS_URL, "https://127.0.0.1:PORT"
    std::string caFile;     // RGW_TEST_CA_FILE: the CA that signed the HTTPS certificate
    std::string accessKey;  // RGW_TEST_ACCESS_KEY and RGW_TEST_SECRET_KEY: the S3 user's keys
    std::string secretKey;

    // The run's gateway; nullopt when a variable is missing, and then `why` says which, and how
    // to start a gateway.
    static std::optional<RgwServer> FromEnvironment(std::string* why = nullptr);
    // True when the developer asked to run without a gateway (RGW_TEST_OPT_OUT=1): a test that
    // needs one is then skipped, with a message saying so, instead of failing. CI never sets it.
    static bool OptedOut();

    // Signed raw access over HTTP, or over HTTPS with the CA.
    S3Admin Admin(bool tls) const;
};

}  // namespace testhost
