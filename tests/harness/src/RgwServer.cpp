#include "testhost/RgwServer.h"

#include <cstdlib>
#include <cstring>

namespace testhost {

std::optional<RgwServer> RgwServer::FromEnvironment(std::string* why) {
    RgwServer server;
    std::string missing;
    const auto read = [&missing](const char* name, std::string& into) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') {
            missing += missing.empty() ? name : std::string(", ") + name;
        } else {
            into = value;
        }
    };
    read("RGW_TEST_HTTP_URL", server.httpUrl);
    read("RGW_TEST_HTTPS_URL", server.httpsUrl);
    read("RGW_TEST_CA_FILE", server.caFile);
    read("RGW_TEST_ACCESS_KEY", server.accessKey);
    read("RGW_TEST_SECRET_KEY", server.secretKey);
    if (missing.empty()) return server;
    if (why != nullptr) {
        *why = "no Ceph RADOS Gateway for this run: " + missing +
               " not set. scripts/test.sh starts one (tests/harness/rgw.sh start DIR, then "
               "`eval \"$(tests/harness/rgw.sh env DIR)\"`); RGW_TEST_OPT_OUT=1 skips these "
               "tests for a quick local run";
    }
    return std::nullopt;
}

bool RgwServer::OptedOut() {
    const char* value = std::getenv("RGW_TEST_OPT_OUT");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

S3Admin RgwServer::Admin(bool tls) const {
    return tls ? S3Admin(httpsUrl, caFile, accessKey, secretKey)
               : S3Admin(httpUrl, "", accessKey, secretKey);
}

}  // namespace testhost
