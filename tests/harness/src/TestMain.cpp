// main() of the integration test binaries.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // A plug-in must never reach past loopback from a test: no instance-metadata look-ups, and a
    // plug-in left without an endpoint talks to a closed loopback port instead of a provider.
    setenv("AWS_EC2_METADATA_DISABLED", "true", 1);
    setenv("AWS_ENDPOINT_URL", "http://127.0.0.1:9", 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
