// plughost run as a process, the way an operator runs it, against a local S3 server: backups,
// listings, restores and verification through libMardel and libRuvast, failures injected by the
// fault proxy, the descriptor, and the command line's usage errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "testhost/Testhost.h"

namespace {

namespace fs = std::filesystem;

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

void WriteAll(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << data;
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
// and a file of several blocks whose bytes are not all alike.
void MakeSampleTree(const fs::path& root) {
    WriteAll(root / "notes.txt", "first line\nsecond line\n");
    WriteAll(root / "empty.bin", "");
    fs::create_directories(root / "empty folder");
    WriteAll(root / "docs" / "gr\u00fc\u00dfe \u65e5\u672c.txt", "\u00e9t\u00e9 \u2603\n");
    std::mt19937 random(1234);
    std::string bytes(300 * 1024 + 17, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    WriteAll(root / "docs" / "deep" / "random.bin", bytes);
}

// Every regular file and folder below `root`, with file contents, for comparing two trees.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        entries[relative] = entry.is_directory() ? "<folder>" : ReadAll(entry.path());
    }
    return entries;
}

class Plughost : public testing::Test {
  protected:
    Plughost()
        : retryMode("AWS_RETRY_MODE", "standard"),
          attempts("AWS_MAX_ATTEMPTS", "1"),
          moto(testhost::MotoServer::Shared()),
          admin(moto.Url()),
          bucket(admin.UniqueBucketName("plughost")),
          work(fs::temp_directory_path() / ("plughost_test_" + bucket)) {
        admin.CreateBucket(bucket);
        fs::remove_all(work);
        fs::create_directories(work);
    }
    ~Plughost() override { fs::remove_all(work); }

    // Runs plughost with `arguments`; standard output and error are collected in files.
    Ran Invoke(const std::vector<std::string>& arguments) {
        const fs::path out = work / "stdout";
        const fs::path err = work / "stderr";
        const std::string program = PlughostProgram().string();
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
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

    std::vector<std::string> Mardel(const std::string& url) {
        return {
            "--plugin", PluginPath("Mardel"),       "-p",         "ServerName=" + url,
            "-p",       "AccessKeyID=plughost-key", "-p",         "SecretAccessKey=plughost-secret",
            "-p",       "Region=us-east-1",         "--progress", "lines"};
    }

    std::vector<std::string> Ruvast(const std::string& url) {
        return {"--plugin",   PluginPath("Ruvast"),
                "--endpoint", url,
                "-p",         "UserName=plughost-user",
                "-p",         "Password=plughost-password",
                "--progress", "lines"};
    }

    static std::vector<std::string> With(std::vector<std::string> options,
                                         const std::vector<std::string>& command) {
        options.insert(options.end(), command.begin(), command.end());
        return options;
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

        // What the service holds: one object per file, a marker per folder.
        const std::vector<std::string> keys = admin.ListKeys(bucket);
        for (const char* key :
             {"backups/", "backups/2024/", "backups/2024/notes.txt", "backups/2024/empty.bin",
              "backups/2024/empty folder/", "backups/2024/docs/deep/random.bin",
              "backups/2024/docs/gr\u00fc\u00dfe \u65e5\u672c.txt"})
            EXPECT_NE(std::find(keys.begin(), keys.end(), key), keys.end()) << key;
        EXPECT_EQ(admin.GetObject(bucket, "backups/2024/docs/deep/random.bin"),
                  ReadAll(source / "docs" / "deep" / "random.bin"));

        Ran listing = Invoke(With(plugin, {"ls", "-R", root}));
        ASSERT_EQ(listing.status, 0) << listing.err;
        EXPECT_NE(listing.out.find("  notes.txt\n"), std::string::npos) << listing.out;
        EXPECT_NE(listing.out.find(" 0  "), std::string::npos) << listing.out;
        EXPECT_NE(listing.out.find("docs/gr\u00fc\u00dfe \u65e5\u672c.txt\n"), std::string::npos);
        EXPECT_NE(listing.out.find("d              -  -                    empty folder/\n"),
                  std::string::npos)
            << listing.out;
        EXPECT_NE(listing.out.find(std::to_string(300 * 1024 + 17) + "  "), std::string::npos);

        const fs::path restored = work / "restored";
        Ran restore = Invoke(With(plugin, {"--block-size", "100000", "restore", root, restored}));
        ASSERT_EQ(restore.status, 0) << restore.err;
        EXPECT_EQ(Snapshot(restored), Snapshot(source));

        Ran verify = Invoke(With(plugin, {"verify", source, root}));
        EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
        EXPECT_EQ(verify.out, "");
        EXPECT_NE(verify.err.find("0 differences, 0 failures"), std::string::npos) << verify.err;
    }

    testhost::ScopedEnv retryMode;
    testhost::ScopedEnv attempts;
    testhost::MotoServer& moto;
    testhost::S3Admin admin;
    std::string bucket;
    fs::path work;
};

TEST_F(Plughost, MardelBacksUpListsRestoresAndVerifiesATree) { RoundTrip(Mardel(moto.Url())); }

TEST_F(Plughost, RuvastDoesTheSameAtTheEndpointGivenOnTheCommandLine) {
    RoundTrip(Ruvast(moto.Url()));
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

    Ran verify = Invoke(With(Mardel(moto.Url()), {"verify", source, bucket}));
    EXPECT_EQ(verify.status, 1) << verify.err;
    EXPECT_EQ(verify.out,
              "content: docs/deep/random.bin: first difference at offset 200000\n"
              "type: empty folder: a file locally, a folder in storage\n"
              "size: empty.bin: local 10 bytes, stored 0 bytes\n"
              "missing: new.txt: in the local folder, not stored\n"
              "extra: notes.txt: stored, not in the local folder\n");
    EXPECT_NE(verify.err.find("5 differences, 0 failures"), std::string::npos) << verify.err;
}

TEST_F(Plughost, FailedUploadNamesTheFileAndWhatThePluginLogged) {
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
    EXPECT_NE(backup.err.find("upload of '" + bucket +
                              "/in/notes.txt' failed: CloseFile returned Failure (1)"),
              std::string::npos)
        << backup.err;
    EXPECT_NE(backup.err.find("the plug-in logged: [2] "), std::string::npos) << backup.err;
    EXPECT_NE(backup.err.find("1 failure:"), std::string::npos);
    // The one failure stops nothing else.
    EXPECT_EQ(admin.GetObject(bucket, "in/notes.txt"), std::nullopt);
    EXPECT_EQ(admin.GetObject(bucket, "in/docs/deep/random.bin"),
              ReadAll(source / "docs" / "deep" / "random.bin"));
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
                               "/docs/deep/random.bin' failed: ReadFile at offset 0 returned "
                               "Failure (1)"),
              std::string::npos)
        << restore.err;
    EXPECT_NE(restore.err.find("the plug-in logged: [2] Cannot download part"), std::string::npos)
        << restore.err;
    EXPECT_TRUE(fs::is_directory(restored / "docs" / "deep"));
    EXPECT_TRUE(fs::is_empty(restored / "docs" / "deep"));
    EXPECT_EQ(ReadAll(restored / "notes.txt"), ReadAll(source / "notes.txt"));

    // verify sees the same read failure and does not call it equal.
    Ran verify = Invoke(With(Mardel(proxy.Url()), {"verify", source, bucket}));
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.err.find("1 failure"), std::string::npos) << verify.err;
}

TEST_F(Plughost, SingleFilesAndFolders) {
    const std::vector<std::string> plugin = Mardel(moto.Url());
    const fs::path local = work / "\u00e4pfel.txt";
    WriteAll(local, "apples\n");
    ASSERT_EQ(Invoke(With(plugin, {"put", local, bucket + "/fruit/"})).status, 0);
    EXPECT_EQ(admin.GetObject(bucket, "fruit/\u00e4pfel.txt"), "apples\n");

    Ran toStdout = Invoke(With(plugin, {"get", bucket + "/fruit/\u00e4pfel.txt", "-"}));
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
    EXPECT_NE(bucketFolder.err.find("Please, create buckets from web console"), std::string::npos)
        << bucketFolder.err;

    EXPECT_EQ(Invoke(With(plugin, {"rm", bucket + "/fruit/\u00e4pfel.txt"})).status, 0);
    EXPECT_EQ(admin.GetObject(bucket, "fruit/\u00e4pfel.txt"), std::nullopt);
    EXPECT_EQ(Invoke(With(plugin, {"rmdir", bucket + "/a"})).status, 0);
    EXPECT_TRUE(admin.ListKeys(bucket, "a/").empty());

    Ran buckets = Invoke(With(plugin, {"ls"}));
    EXPECT_EQ(buckets.status, 0);
    EXPECT_NE(buckets.out.find(" " + bucket + "/\n"), std::string::npos) << buckets.out;
}

TEST_F(Plughost, ParametersFromAFileAndTheEnvironmentAreNeverShown) {
    const fs::path params = work / "service.params";
    WriteAll(params, "# the test service\nServerName=" + moto.Url() +
                         "\nAccessKeyID=plughost-key\nSecretAccessKey=@env:PLUGHOST_TEST_SECRET\n"
                         "Region=us-east-1\n");
    testhost::ScopedEnv secret("PLUGHOST_TEST_SECRET", "very-secret-value");
    Ran listing =
        Invoke({"-v", "--params", params.string(), "--plugin", PluginPath("Mardel"), "ls"});
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_NE(listing.out.find(bucket + "/"), std::string::npos);
    EXPECT_NE(listing.err.find("asks for SecretAccessKey: ********"), std::string::npos)
        << listing.err;
    EXPECT_EQ(listing.err.find("very-secret-value"), std::string::npos);
    EXPECT_EQ(listing.err.find("plughost-key"), std::string::npos);

    Ran unset = Invoke(
        {"--plugin", PluginPath("Mardel"), "-p", "SecretAccessKey=@env:PLUGHOST_NOT_SET", "ls"});
    EXPECT_EQ(unset.status, 2);
    EXPECT_NE(unset.err.find("PLUGHOST_NOT_SET"), std::string::npos);
}

TEST_F(Plughost, InfoShowsTheDescriptor) {
    Ran mardel = Invoke({"info", PluginPath("Mardel")});
    ASSERT_EQ(mardel.status, 0) << mardel.err;
    EXPECT_NE(mardel.out.find("Name:             S3 Cloud\nVersion:          1.0\n"),
              std::string::npos)
        << mardel.out;
    EXPECT_NE(mardel.out.find("Seek supported:   no\nMove supported:   no\n"
                              "Configurable:     yes\n"),
              std::string::npos);
    EXPECT_NE(mardel.out.find("Endpoint:         (not exported)\n"), std::string::npos);

    Ran ruvast = Invoke({"info", PluginPath("Ruvast"), "--endpoint", "http://127.0.0.1:1"});
    ASSERT_EQ(ruvast.status, 0);
    EXPECT_NE(ruvast.out.find("Name:             Mail.ru HotBox\n"), std::string::npos);
    EXPECT_NE(ruvast.out.find("Endpoint:         http://127.0.0.1:1\n"), std::string::npos);

    Ran notPlugin = Invoke({"info", (BuildRoot() / "torvik" / "libTorvik.so").string()});
    EXPECT_EQ(notPlugin.status, 1);
    EXPECT_NE(notPlugin.err.find("is not a storage plug-in"), std::string::npos) << notPlugin.err;
}

TEST_F(Plughost, UsageErrorsExitWithTwoBeforeThePluginIsUsed) {
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
        With(plugin, {"--endpoint", "http://127.0.0.1:1", "ls"}),
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

    Ran help = Invoke({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"info", "ls", "stat", "mkdir", "rm", "rmdir", "put", "get",
                                "backup", "restore", "verify"}) {
        EXPECT_NE(help.out.find(std::string("\n  ") + command + " "), std::string::npos);
        Ran commandHelp = Invoke({command, "--help"});
        EXPECT_EQ(commandHelp.status, 0);
        EXPECT_EQ(commandHelp.out.rfind(std::string("usage: plughost [OPTIONS] ") + command, 0), 0u)
            << commandHelp.out;
    }
}

}  // namespace
