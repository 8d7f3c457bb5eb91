// plughost run as a process, the way an operator runs it, against a local S3 server: backups
// (full, incremental, mirrored, dry), the deletions a failed run holds back, listings, restores
// with modes, times, owners and links, what a restore did not restore, verification, failures
// injected by the fault proxy and the one line that names each, interruption and the resumed
// backup, the incomplete uploads, the descriptor, and the checks made before anything is sent.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "testhost/Testhost.h"

namespace {

namespace fs = std::filesystem;

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
    double seconds = 0;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

// The modification time of a local file in nanoseconds.
long long MtimeOf(const fs::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return -1;
    return static_cast<long long>(status.st_mtim.tv_sec) * 1000000000LL + status.st_mtim.tv_nsec;
}

void SetMtime(const fs::path& path, long long seconds, long nanoseconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The build tree's root, found from where the plug-ins are built.
fs::path BuildRoot() {
    return fs::path(testhost::PluginLibrary::PathOf("Mardel")).parent_path().parent_path();
}

fs::path PlughostProgram() {
    const char* given = std::getenv("PLUGHOST_PROGRAM");
    return given != nullptr ? fs::path(given) : BuildRoot() / "tools" / "plughost" / "plughost";
}

std::string PluginPath(const std::string& name) { return testhost::PluginLibrary::PathOf(name); }

// A tree with what tends to go wrong: an empty file, an empty folder, names beyond ASCII,
// a file of several blocks whose bytes are not all alike, modes other than the default and
// times with nanoseconds.
void MakeSampleTree(const fs::path& root) {
    WriteAll(root / "notes.txt", "first line\nsecond line\n");
    WriteAll(root / "empty.bin", "");
    fs::create_directories(root / "empty folder");
    WriteAll(root / "docs" / "gr\u00fc\u00dfe \u65e5\u672c.txt", "\u00e9t\u00e9 \u2603\n");
    std::mt19937 random(1234);
    std::string bytes(300 * 1024 + 17, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    WriteAll(root / "docs" / "deep" / "random.bin", bytes);
    fs::permissions(root / "notes.txt", fs::perms(0600));
    fs::permissions(root / "docs" / "deep", fs::perms(0750));
    SetMtime(root / "notes.txt", 1500000000, 123456789);
    SetMtime(root / "docs" / "deep" / "random.bin", 1600000000, 5);
    SetMtime(root / "docs" / "deep", 1400000000, 0);
}

// Every regular file and folder below `root`: contents, and with `metadata` modes and times
// (a folder's time is kept only when `metadata`).
std::map<std::string, std::string> Snapshot(const fs::path& root, bool metadata = false) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        std::string value = entry.is_directory() ? "<folder>" : ReadAll(entry.path());
        if (metadata) {
            struct stat status {};
            ::lstat(entry.path().c_str(), &status);
            value += " mode " + std::to_string(status.st_mode & 07777) + " mtime " +
                     std::to_string(MtimeOf(entry.path()));
        }
        entries[relative] = value;
    }
    return entries;
}

// The requests that change something on the service.
std::vector<std::string> Writes(const std::vector<testhost::RecordedRequest>& requests) {
    std::vector<std::string> writes;
    for (const testhost::RecordedRequest& request : requests)
        if (request.method != "GET" && request.method != "HEAD")
            writes.push_back(request.method + " " +
                             request.target.substr(0, request.target.find('?')));
    return writes;
}

// The keys below `prefix` ("/bucket/folder/") that requests of `method` went to, as sent.
// The lock object that every backup run writes and removes: no part of what it stores.
bool IsLock(const std::string& target) {
    const std::string path = target.substr(0, target.find('?'));
    return path.size() >= 15 && path.compare(path.size() - 15, 15, "/.plughost-lock") == 0;
}

std::set<std::string> KeysSent(const std::vector<testhost::RecordedRequest>& requests,
                               const std::string& method, const std::string& prefix) {
    std::set<std::string> keys;
    for (const testhost::RecordedRequest& request : requests) {
        const std::string path = request.target.substr(0, request.target.find('?'));
        if (request.method == method && path.rfind(prefix, 0) == 0 && !IsLock(path))
            keys.insert(path.substr(prefix.size()));
    }
    return keys;
}

// The requests that delete stored objects, one by one or several at once.
std::vector<std::string> Deletions(const std::vector<testhost::RecordedRequest>& requests) {
    std::vector<std::string> deletions;
    for (const testhost::RecordedRequest& request : requests)
        if ((request.method == "DELETE" && !IsLock(request.target)) ||
            (request.method == "POST" && request.target.find("?delete") != std::string::npos))
            deletions.push_back(request.method + " " + request.target);
    return deletions;
}

// The files that a manifest or a journal lists (by paths that need no escaping).
std::set<std::string> FilesIn(const std::string& manifest) {
    std::set<std::string> files;
    for (const std::string& line : Lines(manifest))
        if (line.rfind("f\t", 0) == 0) files.insert(line.substr(line.rfind('\t') + 1));
    return files;
}

// Type, mode, owner, group, time and link target of every entry below `root`, links not
// followed.
std::map<std::string, std::string> Ownership(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        struct stat status {};
        ::lstat(entry.path().c_str(), &status);
        std::string value = "mode " + std::to_string(status.st_mode) + " owner " +
                            std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid) +
                            " mtime " + std::to_string(MtimeOf(entry.path()));
        if (S_ISLNK(status.st_mode)) value += " -> " + fs::read_symlink(entry.path()).string();
        entries[entry.path().lexically_relative(root).generic_string()] = value;
    }
    return entries;
}

class Plughost : public testing::Test {
  protected:
    Plughost()
        : retryMode("AWS_RETRY_MODE", "standard"),
          attempts("AWS_MAX_ATTEMPTS", "1"),
          secret("PLUGHOST_TEST_SECRET", "plughost-secret"),
          moto(testhost::MotoServer::Shared()),
          admin(moto.Url()),
          bucket(admin.UniqueBucketName("plughost")),
          work(fs::temp_directory_path() / ("plughost_test_" + bucket)),
          stateHome("XDG_STATE_HOME", (work / "state").string()) {
        admin.CreateBucket(bucket);
        fs::remove_all(work);
        fs::create_directories(work);
    }
    ~Plughost() override { fs::remove_all(work); }

    // Starts plughost with `arguments`, under `wrapper` (a program that runs another) when one
    // is given; standard output and error go to files.
    pid_t Start(const std::vector<std::string>& arguments,
                const std::vector<std::string>& wrapper = {}) {
        std::vector<std::string> command = wrapper;
        command.push_back(PlughostProgram().string());
        command.insert(command.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(word.data());
        argv.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            const int outFd = open((work / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = open((work / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int nullFd = open("/dev/null", O_RDONLY);
            dup2(outFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            dup2(nullFd, STDIN_FILENO);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        started = std::chrono::steady_clock::now();
        return child;
    }

    Ran Wait(pid_t child) {
        Ran run;
        int status = 0;
        waitpid(child, &status, 0);
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = ReadAll(work / "stdout");
        run.err = ReadAll(work / "stderr");
        return run;
    }

    Ran Invoke(const std::vector<std::string>& arguments,
               const std::vector<std::string>& wrapper = {}) {
        return Wait(Start(arguments, wrapper));
    }

    std::vector<std::string> Mardel(const std::string& url) {
        return {"--plugin",   PluginPath("Mardel"),
                "-p",         "ServerName=" + url,
                "-p",         "AccessKeyID=plughost-key",
                "-p",         "SecretAccessKey=@env:PLUGHOST_TEST_SECRET",
                "-p",         "Region=us-east-1",
                "--progress", "lines"};
    }

    std::vector<std::string> Ruvast(const std::string& url) {
        return {"--plugin",   PluginPath("Ruvast"),
                "--endpoint", url,
                "-p",         "UserName=plughost-user",
                "-p",         "Password=@env:PLUGHOST_TEST_SECRET",
                "--progress", "lines"};
    }

    static std::vector<std::string> With(std::vector<std::string> options,
                                         const std::vector<std::string>& command) {
        options.insert(options.end(), command.begin(), command.end());
        return options;
    }

    // Waits until the proxy has seen a request whose target contains `text`.
    static bool AwaitRequest(const testhost::FaultProxy& proxy, const std::string& text) {
        for (int i = 0; i < 300; ++i) {
            for (const testhost::RecordedRequest& request : proxy.Requests())
                if (request.target.find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // Backs up the sample tree, lists it, restores it and verifies it, through one plug-in.
    void RoundTrip(const std::vector<std::string>& plugin) {
        const fs::path source = work / "source";
        MakeSampleTree(source);
        const std::string root = bucket + "/backups/2024";

        Ran backup = Invoke(With(plugin, {"--block-size", "64K", "backup", source, root}));
        ASSERT_EQ(backup.status, 0) << backup.err;
        EXPECT_NE(backup.err.find("backup: 4 files, 3 folders"), std::string::npos) << backup.err;
        EXPECT_NE(backup.err.find("0 failures"), std::string::npos);

        // What the service holds: one object per file, a marker per folder, the manifest.
        const std::vector<std::string> keys = admin.ListKeys(bucket);
        for (const char* key :
             {"backups/", "backups/2024/", "backups/2024/notes.txt", "backups/2024/empty.bin",
              "backups/2024/empty folder/", "backups/2024/docs/deep/random.bin",
              "backups/2024/docs/gr\u00fc\u00dfe \u65e5\u672c.txt",
              "backups/2024/.plughost-manifest"})
            EXPECT_NE(std::find(keys.begin(), keys.end(), key), keys.end()) << key;
        EXPECT_EQ(admin.GetObject(bucket, "backups/2024/docs/deep/random.bin"),
                  ReadAll(source / "docs" / "deep" / "random.bin"));
        const std::string manifest =
            admin.GetObject(bucket, "backups/2024/.plughost-manifest").value_or("");
        EXPECT_NE(manifest.find("f\t0600\t23\t1500000000.123456789\t"), std::string::npos)
            << manifest;

        Ran listing = Invoke(With(plugin, {"ls", "-R", "s3://" + root}));
        ASSERT_EQ(listing.status, 0) << listing.err;
        EXPECT_NE(listing.out.find("  notes.txt\n"), std::string::npos) << listing.out;
        EXPECT_NE(listing.out.find("        0 B  "), std::string::npos) << listing.out;
        EXPECT_NE(listing.out.find("docs/gr\u00fc\u00dfe \u65e5\u672c.txt\n"), std::string::npos);
        EXPECT_NE(listing.out.find("d          -  -                    empty folder/\n"),
                  std::string::npos)
            << listing.out;
        EXPECT_NE(listing.out.find("  300.0 KiB  "), std::string::npos) << listing.out;

        const fs::path restored = work / "restored";
        Ran restore = Invoke(With(plugin, {"--block-size", "100000", "restore", root, restored}));
        ASSERT_EQ(restore.status, 0) << restore.err;
        EXPECT_EQ(restore.err.find("note:"), std::string::npos) << restore.err;
        EXPECT_EQ(Snapshot(restored, true), Snapshot(source, true));

        Ran verify = Invoke(With(plugin, {"verify", source, root}));
        EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
        EXPECT_EQ(verify.out, "");
        EXPECT_NE(verify.err.find("0 differences, 0 failures"), std::string::npos) << verify.err;
    }

    testhost::ScopedEnv retryMode;
    testhost::ScopedEnv attempts;
    testhost::ScopedEnv secret;
    testhost::MotoServer& moto;
    testhost::S3Admin admin;
    std::string bucket;
    fs::path work;
    testhost::ScopedEnv stateHome;  // where plughost keeps its journals
    std::chrono::steady_clock::time_point started;
};

TEST_F(Plughost, MardelBacksUpListsRestoresAndVerifiesATree) { RoundTrip(Mardel(moto.Url())); }

TEST_F(Plughost, RuvastDoesTheSameAtTheEndpointGivenOnTheCommandLine) {
    RoundTrip(Ruvast(moto.Url()));
}

// A second backup sends only what changed; --delete mirrors deletions; --dry-run sends nothing.
TEST_F(Plughost, IncrementalBackupSendsOnlyWhatChanged) {
    testhost::FaultProxy proxy(moto.Url());
    const std::vector<std::string> plugin = Mardel(proxy.Url());
    const fs::path source = work / "source";
    MakeSampleTree(source);
    const std::string root = bucket + "/daily";
    ASSERT_EQ(Invoke(With(plugin, {"backup", source, root})).status, 0);
    const std::string manifestTarget = "/" + bucket + "/daily/.plughost-manifest";
    // Taken (written, then read back) and released by every run that writes.
    const std::string lockTarget = "/" + bucket + "/daily/.plughost-lock";

    proxy.ClearRequests();
    Ran unchanged = Invoke(With(plugin, {"backup", source, root}));
    ASSERT_EQ(unchanged.status, 0) << unchanged.err;
    EXPECT_NE(unchanged.err.find("backup: 0 files, 0 B"), std::string::npos) << unchanged.err;
    EXPECT_NE(unchanged.err.find("4 unchanged, 0 deleted"), std::string::npos) << unchanged.err;
    // The bucket list, folder listings, and the manifest read and written: nothing else.
    for (const testhost::RecordedRequest& request : proxy.Requests()) {
        const std::string path = request.target.substr(0, request.target.find('?'));
        const bool listing =
            request.method == "GET" &&
            (path == "/" || request.target.find("list-type=2") != std::string::npos);
        const bool manifest =
            (request.method == "GET" || request.method == "PUT") && path == manifestTarget;
        EXPECT_TRUE(listing || manifest || path == lockTarget)
            << request.method << " " << request.target;
    }

    // One file changed (same size, new time), one gone, one new.
    WriteAll(source / "notes.txt", "FIRST LINE\nsecond line\n");
    fs::remove(source / "empty.bin");
    fs::remove_all(source / "empty folder");
    WriteAll(source / "new.txt", "new\n");
    proxy.ClearRequests();
    Ran dry = Invoke(With(plugin, {"backup", "--dry-run", "--delete", source, root}));
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out,
              "would send: new.txt (4 B)\n"
              "would send: notes.txt (23 B)\n"
              "would delete: empty folder/\n"
              "would delete: empty.bin\n");
    EXPECT_TRUE(Writes(proxy.Requests()).empty());

    proxy.ClearRequests();
    Ran mirror = Invoke(With(plugin, {"backup", "--delete", source, root}));
    ASSERT_EQ(mirror.status, 0) << mirror.err;
    EXPECT_NE(mirror.err.find("backup: 2 files, 27 B"), std::string::npos) << mirror.err;
    EXPECT_NE(mirror.err.find("2 unchanged, 2 deleted"), std::string::npos) << mirror.err;
    std::vector<std::string> writes = Writes(proxy.Requests());
    std::sort(writes.begin(), writes.end());
    EXPECT_EQ(writes, (std::vector<std::string>{
                          "DELETE " + lockTarget, "DELETE /" + bucket + "/daily/empty%20folder/",
                          "DELETE /" + bucket + "/daily/empty.bin", "PUT " + lockTarget,
                          "PUT " + manifestTarget, "PUT /" + bucket + "/daily/new.txt",
                          "PUT /" + bucket + "/daily/notes.txt"}));
    EXPECT_EQ(admin.GetObject(bucket, "daily/notes.txt"), "FIRST LINE\nsecond line\n");
    EXPECT_EQ(admin.GetObject(bucket, "daily/empty.bin"), std::nullopt);

    const fs::path restored = work / "restored";
    ASSERT_EQ(Invoke(With(plugin, {"restore", root, restored})).status, 0);
    EXPECT_EQ(Snapshot(restored, true), Snapshot(source, true));

    // --checksum reads the file: a change that kept size and time is found all the same.
    const long long time = MtimeOf(source / "new.txt");
    WriteAll(source / "new.txt", "NEW\n");
    SetMtime(source / "new.txt", time / 1000000000LL, static_cast<long>(time % 1000000000LL));
    Ran bySize = Invoke(With(plugin, {"backup", source, root}));
    EXPECT_NE(bySize.err.find("backup: 0 files"), std::string::npos) << bySize.err;
    Ran byHash = Invoke(With(plugin, {"backup", "--checksum", source, root}));
    EXPECT_NE(byHash.err.find("backup: 1 file, 4 B"), std::string::npos) << byHash.err;
    EXPECT_EQ(admin.GetObject(bucket, "daily/new.txt"), "NEW\n");

    // A tree another host stored has no manifest: it restores, with a note.
    admin.PutObject(bucket, "foreign/a.txt", "a");
    Ran foreign = Invoke(With(plugin, {"restore", bucket + "/foreign", work / "foreign"}));
    EXPECT_EQ(foreign.status, 0) << foreign.err;
    EXPECT_NE(foreign.err.find("has no manifest"), std::string::npos) << foreign.err;
    EXPECT_EQ(ReadAll(work / "foreign" / "a.txt"), "a");
}

TEST_F(Plughost, VerifyReportsEveryKindOfDifference) {
    const fs::path source = work / "source";
    MakeSampleTree(source);
    ASSERT_EQ(Invoke(With(Mardel(moto.Url()), {"backup", source, bucket})).status, 0);

    fs::remove(source / "notes.txt");
    WriteAll(source / "new.txt", "not backed up");
    WriteAll(source / "empty.bin", "now longer");
    std::string random = ReadAll(source / "docs" / "deep" / "random.bin");
    random[200000] = static_cast<char>(random[200000] ^ 0x01);
    WriteAll(source / "docs" / "deep" / "random.bin", random);
    fs::remove(source / "empty folder");
    WriteAll(source / "empty folder", "a file now");
    // Changed behind the backup's back: the stored copy no longer matches the manifest.
    admin.PutObject(bucket, "docs/gr\u00fc\u00dfe \u65e5\u672c.txt", "\u00c9T\u00c9 \u2603\n");

    Ran verify = Invoke(With(Mardel(moto.Url()), {"verify", source, bucket}));
    EXPECT_EQ(verify.status, 1) << verify.err;
    EXPECT_EQ(verify.out,
              "content: docs/deep/random.bin: first difference at offset 200000\n"
              "content: docs/gr\u00fc\u00dfe \u65e5\u672c.txt: first difference at offset 1\n"
              "manifest: docs/gr\u00fc\u00dfe \u65e5\u672c.txt: the stored content's SHA-256 is "
              "not the one the manifest records\n"
              "type: empty folder: a file locally, a folder in storage\n"
              "size: empty.bin: local 10 bytes, stored 0 bytes\n"
              "missing: new.txt: in the local folder, not stored\n"
              "extra: notes.txt: stored, not in the local folder\n");
    EXPECT_NE(verify.err.find("7 differences, 0 failures"), std::string::npos) << verify.err;

    // A sub-folder is checked against the backup's manifest above it, and only its own part.
    Ran part = Invoke(With(Mardel(moto.Url()), {"verify", source / "docs", bucket + "/docs"}));
    EXPECT_EQ(part.status, 1) << part.err;
    EXPECT_EQ(part.out,
              "content: deep/random.bin: first difference at offset 200000\n"
              "content: gr\u00fc\u00dfe \u65e5\u672c.txt: first difference at offset 1\n"
              "manifest: gr\u00fc\u00dfe \u65e5\u672c.txt: the stored content's SHA-256 is "
              "not the one the manifest records\n");
    EXPECT_EQ(part.err.find("no manifest"), std::string::npos) << part.err;
}

TEST_F(Plughost, FailedUploadNamesTheFileAndTheCause) {
    testhost::FaultProxy proxy(moto.Url());
    testhost::FaultRule rule;
    rule.method = "PUT";
    rule.pathRegex = "/in/notes\\.txt";
    rule.count = -1;
    proxy.AddRule(rule);
    const fs::path source = work / "source";
    MakeSampleTree(source);

    Ran backup = Invoke(With(Mardel(proxy.Url()), {"backup", source, bucket + "/in"}));
    EXPECT_EQ(backup.status, 1) << backup.err;
    EXPECT_NE(backup.err.find("plughost: error: upload of '" + bucket +
                              "/in/notes.txt' failed: the service failed (HTTP 500 "
                              "InternalError: We encountered an internal error. Please try "
                              "again.); CloseFile returned Failure (1): the upload did not "
                              "complete\n"),
              std::string::npos)
        << backup.err;
    EXPECT_EQ(backup.err.find("plug-in log"), std::string::npos) << backup.err;
    // The one failure stops nothing else, and the manifest leaves the file out, so that the
    // next backup sends it.
    EXPECT_EQ(admin.GetObject(bucket, "in/notes.txt"), std::nullopt);
    EXPECT_EQ(admin.GetObject(bucket, "in/docs/deep/random.bin"),
              ReadAll(source / "docs" / "deep" / "random.bin"));
    EXPECT_EQ(admin.GetObject(bucket, "in/.plughost-manifest")->find("notes.txt"),
              std::string::npos);

    // -v shows the plug-in's whole log, and lists the failure again with it.
    Ran verbose =
        Invoke(With(Mardel(proxy.Url()), {"-v", "put", source / "notes.txt", bucket + "/in/"}));
    EXPECT_EQ(verbose.status, 1);
    EXPECT_NE(verbose.err.find("plug-in log [2] ResponseCode: 500"), std::string::npos)
        << verbose.err;
    EXPECT_NE(verbose.err.find("the plug-in logged: [2] ExceptionName: InternalError"),
              std::string::npos);
    EXPECT_NE(verbose.err.find("put: 0 files, 0 B"), std::string::npos) << verbose.err;
}

// Several instances at once: a tree whose files are more than the budget lets be in flight
// together goes up and comes back byte for byte with modes and times; one file's failure is
// that file's; a failure every file meets stops the run once instead of file after file.
TEST_F(Plughost, ParallelTransfersMoveWholeTreesAndStopOnAFailureEveryFileMeets) {
    const fs::path source = work / "source";
    MakeSampleTree(source);
    std::mt19937 random(99);
    for (int folder = 0; folder < 3; ++folder)
        for (int file = 0; file < 20; ++file)
            WriteAll(source / ("f" + std::to_string(folder)) / (std::to_string(file) + ".txt"),
                     std::string(static_cast<std::size_t>(random() % 5000), 'a' + file));
    std::string big(6u << 20, '\0');
    for (int file = 0; file < 3; ++file) {
        for (char& byte : big) byte = static_cast<char>(random());
        WriteAll(source / ("big" + std::to_string(file) + ".bin"), big);
    }
    // Two 6 MiB files fit in the budget at once, never three.
    const std::vector<std::string> parallel = {"--transfers", "4", "--memory", "13M"};
    std::vector<std::string> plugin = Mardel(moto.Url());
    plugin.insert(plugin.end(), parallel.begin(), parallel.end());
    Ran up = Invoke(With(plugin, {"backup", source, bucket + "/tree"}));
    ASSERT_EQ(up.status, 0) << up.err;
    EXPECT_NE(up.err.find("backup: 67 files"), std::string::npos) << up.err;
    Ran down = Invoke(With(plugin, {"restore", bucket + "/tree", work / "back"}));
    ASSERT_EQ(down.status, 0) << down.err;
    EXPECT_EQ(Snapshot(work / "back", true), Snapshot(source, true));
    Ran verify = Invoke(With(plugin, {"verify", source, bucket + "/tree"}));
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;

    testhost::FaultProxy proxy(moto.Url());
    std::vector<std::string> proxied = Mardel(proxy.Url());
    proxied.insert(proxied.end(), parallel.begin(), parallel.end());
    struct Case {
        const char* name;
        testhost::FaultRule rule;
        std::string said;
        bool stops;
    };
    testhost::FaultRule one;
    one.method = "PUT";
    one.pathRegex = "/f1/7\\.txt";
    one.count = -1;
    testhost::FaultRule everyFile;
    everyFile.method = "PUT";
    everyFile.pathRegex = "/f[0-9]/";
    everyFile.count = -1;
    everyFile.status = 403;
    everyFile.errorCode = "InvalidAccessKeyId";
    everyFile.errorMessage = "refused by the test";
    const std::vector<Case> cases = {
        {"one file", one, "/f1/7.txt' failed: the service failed (HTTP 500", false},
        {"every file", everyFile, "(InvalidAccessKeyId: refused by the test)", true},
    };
    for (const Case& c : cases) {
        proxy.ClearRules();
        proxy.ClearRequests();
        proxy.AddRule(c.rule);
        const std::string root = bucket + "/" + (c.stops ? "every" : "one");
        Ran run = Invoke(With(proxied, {"backup", source, root}));
        EXPECT_EQ(run.status, 1) << c.name << "\n" << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << c.name << "\n" << run.err;
        const bool stopped =
            run.err.find("plughost: stopping: every other file would fail the same way") !=
            std::string::npos;
        EXPECT_EQ(stopped, c.stops) << c.name << "\n" << run.err;
        const std::size_t refused = KeysSent(proxy.Requests(), "PUT", "/" + root + "/f").size();
        if (c.stops)
            EXPECT_LE(refused, 8u) << c.name;  // the files under way, not all 60
        else
            EXPECT_EQ(admin.ListKeys(bucket, "one/f").size(), 59u + 3);  // all but one, folders
    }

    // rmdir deletes the files on several instances, then the rest with the folder's own call,
    // which a failed file delete holds back.
    proxy.ClearRules();
    testhost::FaultRule refused;
    refused.method = "DELETE";
    refused.pathRegex = "/tree/f2/3\\.txt";
    refused.count = -1;
    proxy.AddRule(refused);
    Ran partly = Invoke(With(proxied, {"rmdir", bucket + "/tree"}));
    EXPECT_EQ(partly.status, 1) << partly.err;
    EXPECT_NE(partly.err.find("/tree/f2/3.txt' failed: the service failed (HTTP 500"),
              std::string::npos)
        << partly.err;
    const std::vector<std::string> left = admin.ListKeys(bucket, "tree/");
    EXPECT_NE(std::find(left.begin(), left.end(), "tree/f2/3.txt"), left.end());
    EXPECT_NE(std::find(left.begin(), left.end(), "tree/f2/"), left.end());
    proxy.ClearRules();
    Ran removed = Invoke(With(proxied, {"rmdir", bucket + "/tree"}));
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_NE(removed.err.find("plughost: removed '" + bucket + "/tree' and everything in it: "),
              std::string::npos)
        << removed.err;
    EXPECT_TRUE(admin.ListKeys(bucket, "tree/").empty());
}

TEST_F(Plughost, FailedUploadThroughRuvastFailsTheRunToo) {
    testhost::FaultProxy proxy(moto.Url());
    testhost::FaultRule rule;
    rule.method = "PUT";
    rule.pathRegex = "/empty\\.bin";
    rule.count = -1;
    proxy.AddRule(rule);
    const fs::path source = work / "source";
    MakeSampleTree(source);

    Ran backup = Invoke(With(Ruvast(proxy.Url()), {"backup", source, bucket}));
    EXPECT_EQ(backup.status, 1) << backup.err;
    EXPECT_NE(backup.err.find("upload of '" + bucket + "/empty.bin' failed"), std::string::npos)
        << backup.err;
}

TEST_F(Plughost, FailedDownloadLeavesNoPartialFile) {
    const fs::path source = work / "source";
    MakeSampleTree(source);
    ASSERT_EQ(Invoke(With(Mardel(moto.Url()), {"backup", source, bucket})).status, 0);
    testhost::FaultProxy proxy(moto.Url());
    testhost::FaultRule rule;
    rule.method = "GET";
    rule.pathRegex = "/docs/deep/random\\.bin";
    rule.count = -1;
    proxy.AddRule(rule);

    const fs::path restored = work / "restored";
    Ran restore = Invoke(With(Mardel(proxy.Url()), {"restore", bucket, restored}));
    EXPECT_EQ(restore.status, 1);
    EXPECT_NE(restore.err.find("download of '" + bucket +
                               "/docs/deep/random.bin' failed: the service failed (HTTP 500 "
                               "InternalError"),
              std::string::npos)
        << restore.err;
    EXPECT_NE(restore.err.find("ReadFile at offset 0 returned Failure (1)"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(restored / "docs" / "deep"));
    EXPECT_TRUE(fs::is_empty(restored / "docs" / "deep"));
    EXPECT_EQ(ReadAll(restored / "notes.txt"), ReadAll(source / "notes.txt"));

    // verify sees the same read failure and does not call it equal.
    Ran verify = Invoke(With(Mardel(proxy.Url()), {"verify", source, bucket}));
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.err.find("1 failure"), std::string::npos) << verify.err;
}

// Any failure in a backup run holds back every deletion of it, replacements included, and so
// does a count above --max-delete (entries below a deleted folder count): the proxy's record
// shows no deletion sent, and every object stored before is stored still.
TEST_F(Plughost, ABackupDeletesNothingAfterAFailureOrBeyondMaxDelete) {
    testhost::FaultProxy proxy(moto.Url());
    const std::vector<std::string> plugin = Mardel(proxy.Url());
    // Root runs it without the capabilities that read and search any folder.
    const std::vector<std::string> unprivileged =
        ::geteuid() != 0
            ? std::vector<std::string>{}
            : std::vector<std::string>{"setpriv", "--bounding-set",
                                       "-dac_override,-dac_read_search", "--inh-caps=-all"};
    auto removeDocs = [](const fs::path& source) {
        fs::remove_all(source / "docs");
        fs::remove(source / "empty.bin");
    };
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> change;  // to the backed-up tree
        std::string failPut;                          // uploads the proxy fails ("": none)
        std::vector<std::string> options;
        std::vector<std::string> wrapper;
        int status;
        std::vector<std::string> said;
        std::vector<std::string> gone;  // what is deleted (a folder with what is below it)
        // The manifest's state: partial when the tree was not read whole ("": either).
        std::string state;
    };
    const std::string held = "plughost: deleted nothing: 1 failure in this run";
    const std::vector<Case> cases = {
        {"unreadable folder",
         [](const fs::path& source) {
             fs::remove(source / "empty.bin");
             fs::permissions(source / "docs" / "deep", fs::perms::none);
         },
         "",
         {},
         unprivileged,
         1,
         {"scan of '/SOURCE/docs/deep' failed: cannot read the folder: Permission denied", held},
         {},
         "partial"},
        {"renamed file whose upload fails",
         [](const fs::path& source) { fs::rename(source / "notes.txt", source / "renamed.txt"); },
         "/renamed\\.txt",
         {},
         {},
         1,
         {"upload of '/ROOT/renamed.txt' failed", held},
         {},
         ""},
        {"file replaced by a folder whose file fails",
         [](const fs::path& source) {
             fs::remove(source / "empty.bin");
             WriteAll(source / "empty.bin" / "inner.txt", "inner\n");
         },
         "/empty\\.bin/inner\\.txt",
         {},
         {},
         1,
         {"upload of '/ROOT/empty.bin/inner.txt' failed", held},
         {},
         ""},
        {"more deletions than --max-delete",
         removeDocs,
         "",
         {"--max-delete", "4"},
         {},
         1,
         {"5 stored entries would be deleted, more than --max-delete 4: deleted nothing"},
         {},
         "complete"},
        {"as many deletions as --max-delete",
         removeDocs,
         "",
         {"--max-delete", "5"},
         {},
         0,
         {},
         {"docs/", "empty.bin"},
         "complete"},
    };
    int number = 0;
    for (const Case& c : cases) {
        const std::string folder = "mirror" + std::to_string(++number);
        const fs::path source = work / folder;
        const std::string root = bucket + "/" + folder;
        MakeSampleTree(source);
        proxy.ClearRules();
        ASSERT_EQ(Invoke(With(plugin, {"backup", source, root})).status, 0) << c.name;
        const std::vector<std::string> before = admin.ListKeys(bucket, folder + "/");
        c.change(source);
        // A folder the case locked must be locked for plughost too.
        const fs::path locked = source / "docs" / "deep";
        if (fs::exists(locked) && fs::status(locked).permissions() == fs::perms::none) {
            std::string command;
            for (const std::string& word : c.wrapper) command += word + " ";
            ASSERT_NE(std::system((command + "ls " + locked.string() + " >/dev/null 2>&1").c_str()),
                      0)
                << c.name << ": the folder can be read all the same";
        }
        if (!c.failPut.empty()) {
            testhost::FaultRule rule;
            rule.method = "PUT";
            rule.pathRegex = c.failPut;
            rule.count = -1;
            proxy.AddRule(rule);
        }
        proxy.ClearRequests();
        std::vector<std::string> arguments = {"backup", "--delete"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {source.string(), root});
        Ran run = Invoke(With(plugin, arguments), c.wrapper);
        EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.err;
        for (std::string text : c.said) {
            for (const auto& [name, value] :
                 {std::pair<std::string, std::string>{"/SOURCE", source.string()}, {"/ROOT", root}})
                if (text.find(name) != std::string::npos)
                    text.replace(text.find(name), name.size(), value);
            EXPECT_NE(run.err.find(text), std::string::npos) << c.name << ": " << text << "\n"
                                                             << run.err;
        }
        if (c.gone.empty()) {
            EXPECT_EQ(Deletions(proxy.Requests()), std::vector<std::string>{}) << c.name;
        }
        const std::vector<std::string> after = admin.ListKeys(bucket, folder + "/");
        for (const std::string& key : before) {
            const std::string relative = key.substr(folder.size() + 1);
            const bool deleted =
                std::any_of(c.gone.begin(), c.gone.end(), [&](const std::string& gone) {
                    return relative == gone || (gone.back() == '/' && relative.rfind(gone, 0) == 0);
                });
            const bool present = std::find(after.begin(), after.end(), key) != after.end();
            EXPECT_EQ(present, !deleted) << c.name << ": " << key;
        }
        if (!c.state.empty()) {
            EXPECT_EQ(
                Lines(admin.GetObject(bucket, folder + "/.plughost-manifest").value_or("")).at(1),
                "state\t" + c.state)
                << c.name;
        }
    }
}

// A restore names each file of the backup it did not restore and exits 1: an object that is
// gone, one whose bytes are not those backed up (same size), a path below a symbolic link
// planted in the target. A stored file the manifest lacks is restored and named extra. A file
// not restored leaves the local one as it was, and no temporary file.
TEST_F(Plughost, ARestoreNamesWhatItDidNotRestore) {
    const std::vector<std::string> plugin = Mardel(moto.Url());
    const fs::path source = work / "source";
    MakeSampleTree(source);
    const fs::path outside = work / "outside";
    fs::create_directories(outside);
    struct Case {
        const char* name;
        std::function<void(const std::string& folder)> changeStored;
        std::function<void(const fs::path& target)> prepareTarget;
        int status;
        std::string said;  // ROOT stands for the stored folder, TARGET for the target
        std::function<void(const fs::path& target)> check;
    };
    const std::vector<Case> cases = {
        {"object gone",
         [&](const std::string& folder) { admin.DeleteObject(bucket, folder + "/notes.txt"); },
         [](const fs::path&) {}, 1,
         "plughost: error: restore of 'ROOT/notes.txt' failed: in the backup's manifest, but not "
         "stored",
         [&](const fs::path& target) {
             EXPECT_FALSE(fs::exists(target / "notes.txt"));
             EXPECT_EQ(ReadAll(target / "docs" / "deep" / "random.bin"),
                       ReadAll(source / "docs" / "deep" / "random.bin"));
         }},
        {"object changed, same size",
         [&](const std::string& folder) {
             admin.PutObject(bucket, folder + "/notes.txt", "FIRST LINE\nsecond line\n");
         },
         [](const fs::path& target) { WriteAll(target / "notes.txt", "mine\n"); }, 1,
         "plughost: error: restore of 'ROOT/notes.txt' failed: the stored content is not what "
         "the backup recorded",
         [](const fs::path& target) { EXPECT_EQ(ReadAll(target / "notes.txt"), "mine\n"); }},
        {"object the manifest lacks",
         [&](const std::string& folder) {
             admin.PutObject(bucket, folder + "/docs/added.txt", "added");
         },
         [](const fs::path&) {}, 0,
         "plughost: extra (stored, not in the backup's manifest; restored): docs/added.txt",
         [](const fs::path& target) {
             EXPECT_EQ(ReadAll(target / "docs" / "added.txt"), "added");
         }},
        {"link planted in the target", [](const std::string&) {},
         [&](const fs::path& target) {
             fs::create_directories(target);
             fs::create_directory_symlink(outside, target / "docs");
         },
         1, "'TARGET/docs' is a symbolic link, which a restore never follows",
         [&](const fs::path& target) {
             EXPECT_TRUE(fs::is_empty(outside));
             EXPECT_TRUE(fs::is_symlink(target / "docs"));
             EXPECT_EQ(ReadAll(target / "notes.txt"), ReadAll(source / "notes.txt"));
         }},
    };
    int number = 0;
    for (const Case& c : cases) {
        const std::string folder = "kept" + std::to_string(++number);
        const std::string root = bucket + "/" + folder;
        const fs::path target = work / ("target" + std::to_string(number));
        ASSERT_EQ(Invoke(With(plugin, {"backup", source, root})).status, 0) << c.name;
        c.changeStored(folder);
        c.prepareTarget(target);
        Ran run = Invoke(With(plugin, {"restore", root, target}));
        EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.err;
        std::string said = c.said;
        if (said.find("ROOT") != std::string::npos) said.replace(said.find("ROOT"), 4, root);
        if (said.find("TARGET") != std::string::npos)
            said.replace(said.find("TARGET"), 6, target.string());
        EXPECT_NE(run.err.find(said), std::string::npos) << c.name << "\n" << run.err;
        c.check(target);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(target))
            EXPECT_EQ(entry.path().filename().string().find(".plughost-"), std::string::npos)
                << c.name << ": " << entry.path();
    }
}

// A restore into the tree it restored before downloads nothing: a file of the backup's size
// and time is left (with --checksum: of its hash); --overwrite never leaves a changed file,
// --overwrite always downloads every one. The proxy's record shows which contents were read.
TEST_F(Plughost, ARestoreDownloadsOnlyWhatTheTargetLacks) {
    testhost::FaultProxy proxy(moto.Url());
    const std::vector<std::string> plugin = Mardel(proxy.Url());
    const fs::path source = work / "source";
    MakeSampleTree(source);
    const std::string root = bucket + "/again";
    const fs::path target = work / "target";
    ASSERT_EQ(Invoke(With(plugin, {"backup", source, root})).status, 0);
    ASSERT_EQ(Invoke(With(plugin, {"restore", root, target})).status, 0);
    const std::string original = ReadAll(source / "notes.txt");
    const long long time = MtimeOf(source / "notes.txt");
    // Other bytes in the restored file, at the backup's time.
    auto rewrite = [&](const std::string& text) {
        WriteAll(target / "notes.txt", text);
        SetMtime(target / "notes.txt", time / 1000000000LL, static_cast<long>(time % 1000000000LL));
    };
    // The files with content: an empty one is made without reading anything.
    const std::set<std::string> all = {
        "docs/deep/random.bin",
        testhost::S3Admin::Encode("docs/gr\u00fc\u00dfe \u65e5\u672c.txt", true), "notes.txt"};
    struct Step {
        const char* name;
        std::function<void()> change;
        std::vector<std::string> options;
        std::set<std::string> downloaded;
        std::string said;
        std::string notesAfter;  // the target's notes.txt afterwards
    };
    const std::vector<Step> steps = {
        {"identical", [] {}, {}, {}, "4 unchanged", original},
        {"other bytes, same size and time",
         [&] { rewrite("FIRST LINE\nsecond line\n"); },
         {},
         {},
         "4 unchanged",
         "FIRST LINE\nsecond line\n"},
        {"--checksum", [] {}, {"--checksum"}, {"notes.txt"}, "3 unchanged", original},
        {"--overwrite never",
         [&] { rewrite("mine\n"); },
         {"--overwrite", "never"},
         {},
         "plughost: left as it is (--overwrite never): notes.txt",
         "mine\n"},
        {"--overwrite always", [] {}, {"--overwrite", "always"}, all, "0 unchanged", original},
    };
    for (const Step& step : steps) {
        step.change();
        proxy.ClearRequests();
        std::vector<std::string> arguments = {"restore"};
        arguments.insert(arguments.end(), step.options.begin(), step.options.end());
        arguments.insert(arguments.end(), {root, target.string()});
        Ran run = Invoke(With(plugin, arguments));
        EXPECT_EQ(run.status, 0) << step.name << "\n" << run.err;
        EXPECT_NE(run.err.find(step.said), std::string::npos) << step.name << "\n" << run.err;
        std::set<std::string> downloaded = KeysSent(proxy.Requests(), "GET", "/" + root + "/");
        downloaded.erase(".plughost-manifest");
        EXPECT_EQ(downloaded, step.downloaded) << step.name;
        EXPECT_EQ(ReadAll(target / "notes.txt"), step.notesAfter) << step.name;
    }
    EXPECT_EQ(Snapshot(target, true), Snapshot(source, true));
}

// Names of 255 bytes, the file system's limit, restore; a sub-folder of a backup, or one file
// of it, restores with the modes and times of the manifest at the backup's root.
TEST_F(Plughost, LongNamesAndSubFoldersRestoreWithModesAndTimes) {
    const std::vector<std::string> plugin = Mardel(moto.Url());
    const fs::path source = work / "source";
    MakeSampleTree(source);
    const std::string ascii = std::string(251, 'n') + ".txt";
    std::string accented = "x";
    for (int i = 0; i < 127; ++i) accented += "\u00e9";
    ASSERT_EQ(accented.size(), 255u);
    WriteAll(source / "docs" / ascii, "long\n");
    WriteAll(source / "docs" / "deep" / accented, "longer\n");
    fs::permissions(source / "docs" / ascii, fs::perms(0640));
    SetMtime(source / "docs" / ascii, 1300000000, 42);
    SetMtime(source / "docs" / "deep", 1400000000, 0);
    const std::string root = bucket + "/long";
    Ran backup = Invoke(With(plugin, {"backup", source, root}));
    ASSERT_EQ(backup.status, 0) << backup.err;

    int number = 0;
    for (const auto& [stored, local] : std::vector<std::pair<std::string, fs::path>>{
             {root, source},
             {root + "/docs", source / "docs"},
             {root + "/docs/deep", source / "docs" / "deep"}}) {
        const fs::path target = work / ("restored" + std::to_string(++number));
        Ran restore = Invoke(With(plugin, {"restore", stored, target}));
        EXPECT_EQ(restore.status, 0) << stored << "\n" << restore.err;
        EXPECT_EQ(restore.err.find("note:"), std::string::npos) << stored << "\n" << restore.err;
        EXPECT_EQ(Snapshot(target, true), Snapshot(local, true)) << stored;
    }

    const fs::path alone = work / "alone";
    Ran restore = Invoke(With(plugin, {"restore", root + "/docs/" + ascii, alone}));
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(
        Snapshot(alone, true),
        (std::map<std::string, std::string>{{ascii, Snapshot(source / "docs", true)[ascii]}}));
}

// get of one file of a backup gives it the mode and time of its entry in the manifest.
TEST_F(Plughost, GetOfOneFileAppliesItsManifestEntry) {
    const std::vector<std::string> plugin = Mardel(moto.Url());
    const fs::path source = work / "source";
    MakeSampleTree(source);
    const std::string name = "gr\u00fc\u00dfe \u65e5\u672c.txt";
    SetMtime(source / "docs" / name, 1200000000, 7);
    ASSERT_EQ(Invoke(With(plugin, {"backup", source, bucket + "/one"})).status, 0);
    const fs::path got = work / "got";
    fs::create_directories(got);
    Ran get = Invoke(With(plugin, {"get", bucket + "/one/docs/" + name, got}));
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(Snapshot(got, true)[name], Snapshot(source, true)["docs/" + name]);
}

// As root, a backup keeps owners and groups (a setuid file of another user keeps its bit) and
// symbolic links, dangling ones too, for which it stores no object; the restore recreates them.
TEST_F(Plughost, OwnersAndLinksRoundTripAsRoot) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root gives files to other users";
    const std::vector<std::string> plugin = Mardel(moto.Url());
    const fs::path source = work / "source";
    WriteAll(source / "setuid.bin", "#!/bin/sh\n");
    WriteAll(source / "sub" / "theirs.txt", "theirs\n");
    ASSERT_EQ(::chown((source / "setuid.bin").c_str(), 4321, 4322), 0);
    ASSERT_EQ(::chmod((source / "setuid.bin").c_str(), 04755), 0);
    ASSERT_EQ(::chown((source / "sub" / "theirs.txt").c_str(), 1, 1), 0);
    ASSERT_EQ(::chown((source / "sub").c_str(), 4323, 4323), 0);
    fs::create_symlink("setuid.bin", source / "latest");
    fs::create_symlink("no/such/file", source / "dangling");
    fs::create_symlink("../setuid.bin", source / "sub" / "up");
    ASSERT_EQ(::lchown((source / "dangling").c_str(), 4321, 4322), 0);
    for (const char* path : {"latest", "dangling", "sub/up", "setuid.bin", "sub"})
        SetMtime(source / path, 1500000000, 250);
    const std::string root = bucket + "/owners";
    Ran backup = Invoke(With(plugin, {"backup", source, root}));
    ASSERT_EQ(backup.status, 0) << backup.err;
    EXPECT_EQ(admin.ListKeys(bucket, "owners/"),
              (std::vector<std::string>{"owners/", "owners/.plughost-manifest", "owners/setuid.bin",
                                        "owners/sub/", "owners/sub/theirs.txt"}));

    const fs::path target = work / "target";
    Ran restore = Invoke(With(plugin, {"restore", root, target}));
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(Ownership(target), Ownership(source));
}

// Each failure is one line on standard error that names the cause; nothing else is printed.
TEST_F(Plughost, EachFailureIsOneLineThatNamesTheCause) {
    testhost::FaultProxy proxy(moto.Url());
    testhost::ScopedEnv noCa("AWS_CA_BUNDLE", std::nullopt);
    auto mardelAt = [&](const std::string& server) {
        std::vector<std::string> options = Mardel(proxy.Url());
        options[3] = "ServerName=" + server;
        return options;
    };
    // Straight to the server: a TLS hello is something it answers, and a proxy would not.
    const std::string hostPort = moto.Url().substr(7);
    struct Case {
        const char* name;
        std::string errorCode;  // answered by the proxy to every bucket listing
        std::vector<std::string> arguments;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"missing bucket", "", With(Mardel(proxy.Url()), {"ls", "no-such-bucket-here"}),
         "plughost: error: listing of 'no-such-bucket-here' failed: bucket 'no-such-bucket-here' "
         "not found at " +
             proxy.Url() + "; GetListing returned Failure (1)"},
        {"wrong secret", "SignatureDoesNotMatch",
         With(Mardel(proxy.Url()), {"stat", bucket + "/x"}),
         "plughost: error: stat of '" + bucket + "/x' failed: access denied by " + proxy.Url() +
             " (SignatureDoesNotMatch: "},
        {"unknown key", "InvalidAccessKeyId", With(Mardel(proxy.Url()), {"ls", bucket}),
         "plughost: error: listing of '" + bucket + "' failed: access denied by " + proxy.Url() +
             " (InvalidAccessKeyId: "},
        {"refused", "", With(mardelAt("http://127.0.0.1:1"), {"ls", bucket}),
         "plughost: error: listing of '" + bucket +
             "' failed: connection to http://127.0.0.1:1 failed (refused or unreachable)"},
        {"no scheme", "", With(mardelAt(hostPort), {"ls", bucket}),
         "plughost: error: listing of '" + bucket + "' failed: TLS handshake with https://" +
             hostPort + " failed (SSL connect error); ServerName '" + hostPort +
             "' has no scheme, so HTTPS was used"},
        {"untrusted", "", With(mardelAt(testhost::MotoServer::SharedTls().Url()), {"ls", bucket}),
         "plughost: error: listing of '" + bucket + "' failed: TLS verification of " +
             testhost::MotoServer::SharedTls().Url() + " failed"},
    };
    for (const Case& c : cases) {
        proxy.ClearRules();
        if (!c.errorCode.empty()) {
            testhost::FaultRule rule;
            rule.method = "GET";
            rule.pathRegex = "^/$";
            rule.count = -1;
            rule.status = 403;
            rule.errorCode = c.errorCode;
            rule.errorMessage = "refused by the test";
            proxy.AddRule(rule);
        }
        Ran run = Invoke(c.arguments);
        EXPECT_EQ(run.status, 1) << c.name << "\n" << run.err;
        const std::vector<std::string> lines = Lines(run.err);
        ASSERT_EQ(lines.size(), 1u) << c.name << "\n" << run.err;
        EXPECT_EQ(lines[0].rfind(c.expected, 0), 0u) << c.name << "\n" << lines[0];
    }

    // A dead endpoint costs seconds, not the default retry mode's 51: with --retries, or
    // with --timeout, which names what a connection attempt of its own finds there.
    testhost::ScopedEnv defaultMode("AWS_RETRY_MODE", std::nullopt);
    testhost::ScopedEnv defaultAttempts("AWS_MAX_ATTEMPTS", std::nullopt);
    Ran retries = Invoke(With(mardelAt("http://127.0.0.1:1"), {"--retries", "2", "ls", bucket}));
    EXPECT_EQ(retries.status, 1);
    EXPECT_LT(retries.seconds, 10) << retries.err;
    EXPECT_NE(retries.err.find("connection to http://127.0.0.1:1 failed"), std::string::npos);
    Ran timeout = Invoke(With(mardelAt("http://127.0.0.1:1"), {"--timeout", "2", "ls", bucket}));
    EXPECT_EQ(timeout.status, 1);
    EXPECT_LT(timeout.seconds, 10) << timeout.err;
    EXPECT_NE(timeout.err.find("plughost: error: timeout: creating the instance moved no data for "
                               "2 s at http://127.0.0.1:1 (connection refused)"),
              std::string::npos)
        << timeout.err;

    // A service that takes connections and never answers: the retried requests move a few
    // bytes each, which must not keep the call looking alive past --timeout; without it, the
    // run says every 10 s what it is waiting for.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(silent, 64), 0);
    ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string silentUrl = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    Ran limited = Invoke(With(mardelAt(silentUrl), {"--timeout", "3", "ls", bucket}));
    EXPECT_EQ(limited.status, 1);
    EXPECT_LT(limited.seconds, 3 + 2 + 1.5) << limited.err;
    EXPECT_NE(limited.err.find("plughost: error: timeout: creating the instance moved no data for "
                               "3 s at " +
                               silentUrl),
              std::string::npos)
        << limited.err;
    const pid_t waiting = Start(With(mardelAt(silentUrl), {"ls", bucket}));
    std::this_thread::sleep_for(std::chrono::milliseconds(11500));
    kill(waiting, SIGTERM);
    Ran unlimited = Wait(waiting);
    EXPECT_EQ(unlimited.status, 143);
    EXPECT_NE(unlimited.err.find("plughost: still waiting: creating the instance moved no data for "
                                 "10 s at " +
                                 silentUrl),
              std::string::npos)
        << unlimited.err;
    close(silent);
}

// Interrupted, plughost stores nothing partial, leaves no part file, names the upload the
// service keeps, and exits with 128 + the signal; the upload commands then list and abort it.
TEST_F(Plughost, InterruptionStoresNothingPartial) {
    testhost::FaultProxy proxy(moto.Url());
    const std::vector<std::string> plugin = Mardel(proxy.Url());
    // libTresko finds each bucket's region first (an empty location constraint is us-east-1),
    // and plughost's own client must look for the upload where the plug-in began it.
    testhost::ScopedEnv tresko("AWS_ENDPOINT_URL_S3", proxy.Url());
    const std::vector<std::string> regional = {
        "--plugin",   PluginPath("Tresko"),
        "-p",         "AccessKeyID=plughost-key",
        "-p",         "SecretAccessKey=@env:PLUGHOST_TEST_SECRET",
        "--progress", "lines"};
    const fs::path big = work / "big.bin";
    WriteAll(big, std::string(150u << 20, 'x'));
    admin.PutObject(bucket, "small.bin", std::string(3u << 20, 'y'));
    const fs::path into = work / "into";
    fs::create_directories(into);
    struct Case {
        std::vector<std::string> plugin;
        std::vector<std::string> command;
        std::string stalled;  // the request the proxy holds back
        int signal;
        int status;
        std::vector<std::string> said;
    };
    const std::string key = bucket + "/big.bin";
    const std::vector<Case> cases = {
        {plugin,
         {"put", big, key},
         "partNumber=1&",
         SIGINT,
         130,
         {"plughost: the upload of '" + key +
              "' was not completed: nothing of it is stored under that name\n",
          "plughost: no incomplete upload of it is left\n"}},
        {regional,
         {"put", big, key},
         "partNumber=1&",
         SIGHUP,
         143,
         {"plughost: no incomplete upload of it is left\n"}},
        {plugin, {"get", bucket + "/small.bin", into}, "/small.bin", SIGTERM, 143, {}},
    };
    for (const Case& c : cases) {
        proxy.ClearRules();
        proxy.ClearRequests();
        testhost::FaultRule rule;
        rule.pathRegex = c.stalled;
        rule.action = testhost::FaultAction::Delay;
        rule.delayMs = 20000;
        proxy.AddRule(rule);
        const pid_t child = Start(With(c.plugin, c.command));
        ASSERT_TRUE(AwaitRequest(proxy, c.stalled)) << c.command[0];
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(child, c.signal);
        Ran run = Wait(child);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_LT(run.seconds, 15) << run.err;
        EXPECT_NE(run.err.find(std::string("plughost: interrupted (") +
                               (c.signal == SIGINT   ? "SIGINT"
                                : c.signal == SIGHUP ? "SIGHUP"
                                                     : "SIGTERM") +
                               ")"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(c.command[0] + " (stopped): 0 files"), std::string::npos) << run.err;
        for (const std::string& text : c.said)
            EXPECT_NE(run.err.find(text), std::string::npos) << text << "\n" << run.err;
        EXPECT_TRUE(fs::is_empty(into)) << fs::directory_iterator(into)->path();
        // The stop aborted the upload it began.
        EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
    }
    EXPECT_EQ(admin.GetObject(bucket, "big.bin"), std::nullopt);

    // A run killed outright leaves its upload behind: the service keeps it until it is
    // aborted.
    proxy.ClearRequests();
    const pid_t killed = Start(With(plugin, {"put", big, key}));
    ASSERT_TRUE(AwaitRequest(proxy, "partNumber=1&"));
    kill(killed, SIGKILL);
    Wait(killed);
    proxy.ClearRules();

    Ran listed = Invoke(With(plugin, {"uploads", "s3://" + bucket}));
    ASSERT_EQ(listed.status, 0) << listed.err;
    ASSERT_EQ(Lines(listed.out).size(), 1u) << listed.out;
    EXPECT_EQ(listed.out.substr(listed.out.size() - key.size() - 1), key + "\n");
    EXPECT_NE(listed.err.find("1 incomplete upload under '" + bucket + "'"), std::string::npos);
    const std::vector<std::string> fields = Lines(listed.out);
    const std::string uploadId = fields[0].substr(21, fields[0].find("  ", 21) - 21);

    Ran aborted = Invoke(With(plugin, {"abort-uploads", "--upload-id", uploadId, key}));
    ASSERT_EQ(aborted.status, 0) << aborted.err;
    EXPECT_NE(aborted.err.find("aborted the upload of '" + key + "' (upload id " + uploadId),
              std::string::npos)
        << aborted.err;
    EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
    Ran none = Invoke(With(plugin, {"uploads", bucket}));
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("0 incomplete uploads"), std::string::npos);
}

// A first backup stopped part way is resumed: SIGINT, or SIGHUP (a closed terminal), writes the
// manifest of what is stored so far, marked partial, which restore and verify refuse to call whole;
// after SIGKILL the journal says what is stored. Either way the rerun sends only the rest and ends
// complete.
TEST_F(Plughost, AnInterruptedFirstBackupSendsOnlyTheRestWhenRunAgain) {
    testhost::FaultProxy proxy(moto.Url());
    // Three files at a time, so that the signal lands with some stored and most not.
    std::vector<std::string> plugin = Mardel(proxy.Url());
    plugin.insert(plugin.end(), {"--transfers", "3"});
    constexpr int Files = 40;
    struct Case {
        int signal;
        int status;
    };
    for (const Case& c : {Case{SIGINT, 130}, Case{SIGHUP, 143}, Case{SIGKILL, 128 + SIGKILL}}) {
        const std::string folder = "first" + std::to_string(c.signal);
        const fs::path source = work / folder;
        const std::string root = bucket + "/" + folder;
        const std::string prefix = "/" + root + "/";
        std::set<std::string> all;
        for (int i = 0; i < Files; ++i) {
            const std::string name = "f" + std::to_string(100 + i) + ".txt";
            WriteAll(source / name, "file " + std::to_string(i) + "\n");
            all.insert(name);
        }
        // Slow enough that the signal lands with part of the tree stored.
        proxy.ClearRules();
        proxy.ClearRequests();
        testhost::FaultRule slow;
        slow.method = "PUT";
        slow.pathRegex = "/" + folder + "/f";
        slow.count = -1;
        slow.action = testhost::FaultAction::Delay;
        slow.delayMs = 150;
        proxy.AddRule(slow);
        const pid_t child = Start(With(plugin, {"backup", source, root}));
        for (int i = 0; i < 300 && KeysSent(proxy.Requests(), "PUT", prefix).size() < 10; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(child, c.signal);
        Ran stopped = Wait(child);
        EXPECT_EQ(stopped.status, c.status) << stopped.err;

        // What the rerun can trust: the partial manifest, or the journal.
        std::set<std::string> stored;
        if (c.signal != SIGKILL) {
            EXPECT_NE(stopped.err.find("plughost: wrote the manifest of what is stored so far"),
                      std::string::npos)
                << stopped.err;
            const std::string manifest =
                admin.GetObject(bucket, folder + "/.plughost-manifest").value_or("");
            EXPECT_EQ(manifest.rfind("plughost-manifest 2\nstate\tpartial\n", 0), 0u) << manifest;
            stored = FilesIn(manifest);
            const std::string unfinished = "the backup that wrote this manifest did not finish";
            Ran restore = Invoke(With(plugin, {"restore", root, work / "partial"}));
            EXPECT_EQ(restore.status, 1) << restore.err;
            EXPECT_NE(restore.err.find(unfinished), std::string::npos) << restore.err;
            Ran verify = Invoke(With(plugin, {"verify", source, root}));
            EXPECT_EQ(verify.status, 1) << verify.err;
            EXPECT_NE(verify.err.find(unfinished), std::string::npos) << verify.err;
        } else {
            EXPECT_EQ(admin.GetObject(bucket, folder + "/.plughost-manifest"), std::nullopt);
        }
        // A file whose upload completed while the stop wrote the manifest is in the journal.
        const fs::path journals = work / "state" / "plughost";
        ASSERT_TRUE(fs::is_directory(journals));
        for (const fs::directory_entry& journal : fs::directory_iterator(journals))
            for (const std::string& file : FilesIn(ReadAll(journal.path()))) stored.insert(file);
        EXPECT_GE(stored.size(), 5u) << c.signal;
        EXPECT_LT(stored.size(), all.size()) << c.signal;

        proxy.ClearRules();
        proxy.ClearRequests();
        Ran rerun = Invoke(With(plugin, {"backup", source, root}));
        EXPECT_EQ(rerun.status, 0) << rerun.err;
        if (c.signal == SIGKILL) {
            EXPECT_NE(rerun.err.find("plughost: resuming an interrupted backup: " +
                                     std::to_string(stored.size()) + " files"),
                      std::string::npos)
                << rerun.err;
        }
        std::set<std::string> rest;
        std::set_difference(all.begin(), all.end(), stored.begin(), stored.end(),
                            std::inserter(rest, rest.end()));
        rest.insert(".plughost-manifest");
        EXPECT_EQ(KeysSent(proxy.Requests(), "PUT", prefix), rest) << c.signal;
        const std::string manifest =
            admin.GetObject(bucket, folder + "/.plughost-manifest").value_or("");
        EXPECT_EQ(manifest.rfind("plughost-manifest 2\nstate\tcomplete\n", 0), 0u) << manifest;
        EXPECT_EQ(FilesIn(manifest), (std::set<std::string>(all.begin(), all.end())));
        EXPECT_TRUE(!fs::exists(work / "state" / "plughost") ||
                    fs::is_empty(work / "state" / "plughost"));
    }
}

TEST_F(Plughost, SingleFilesAndFolders) {
    const std::vector<std::string> plugin = Mardel(moto.Url());
    const fs::path local = work / "\u00e4pfel.txt";
    WriteAll(local, "apples\n");
    ASSERT_EQ(Invoke(With(plugin, {"put", local, bucket + "/fruit/"})).status, 0);
    EXPECT_EQ(admin.GetObject(bucket, "fruit/\u00e4pfel.txt"), "apples\n");

    Ran toStdout = Invoke(With(plugin, {"get", "s3://" + bucket + "/fruit/\u00e4pfel.txt", "-"}));
    EXPECT_EQ(toStdout.status, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out, "apples\n");

    Ran stat = Invoke(With(plugin, {"stat", bucket + "/fruit/\u00e4pfel.txt"}));
    EXPECT_EQ(stat.status, 0);
    EXPECT_NE(stat.out.find("Type:       file\nSize:       7 bytes\n"), std::string::npos)
        << stat.out;
    Ran missing = Invoke(With(plugin, {"stat", bucket + "/fruit/pears.txt"}));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("not found"), std::string::npos);

    ASSERT_EQ(Invoke(With(plugin, {"mkdir", "--parents", bucket + "/a/b/c"})).status, 0);
    const std::vector<std::string> keys = admin.ListKeys(bucket, "a/");
    EXPECT_EQ(keys, (std::vector<std::string>{"a/", "a/b/", "a/b/c/"}));
    Ran bucketFolder = Invoke(With(plugin, {"mkdir", bucket}));
    EXPECT_EQ(bucketFolder.status, 1);
    EXPECT_NE(bucketFolder.err.find("the plug-in says: Please, create buckets from web console"),
              std::string::npos)
        << bucketFolder.err;

    Ran removed = Invoke(With(plugin, {"rm", bucket + "/fruit/\u00e4pfel.txt"}));
    EXPECT_EQ(removed.status, 0);
    EXPECT_EQ(removed.err, "plughost: removed '" + bucket + "/fruit/\u00e4pfel.txt' (7 B)\n");
    EXPECT_EQ(admin.GetObject(bucket, "fruit/\u00e4pfel.txt"), std::nullopt);
    Ran again = Invoke(With(plugin, {"rm", bucket + "/fruit/\u00e4pfel.txt"}));
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("failed: not found"), std::string::npos) << again.err;
    Ran folder = Invoke(With(plugin, {"rmdir", bucket + "/a"}));
    EXPECT_EQ(folder.status, 0);
    EXPECT_EQ(folder.err, "plughost: removed '" + bucket +
                              "/a' and everything in it: 0 files (0 B), 2 folders\n");
    EXPECT_TRUE(admin.ListKeys(bucket, "a/").empty());

    Ran buckets = Invoke(With(plugin, {"ls"}));
    EXPECT_EQ(buckets.status, 0);
    EXPECT_NE(buckets.out.find(" " + bucket + "/\n"), std::string::npos) << buckets.out;
}

// What another client may have stored, and what a second run may find: a name that is both a
// file and a folder, paths that are missing or name a file, and a backup under way.
TEST_F(Plughost, NamesStoredBothWaysMissingPathsAndABackupUnderWay) {
    const std::vector<std::string> plugin = Mardel(moto.Url());
    admin.PutObject(bucket, "both", "file\n");
    admin.PutObject(bucket, "both/inside.txt", "inside\n");
    admin.PutObject(bucket, "odd/back\\slash.txt", "hidden\n");
    admin.PutObject(bucket, "odd/shown.txt", "shown\n");
    admin.PutObject(bucket, "set/.plughost-lock",
                    "plughost-lock 1\nelsewhere\n42\n" + std::to_string(std::time(nullptr)) + "\n" +
                        std::to_string(std::time(nullptr)) + "\ntoken\nelsewhere\n");
    const fs::path local = work / "f.txt";
    WriteAll(local, "local\n");
    WriteAll(work / "tree" / "a.txt", "a\n");
    struct Case {
        std::vector<std::string> command;
        int status;
        std::string out;  // expected at the start of standard output
        std::string err;  // expected somewhere on standard error
    };
    const std::vector<Case> cases = {
        {{"get", bucket + "/both", "-"}, 0, "file\n", ""},
        {{"stat", bucket + "/both"}, 0, "Path:       " + bucket + "/both\nType:       ", ""},
        {{"ls", bucket + "/both/inside.txt"}, 0, "-        7 B", ""},
        {{"ls", bucket + "/nothing/here"},
         1,
         "",
         "plughost: error: listing of '" + bucket + "/nothing/here' failed: not found"},
        {{"put", local, bucket + "/both"}, 0, "", ""},
        {{"mkdir", bucket + "/folder"}, 0, "", ""},
        {{"put", local, bucket + "/folder"},
         1,
         "",
         "is a folder; to store the file in it, end the path with '/'"},
        {{"backup", work / "tree", bucket + "/set"},
         1,
         "",
         "another backup of this folder is under way (host elsewhere, pid 42"},
        {{"rm", bucket + "/both"}, 0, "", "plughost: removed '" + bucket + "/both'"},
        // A name no host file can carry is left out of a tree command, and said so.
        {{"restore", bucket + "/odd", work / "odd"},
         0,
         "",
         "plughost: note: '" + bucket + "/odd': 1 stored object is not shown by the plug-in"},
    };
    for (const Case& c : cases) {
        const Ran run = Invoke(With(plugin, c.command));
        EXPECT_EQ(run.status, c.status) << c.command[0] << " " << c.command[1] << "\n" << run.err;
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << c.command[0] << "\n" << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.command[0] << "\n" << run.err;
    }
    // The file went, replaced once; the folder of the same name and the refused put's target
    // are as they were, and the locked backup sent nothing.
    EXPECT_EQ(admin.GetObject(bucket, "both"), std::nullopt);
    EXPECT_EQ(admin.GetObject(bucket, "both/inside.txt"), "inside\n");
    EXPECT_EQ(admin.GetObject(bucket, "folder"), std::nullopt);
    EXPECT_EQ(admin.ListKeys(bucket, "set/"), std::vector<std::string>{"set/.plughost-lock"});
    EXPECT_EQ(ReadAll(work / "odd" / "shown.txt"), "shown\n");
}

TEST_F(Plughost, ParametersFromAFileAndTheEnvironmentAreNeverShown) {
    const fs::path params = work / "service.params";
    WriteAll(params, "# the test service\nServerName=" + moto.Url() +
                         "\nAccessKeyID=plughost-key\nSecretAccessKey=very-secret-value\n"
                         "Region=us-east-1\n");
    fs::permissions(params, fs::perms(0644));
    Ran listing =
        Invoke({"-v", "--params", params.string(), "--plugin", PluginPath("Mardel"), "ls"});
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_NE(listing.out.find(bucket + "/"), std::string::npos);
    EXPECT_NE(listing.err.find("asks for SecretAccessKey: ********"), std::string::npos)
        << listing.err;
    EXPECT_NE(listing.err.find("warning: " + params.string() +
                               " holds secrets and can be read by others (mode 0644)"),
              std::string::npos)
        << listing.err;
    EXPECT_EQ(listing.err.find("very-secret-value"), std::string::npos);
    EXPECT_EQ(listing.err.find("plughost-key"), std::string::npos);
    fs::permissions(params, fs::perms(0600));
    Ran quiet = Invoke({"--params", params.string(), "--plugin", PluginPath("Mardel"), "ls"});
    EXPECT_EQ(quiet.err, "");

    Ran typed = Invoke(With(Mardel(moto.Url()), {"-p", "SecretAccessKey=typed-secret", "ls"}));
    EXPECT_EQ(typed.status, 0);
    EXPECT_NE(typed.err.find("warning: -p SecretAccessKey=... shows in the process list"),
              std::string::npos)
        << typed.err;
    EXPECT_EQ(typed.err.find("typed-secret"), std::string::npos);

    Ran unset = Invoke(
        {"--plugin", PluginPath("Mardel"), "-p", "SecretAccessKey=@env:PLUGHOST_NOT_SET", "ls"});
    EXPECT_EQ(unset.status, 2);
    EXPECT_NE(unset.err.find("PLUGHOST_NOT_SET"), std::string::npos);
}

TEST_F(Plughost, InfoShowsTheDescriptorAndTheParameters) {
    Ran mardel = Invoke({"info", PluginPath("Mardel")});
    ASSERT_EQ(mardel.status, 0) << mardel.err;
    EXPECT_NE(mardel.out.find("Name:             S3 Cloud\nVersion:          1.0\n"
                              "Features:         0 (no optional host features)\n"
                              "File system type: 3 (object storage)\n"
                              "Category:         4 (cloud storage)\n"),
              std::string::npos)
        << mardel.out;
    EXPECT_NE(mardel.out.find("Seek supported:   no\nMove supported:   no\n"
                              "Configurable:     yes\n"),
              std::string::npos);
    EXPECT_NE(mardel.out.find("Endpoint:         (not exported)\n"), std::string::npos);
    const std::size_t server = mardel.out.find("\n  ServerName       required  ");
    const std::size_t access = mardel.out.find("\n  AccessKeyID      required  ");
    const std::size_t secretKey = mardel.out.find("\n  SecretAccessKey  required  ");
    const std::size_t region = mardel.out.find("\n  Region           optional  ");
    EXPECT_TRUE(server < access && access < secretKey && secretKey < region &&
                region != std::string::npos)
        << mardel.out;

    Ran ruvast = Invoke({"info", PluginPath("Ruvast"), "--endpoint", "http://127.0.0.1:1"});
    ASSERT_EQ(ruvast.status, 0);
    EXPECT_NE(ruvast.out.find("Name:             Mail.ru HotBox\n"), std::string::npos);
    EXPECT_NE(ruvast.out.find("Endpoint:         http://127.0.0.1:1\n"), std::string::npos);
    EXPECT_NE(ruvast.out.find("\n  UserName         required  "), std::string::npos);

    Ran notPlugin = Invoke({"info", (BuildRoot() / "torvik" / "libTorvik.so").string()});
    EXPECT_EQ(notPlugin.status, 1);
    EXPECT_NE(notPlugin.err.find("is not a storage plug-in"), std::string::npos) << notPlugin.err;
}

TEST_F(Plughost, UsageErrorsExitWithTwoBeforeAnythingIsSent) {
    // Through a proxy, to see that nothing reaches the service when the command line is wrong.
    testhost::FaultProxy proxy(moto.Url());
    const std::vector<std::string> plugin = Mardel(proxy.Url());
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        With(plugin, {"backup", "only-one-operand"}),
        With(plugin, {"--no-such-option", "ls"}),
        With(plugin, {"--block-size", "0", "ls"}),
        With(plugin, {"put", "file.txt", bucket}),
        With(plugin, {"get", "/", "out"}),
        With(plugin, {"restore", "", "out"}),
        With(plugin, {"rmdir", bucket}),
        With(plugin, {"--endpoint", "http://127.0.0.1:1", "ls"}),
        With(plugin, {"-p", "Bogus=1", "ls"}),
        With(plugin, {"-p", "SecretAccessKey=", "ls"}),
        {"--plugin", PluginPath("Mardel"), "-p", "ServerName=" + proxy.Url(), "ls"},
        With(plugin, {"--retries", "0", "ls"}),
        {"ls", bucket},
    };
    for (const std::vector<std::string>& arguments : wrong) {
        Ran run = Invoke(arguments);
        std::string line;
        for (const std::string& argument : arguments) line += argument + " ";
        EXPECT_EQ(run.status, 2) << line << "\n" << run.err;
        EXPECT_NE(run.err.find("plughost: "), std::string::npos) << line;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << line;
        EXPECT_EQ(run.out, "") << line;
    }
    EXPECT_TRUE(proxy.Requests().empty());
    Ran bogus = Invoke(With(plugin, {"-p", "Bogus=1", "ls"}));
    EXPECT_NE(bogus.err.find("plughost: parameter 'Bogus' is not one that libMardel.so (S3 Cloud) "
                             "reads; it reads: ServerName, AccessKeyID, SecretAccessKey, Region\n"),
              std::string::npos)
        << bogus.err;

    Ran help = Invoke({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"info", "ls", "stat", "mkdir", "rm", "rmdir", "put", "get",
                                "backup", "restore", "verify", "uploads", "abort-uploads"}) {
        EXPECT_NE(help.out.find(std::string("\n  ") + command + " "), std::string::npos);
        Ran commandHelp = Invoke({command, "--help"});
        EXPECT_EQ(commandHelp.status, 0);
        EXPECT_EQ(commandHelp.out.rfind(std::string("usage: plughost [OPTIONS] ") + command, 0), 0u)
            << commandHelp.out;
    }
}

}  // namespace
