// What an attacker or a careless operator could get out of the plug-ins: secret keys in logs,
// messages or on the wire; a service with a certificate nobody trusts; connections to places
// nobody configured, the cloud metadata service above all; credentials carried along a
// redirect to another host.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testhost/Testhost.h"
#include "torvik/Strings.h"

// ---- Every connection this process opens ----

namespace {

struct Destination {
    std::string address;
    int port;
};

std::mutex connectMutex;
bool connectRecording = false;
std::vector<Destination> connectSeen;

}  // namespace

// Stands in for the C library's connect(), so that every socket the plug-ins (and the HTTP
// library under them) open in this process is seen. The executable exports it, so it comes
// before the C library's in every lookup.
extern "C" __attribute__((visibility("default"))) int connect(int fd,
                                                              const struct sockaddr* address,
                                                              socklen_t length) {
    using Connect = int (*)(int, const struct sockaddr*, socklen_t);
    static const Connect next = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    if (address != nullptr) {
        char text[INET6_ADDRSTRLEN] = "";
        int port = -1;
        bool network = false;
        if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(address);
            inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            port = ntohs(in->sin_port);
            network = true;
        } else if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
            inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
            port = ntohs(in6->sin6_port);
            network = true;
        } else if (address->sa_family != AF_UNIX && address->sa_family != AF_UNSPEC) {
            network = true;
            std::snprintf(text, sizeof text, "family %d", address->sa_family);
        }
        if (network) {
            std::lock_guard<std::mutex> lock(connectMutex);
            if (connectRecording) connectSeen.push_back({text, port});
        }
    }
    return next(fd, address, length);
}

namespace {

using testhost::FaultAction;
using testhost::FaultProxy;
using testhost::FaultRule;
using testhost::MotoServer;
using testhost::RecordedRequest;
using testhost::S3Admin;
using testhost::ScopedEnv;

namespace fs = std::filesystem;

const std::string kAccessKey = "AKIDSECURITYPROBE1";
const std::string kSecret = "Zq8sEcReT-wXy/7Kp+Distinct+vAlue0xDEADBEEF";

std::wstring Wide(const std::string& text) { return Torvik::strings::UTF8toWstr(text); }

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The secret, or a telling piece of it, anywhere in `text`.
bool ShowsSecret(const std::string& text) {
    return Has(text, kSecret) || Has(text, kSecret.substr(0, 12)) ||
           Has(text, kSecret.substr(kSecret.size() - 12));
}

// Records the connections opened while it lives.
class ConnectRecorder {
  public:
    ConnectRecorder() {
        std::lock_guard<std::mutex> lock(connectMutex);
        connectSeen.clear();
        connectRecording = true;
    }
    ~ConnectRecorder() { Stop(); }
    std::vector<Destination> Stop() {
        std::lock_guard<std::mutex> lock(connectMutex);
        connectRecording = false;
        return connectSeen;
    }
};

using testhost::StderrCapture;

// One deliverable set up with the probe's keys, every endpoint it knows pointed at `url`.
class Storage : public testhost::HostedStorage {
  public:
    Storage(const std::string& deliverable, const std::string& url)
        : HostedStorage(deliverable, url, kAccessKey, kSecret) {}

    // Every kind of operation once, on `bucket`; the results are the caller's to judge.
    void Exercise(const std::string& bucket, const std::string& stem) {
        std::list<CFileInfo> entries;
        (*this)->GetListing(L"", entries);
        (*this)->GetListing(Wide(bucket), entries);
        CFileAttributes attributes;
        (*this)->GetElementAttributes(Wide(bucket + "\\" + stem + ".bak"), attributes);
        Write(Wide(bucket + "\\" + stem + ".bak"), "secret-free content");
        Read(Wide(bucket + "\\" + stem + ".bak"));
        Read(Wide(bucket + "\\seeded.bak"));
        (*this)->CreateFolder(Wide(bucket + "\\" + stem));
        (*this)->DeleteFile(Wide(bucket + "\\" + stem + ".bak"));
        (*this)->DeleteFolder(Wide(bucket + "\\" + stem));
    }
};

FaultRule Everything(FaultAction action, int status = 500, const std::string& code = "") {
    FaultRule rule;
    rule.action = action;
    rule.count = -1;
    rule.status = status;
    if (!code.empty()) {
        rule.errorCode = code;
        rule.errorMessage = code + " from the probe";
    }
    return rule;
}

// Signature version 4 names the key id and carries an HMAC; nothing else of the keys.
void ExpectOnlyKeyIdAndSignature(const std::vector<RecordedRequest>& requests,
                                 const std::string& what) {
    static const std::regex authorization("AWS4-HMAC-SHA256 Credential=" + kAccessKey +
                                          "/[0-9]{8}/[a-z0-9-]+/s3/aws4_request, "
                                          "?SignedHeaders=[a-z0-9;-]+, ?Signature=[0-9a-f]{64}");
    for (const RecordedRequest& request : requests) {
        EXPECT_FALSE(ShowsSecret(request.target)) << what;
        EXPECT_FALSE(ShowsSecret(request.body)) << what << " " << request.target;
        for (const auto& header : request.headers) {
            EXPECT_FALSE(ShowsSecret(header.second)) << what << " " << header.first;
        }
        const auto found = request.headers.find("authorization");
        ASSERT_NE(found, request.headers.end()) << what << " " << request.target;
        EXPECT_TRUE(std::regex_match(found->second, authorization)) << what << " " << found->second;
    }
}

void ExpectOnlyTo(const std::vector<Destination>& seen, const std::vector<int>& ports,
                  const std::string& what) {
    for (const Destination& destination : seen) {
        const bool loopback = destination.address == "127.0.0.1" || destination.address == "::1";
        EXPECT_TRUE(loopback) << what << ": connected to " << destination.address << ":"
                              << destination.port;
        EXPECT_NE(destination.address, "169.254.169.254") << what;
        EXPECT_NE(destination.address, "fd00:ec2::254") << what;
        bool known = false;
        for (const int port : ports) known = known || destination.port == port;
        EXPECT_TRUE(known) << what << ": connected to port " << destination.port;
    }
}

class Security : public testing::Test {
  protected:
    static void SetUpTestSuite() { proxy = new FaultProxy(MotoServer::Shared().Url()); }
    static void TearDownTestSuite() {
        delete proxy;
        proxy = nullptr;
    }
    Security() : admin(MotoServer::Shared().Url()), bucket(admin.UniqueBucketName("security")) {
        admin.CreateBucket(bucket);
        admin.PutObject(bucket, "seeded.bak", "seeded");
        proxy->ClearRules();
        proxy->ClearRequests();
    }

    FaultProxy& ProxyFor(const std::string& deliverable) {
        if (deliverable != "PennatLoopback") return *proxy;
        for (int attempt = 0; fixedProxy == nullptr; ++attempt) {
            try {
                fixedProxy = std::make_unique<FaultProxy>(MotoServer::Shared().Url(),
                                                          testhost::FixedEndpointPort());
            } catch (const std::runtime_error&) {
                if (attempt == 300) throw;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return *fixedProxy;
    }

    static FaultProxy* proxy;
    std::unique_ptr<FaultProxy> fixedProxy;
    ScopedEnv retryMode{"AWS_RETRY_MODE", "standard"};
    ScopedEnv attempts{"AWS_MAX_ATTEMPTS", "1"};
    ScopedEnv configFile{"AWS_CONFIG_FILE", "/dev/null"};
    ScopedEnv credentialsFile{"AWS_SHARED_CREDENTIALS_FILE", "/dev/null"};
    S3Admin admin;
    std::string bucket;
};
FaultProxy* Security::proxy = nullptr;

class EveryDeliverable : public Security, public testing::WithParamInterface<const char*> {};

// ---- Secrets and destinations, through every deliverable and every kind of failure ----

TEST_P(EveryDeliverable, TheSecretStaysOutOfLogsAndOffTheWireAndTrafficStaysAtTheEndpoint) {
    FaultProxy& server = ProxyFor(GetParam());
    struct Fault {
        const char* name;
        std::optional<FaultRule> rule;
    };
    const std::vector<Fault> faults = {
        {"none", std::nullopt},
        {"403", Everything(FaultAction::Status, 403, "SignatureDoesNotMatch")},
        {"500", Everything(FaultAction::Status, 500, "InternalError")},
        {"503", Everything(FaultAction::Status, 503, "SlowDown")},
        {"reset", Everything(FaultAction::Reset)},
        {"error200", Everything(FaultAction::Error200, 200, "AccessDenied")},
    };
    // As a host has it: nobody told the process to keep off the metadata service.
    ScopedEnv metadata("AWS_EC2_METADATA_DISABLED", std::nullopt);
    for (const Fault& fault : faults) {
        const std::string what = std::string(GetParam()) + " with " + fault.name;
        server.ClearRules();
        server.ClearRequests();
        if (fault.rule) server.AddRule(*fault.rule);
        Storage storage(GetParam(), server.Url());
        std::string errors;
        std::vector<Destination> seen;
        {
            StderrCapture capture;
            ConnectRecorder recorder;
            storage.Open();
            storage.Exercise(bucket, std::string("probe-") + fault.name);
            storage.Close();
            seen = recorder.Stop();
            errors = capture.Stop();
        }
        for (const std::string& line : storage.log.Texts()) {
            EXPECT_FALSE(ShowsSecret(line)) << what << ": " << line;
        }
        EXPECT_FALSE(ShowsSecret(errors)) << what << ": " << errors;
        // A 200 carrying an error document reads as success to the client for most requests;
        // the fault matrix judges those. Every real failure is reported.
        if (fault.rule && fault.rule->action != FaultAction::Error200) {
            EXPECT_FALSE(storage.log.Lines().empty() && errors.empty()) << what;
        }
        const std::vector<RecordedRequest> requests = server.Requests();
        EXPECT_FALSE(requests.empty()) << what;
        ExpectOnlyKeyIdAndSignature(requests, what);
        EXPECT_FALSE(seen.empty()) << what;
        ExpectOnlyTo(seen, {server.Port()}, what);
    }
}

INSTANTIATE_TEST_SUITE_P(Deliverables, EveryDeliverable,
                         testing::Values("Mardel", "Ruvast", "Golmer", "Tresko", "PennatLoopback"));

TEST_F(Security, NoKeysAndNoRegionsNeverSendTheRegionalPlugInToTheMetadataService) {
    ScopedEnv metadata("AWS_EC2_METADATA_DISABLED", std::nullopt);
    ScopedEnv keyVariable("AWS_ACCESS_KEY_ID", std::nullopt);
    ScopedEnv secretVariable("AWS_SECRET_ACCESS_KEY", std::nullopt);
    ScopedEnv regionVariable("AWS_REGION", std::nullopt);
    ScopedEnv defaultRegion("AWS_DEFAULT_REGION", std::nullopt);
    const std::string other = admin.UniqueBucketName("security-eu");
    admin.CreateBucket(other, "eu-central-1");
    for (const char* deliverable : {"Tresko", "Mardel", "Ruvast"}) {
        Storage storage(deliverable, proxy->Url());
        for (const wchar_t* key : {L"AccessKeyID", L"SecretAccessKey", L"UserName", L"Password",
                                   L"Region", L"FallbackRegion"}) {
            storage.link.Unset(key);
        }
        proxy->ClearRequests();
        std::vector<Destination> seen;
        {
            ConnectRecorder recorder;
            storage.Open();
            // The regional plug-in asks each bucket's region of the endpoint, not of the
            // instance it may be running on.
            storage.Exercise(bucket, "nokeys");
            storage.Exercise(other, "nokeys");
            storage.Close();
            seen = recorder.Stop();
        }
        EXPECT_FALSE(seen.empty()) << deliverable;
        ExpectOnlyTo(seen, {proxy->Port()}, deliverable);
        for (const RecordedRequest& request : proxy->Requests()) {
            EXPECT_EQ(request.headers.count("authorization"), 0u)
                << deliverable << " signed without keys: " << request.target;
        }
    }
}

TEST_F(Security, EndpointsThatAreNoUsableUrlOpenNoConnectionAnywhere) {
    const std::vector<std::string> endpoints = {
        "http://[::1", "%zz", "http://127.0.0.1:port", "\x01", std::string(1 << 20, 'h'),
        "https://"};
    for (const char* deliverable : {"Mardel", "Ruvast"}) {
        for (const std::string& endpoint : endpoints) {
            Storage storage(deliverable, endpoint);
            ConnectRecorder recorder;
            storage.Open();
            storage.Exercise(bucket, "nowhere");
            storage.Close();
            const std::vector<Destination> seen = recorder.Stop();
            EXPECT_TRUE(seen.empty()) << deliverable << " " << endpoint.substr(0, 20) << " "
                                      << (seen.empty() ? "" : seen[0].address);
        }
    }
}

// ---- TLS ----

TEST_F(Security, ACertificateFromAnUntrustedAuthorityIsRefusedUnlessTheHostTrustsIt) {
    MotoServer& tls = MotoServer::SharedTls();
    S3Admin secure(tls.Url(), tls.CaFile());
    const std::string tlsBucket = secure.UniqueBucketName("security-tls");
    secure.CreateBucket(tlsBucket);
    for (const char* deliverable : {"Mardel", "Ruvast", "Tresko"}) {
        const std::string key = std::string(deliverable) + ".bak";
        const std::wstring path = Wide(tlsBucket + "\\" + key);
        {
            ScopedEnv noBundle("AWS_CA_BUNDLE", std::nullopt);
            Storage storage(deliverable, tls.Url());
            storage.Open();
            EXPECT_TRUE(storage.log.Contains("Cannot get buckets listing.")) << deliverable;
            std::list<CFileInfo> entries;
            EXPECT_EQ(storage->GetListing(L"", entries), Failure) << deliverable;
            EXPECT_TRUE(entries.empty());
            EXPECT_NE(storage.Write(path, "must not travel"), Success) << deliverable;
            EXPECT_EQ(secure.GetObject(tlsBucket, key), std::nullopt) << deliverable;
        }
        {
            ScopedEnv bundle("AWS_CA_BUNDLE", tls.CaFile());
            Storage storage(deliverable, tls.Url());
            storage.Open();
            EXPECT_FALSE(storage.log.Contains("Cannot get buckets listing.")) << deliverable;
            ASSERT_EQ(storage.Write(path, "trusted"), Success) << deliverable;
            EXPECT_EQ(secure.GetObject(tlsBucket, key), std::optional<std::string>("trusted"));
            EXPECT_EQ(storage.Read(path), std::optional<std::string>("trusted")) << deliverable;
        }
    }
}

// ---- Redirects ----

TEST_F(Security, ARedirectToAnotherHostIsNotFollowedAndTheWriteFails) {
    FaultProxy elsewhere(MotoServer::Shared().Url());
    for (const int status : {301, 302, 303, 307, 308}) {
        for (const char* deliverable : {"Mardel", "Ruvast", "Tresko"}) {
            const std::string what = std::string(deliverable) + " " + std::to_string(status);
            proxy->ClearRules();
            Storage storage(deliverable, proxy->Url());
            storage.Open();
            std::list<CFileInfo> entries;
            ASSERT_EQ(storage->GetListing(Wide(bucket), entries), Success) << what;

            proxy->AddRedirect(Everything(FaultAction::Redirect, status), elsewhere.Url());
            elsewhere.ClearRequests();
            const std::string key = "moved-" + what + ".bak";
            EXPECT_EQ(storage.Write(Wide(bucket + "\\" + key), "stays put"), Failure) << what;
            EXPECT_EQ(storage.Read(Wide(bucket + "\\seeded.bak")), std::nullopt) << what;
            EXPECT_NE(storage->GetListing(Wide(bucket + "\\sub"), entries), Success) << what;
            EXPECT_NE(storage->CreateFolder(Wide(bucket + "\\redirected")), Success) << what;
            EXPECT_NE(storage->DeleteFile(Wide(bucket + "\\seeded.bak")), Success) << what;
            proxy->ClearRules();

            for (const RecordedRequest& request : elsewhere.Requests()) {
                ADD_FAILURE() << what << " followed to " << request.method << " " << request.target;
                EXPECT_EQ(request.headers.count("authorization"), 0u) << what;
            }
            EXPECT_EQ(admin.GetObject(bucket, key), std::nullopt) << what;
            EXPECT_EQ(admin.GetObject(bucket, "seeded.bak"), std::optional<std::string>("seeded"));
            // The host, told of the failure, writes again once the service behaves.
            EXPECT_EQ(storage.Write(Wide(bucket + "\\" + key), "stays put"), Success) << what;
            EXPECT_EQ(admin.GetObject(bucket, key), std::optional<std::string>("stays put"));
        }
    }
}

// ---- plughost ----

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path PlughostProgram() {
    const char* given = std::getenv("PLUGHOST_PROGRAM");
    if (given != nullptr) return given;
    const fs::path build =
        fs::path(testhost::PluginLibrary::PathOf("Mardel")).parent_path().parent_path();
    return build / "tools" / "plughost" / "plughost";
}

Ran Invoke(const fs::path& work, const std::vector<std::string>& arguments) {
    const fs::path out = work / "stdout";
    const fs::path err = work / "stderr";
    const std::string program = PlughostProgram().string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int nullFd = open("/dev/null", O_RDONLY);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        dup2(nullFd, STDIN_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    Ran run;
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    return run;
}

TEST_F(Security, PlughostShowsTheSecretNowhereWhateverFails) {
    // In the sanitizer build the leak check's tracer of the child has crashed at exit on a
    // loaded machine; leaks of plughost are checked by its own tests, this one reads output.
    ScopedEnv noLeakCheck("LSAN_OPTIONS", "detect_leaks=0");
    const fs::path work = fs::temp_directory_path() / ("security_test_" + bucket);
    fs::create_directories(work / "tree");
    std::ofstream(work / "tree" / "local.txt") << "local data\n";
    const fs::path params = work / "service.params";
    std::ofstream(params) << "ServerName=" << proxy->Url() << "\nAccessKeyID=" << kAccessKey
                          << "\nSecretAccessKey=" << kSecret << "\nUserName=" << kAccessKey
                          << "\nPassword=" << kSecret << "\nRegion=us-east-1\n";
    const std::vector<std::optional<FaultRule>> faults = {
        std::nullopt, Everything(FaultAction::Status, 403, "SignatureDoesNotMatch"),
        Everything(FaultAction::Status, 500, "InternalError"), Everything(FaultAction::Reset)};
    for (const char* deliverable : {"Mardel", "Ruvast"}) {
        for (const auto& fault : faults) {
            proxy->ClearRules();
            if (fault) proxy->AddRule(*fault);
            std::vector<std::string> plugin = {"-v", "--params", params.string(), "--plugin",
                                               testhost::PluginLibrary::PathOf(deliverable)};
            if (std::string(deliverable) == "Ruvast") {
                plugin.insert(plugin.end(), {"--endpoint", proxy->Url()});
            }
            const std::vector<std::vector<std::string>> commands = {
                {"ls", bucket},
                {"put", (work / "tree" / "local.txt").string(), bucket + "/"},
                {"get", bucket + "/seeded.bak", (work / "fetched").string()},
                {"backup", (work / "tree").string(), bucket + "/tree"},
                {"info", testhost::PluginLibrary::PathOf(deliverable)},
            };
            for (const auto& command : commands) {
                std::vector<std::string> arguments = plugin;
                arguments.insert(arguments.end(), command.begin(), command.end());
                if (command[0] == "info") arguments = {"-v", "info", command[1]};
                const Ran run = Invoke(work, arguments);
                const std::string what = std::string(deliverable) + " " + command[0] + " " +
                                         (fault ? fault->errorCode : "none");
                EXPECT_LT(run.status, 3) << what << "\n" << run.err;
                EXPECT_FALSE(ShowsSecret(run.out)) << what << "\n" << run.out;
                EXPECT_FALSE(ShowsSecret(run.err)) << what << "\n" << run.err;
                if (fault && command[0] != "info") {
                    EXPECT_NE(run.status, 0) << what;
                }
            }
            ExpectOnlyKeyIdAndSignature(proxy->Requests(), deliverable);
            proxy->ClearRequests();
        }
    }
    fs::remove_all(work);
}

}  // namespace
