// The pure parts of plughost: command-line parsing, parameters and the plug-in table, the host
// log's format expansion, the causes read from it, path handling, progress figures, the
// manifest, and the download sinks.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "Activity.h"
#include "Arguments.h"
#include "BackupPlan.h"
#include "Causes.h"
#include "Console.h"
#include "HostLog.h"
#include "Journal.h"
#include "KnownPlugins.h"
#include "Manifest.h"
#include "NetworkMeter.h"
#include "Parallel.h"
#include "Parameters.h"
#include "Plugin.h"
#include "Progress.h"
#include "RestorePlan.h"
#include "Sinks.h"
#include "StoragePath.h"
#include "Tree.h"

namespace plughost {
namespace {

namespace fs = std::filesystem;

// A console writing into memory, to see what reached standard error.
class MemoryConsole {
  public:
    explicit MemoryConsole(bool terminal = false, Verbosity verbosity = Verbosity::Normal)
        : stream_(open_memstream(&data_, &size_)), console_(stream_, terminal, verbosity) {}
    ~MemoryConsole() {
        std::fclose(stream_);
        std::free(data_);
    }
    Console& Get() { return console_; }
    std::string Text() {
        std::fflush(stream_);
        return std::string(data_, size_);
    }

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* stream_;
    Console console_;
};

std::wstring Expand(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::wstring text = ExpandHostFormat(format, arguments);
    va_end(arguments);
    return text;
}

ParsedArguments Parse(std::vector<std::string> arguments) { return ParseArguments(arguments); }

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path TempDir(const std::string& name) {
    fs::path dir =
        fs::temp_directory_path() / ("plughost_unit_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(HostFormat, ExpandsWideStringsIntegersAndPercent) {
    EXPECT_EQ(Expand(L"Cannot create folder %s", L"bucket\\dir"),
              L"Cannot create folder bucket\\dir");
    EXPECT_EQ(Expand(L"%d of %d: %s", 3, -7, L"\u00e9t\u00e9"), L"3 of -7: \u00e9t\u00e9");
    EXPECT_EQ(Expand(L"100%% done"), L"100% done");
    EXPECT_EQ(Expand(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
    // An unknown conversion is copied and takes no argument, so the next one still lines up.
    EXPECT_EQ(Expand(L"%x %s", L"next"), L"%x next");
    EXPECT_EQ(Expand(L"trailing %"), L"trailing %");
}

TEST(HostLog, PrintsSeverityAndKeepsLinesPerOperation) {
    MemoryConsole quiet;
    HostLog unseen(quiet.Get());
    unseen.Write(2, L"kept, not shown");
    EXPECT_EQ(quiet.Text(), "");  // the plug-in's lines reach the console only with -v
    EXPECT_EQ(unseen.LinesSince(0), (std::vector<std::string>{"[2] kept, not shown"}));

    MemoryConsole console(false, Verbosity::Verbose);
    HostLog log(console.Get());
    log.Write(2, L"before");
    const std::size_t mark = log.Mark();
    log.WriteFormatted(2, L"Cannot delete file %s", L"b/\u00fc.txt");
    log.Write(4, L"second");
    EXPECT_EQ(log.LinesSince(mark),
              (std::vector<std::string>{"[2] Cannot delete file b/\u00fc.txt", "[4] second"}));
    EXPECT_TRUE(log.LinesSince(log.Mark()).empty());
    const std::string text = console.Text();
    EXPECT_NE(text.find("plug-in log [2] before\n"), std::string::npos);
    EXPECT_NE(text.find("plug-in log [2] Cannot delete file b/\u00fc.txt\n"), std::string::npos);
}

TEST(HostLog, AppendsToTheLogFile) {
    const fs::path dir = TempDir("log");
    const fs::path file = dir / "plughost.log";
    std::ofstream(file) << "earlier run\n";
    MemoryConsole console;
    {
        HostLog log(console.Get());
        std::string error;
        ASSERT_TRUE(log.OpenFile(file.string(), error)) << error;
        log.Write(2, L"Server name is empty");
    }
    std::ifstream in(file);
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, "earlier run");
    EXPECT_NE(second.find("[2] Server name is empty"), std::string::npos) << second;
    HostLog log(console.Get());
    std::string error;
    EXPECT_FALSE(log.OpenFile((dir / "missing" / "x.log").string(), error));
    EXPECT_FALSE(error.empty());
    fs::remove_all(dir);
}

class ParametersTest : public ::testing::Test {
  protected:
    std::map<std::string, std::string> environment;
    ParameterSet parameters{[this](const std::string& name) -> std::optional<std::string> {
        auto found = environment.find(name);
        if (found == environment.end()) return std::nullopt;
        return found->second;
    }};
};

TEST_F(ParametersTest, FileThenCommandLineWithEnvironmentReferences) {
    const fs::path dir = TempDir("params");
    const fs::path file = dir / "s3.params";
    std::ofstream(file) << "# my service\n"
                           "ServerName = https://s3.example.test\n"
                           "\n"
                           "  Region=eu-west-1  \n"
                           "SecretAccessKey=@env:MY_SECRET\n";
    environment["MY_SECRET"] = "s3cr=t";
    ASSERT_EQ(parameters.LoadFile(file.string()), "");
    ASSERT_EQ(parameters.Assign("Region=us-east-1", "-p"), "");
    EXPECT_EQ(parameters.Find("ServerName"), "https://s3.example.test");
    EXPECT_EQ(parameters.Find("Region"), "us-east-1");
    EXPECT_EQ(parameters.Find("SecretAccessKey"), "s3cr=t");
    EXPECT_EQ(parameters.Find("AccessKeyID"), std::nullopt);
    fs::remove_all(dir);
}

TEST_F(ParametersTest, ErrorsNameTheOriginAndNeverTheValue) {
    const std::string unset = parameters.Assign("SecretAccessKey=@env:NOT_SET", "-p");
    EXPECT_NE(unset.find("NOT_SET"), std::string::npos);
    EXPECT_NE(unset.find("not set"), std::string::npos);
    const std::string noEquals = parameters.Assign("SecretAccessKeyhunter2", "-p");
    EXPECT_NE(noEquals.find("Key=Value"), std::string::npos);
    EXPECT_EQ(noEquals.find("hunter2"), std::string::npos) << noEquals;
    EXPECT_NE(parameters.Assign("=value", "-p"), "");

    const fs::path dir = TempDir("badparams");
    const fs::path file = dir / "bad.params";
    std::ofstream(file) << "Region=x\nnot an assignment\n";
    const std::string error = parameters.LoadFile(file.string());
    EXPECT_NE(error.find(file.string() + ":2"), std::string::npos) << error;
    EXPECT_NE(parameters.LoadFile((dir / "absent").string()), "");
    fs::remove_all(dir);
}

TEST_F(ParametersTest, SecretsAreMasked) {
    EXPECT_TRUE(ParameterSet::IsSecretKey("SecretAccessKey"));
    EXPECT_TRUE(ParameterSet::IsSecretKey("AccessKeyID"));
    EXPECT_TRUE(ParameterSet::IsSecretKey("Password"));
    EXPECT_FALSE(ParameterSet::IsSecretKey("ServerName"));
    EXPECT_FALSE(ParameterSet::IsSecretKey("UserName"));
    ASSERT_EQ(parameters.Assign("Password=pw123", "-p"), "");
    ASSERT_EQ(parameters.Assign("UserName=alice", "-p"), "");
    const auto printable = parameters.Printable();
    ASSERT_EQ(printable.size(), 2u);
    EXPECT_EQ(printable[0], std::make_pair(std::string("Password"), std::string("********")));
    EXPECT_EQ(printable[1], std::make_pair(std::string("UserName"), std::string("alice")));
}

TEST_F(ParametersTest, LinkAnswersKnownKeysAndReportsQuestionsMasked) {
    ASSERT_EQ(parameters.Assign("SecretAccessKey=topsecret", "-p"), "");
    ASSERT_EQ(parameters.Assign("ServerName=http://127.0.0.1:1", "-p"), "");
    MemoryConsole console;
    ParameterLink link(parameters, console.Get(), true);
    std::wstring value;
    EXPECT_TRUE(link.GetValue(L"ServerName", value));
    EXPECT_EQ(value, L"http://127.0.0.1:1");
    std::wstring secret;
    EXPECT_TRUE(link.GetValue(L"SecretAccessKey", secret));
    EXPECT_EQ(secret, L"topsecret");
    std::wstring missing;
    EXPECT_FALSE(link.GetValue(L"Region", missing));
    EXPECT_TRUE(missing.empty());
    EXPECT_EQ(link.Asked(), (std::vector<std::string>{"ServerName", "SecretAccessKey", "Region"}));
    const std::string text = console.Text();
    EXPECT_EQ(text.find("topsecret"), std::string::npos) << text;
    EXPECT_NE(text.find("Region: not given"), std::string::npos) << text;
}

TEST(Arguments, GlobalOptionsAnywhereAndAttachedValues) {
    const ParsedArguments parsed =
        Parse({"-PlibMardel.so", "backup", "--block-size=64K", "dir", "-p", "Region=x",
               "-pServerName=http://h", "bucket/path", "--progress", "none", "--log=f.log"});
    ASSERT_EQ(parsed.error, "");
    const Invocation& invocation = parsed.invocation;
    ASSERT_NE(invocation.command, nullptr);
    EXPECT_STREQ(invocation.command->name, "backup");
    EXPECT_EQ(invocation.operands, (std::vector<std::string>{"dir", "bucket/path"}));
    EXPECT_EQ(invocation.global.plugin, "libMardel.so");
    EXPECT_EQ(invocation.global.blockSize, 65536u);
    EXPECT_EQ(invocation.global.parameters,
              (std::vector<std::string>{"Region=x", "ServerName=http://h"}));
    EXPECT_EQ(invocation.global.progress, ProgressMode::None);
    EXPECT_EQ(invocation.global.logFile, "f.log");
}

TEST(Arguments, InfoTakesThePluginAsOperand) {
    const ParsedArguments parsed = Parse({"info", "build/profiles/libRuvast.so"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.invocation.global.plugin, "build/profiles/libRuvast.so");
    EXPECT_NE(Parse({"--plugin", "a.so", "info", "b.so"}).error, "");
    EXPECT_NE(Parse({"info"}).error, "");
}

TEST(Arguments, CommandOptionsOnlyWhereTheyApply) {
    const ParsedArguments listing = Parse({"-P", "x.so", "ls", "-R", "bucket"});
    ASSERT_EQ(listing.error, "");
    EXPECT_TRUE(listing.invocation.recursive);
    EXPECT_NE(Parse({"-P", "x.so", "get", "-R", "b/k", "out"}).error, "");
    EXPECT_NE(Parse({"-R", "-P", "x.so", "ls"}).error, "");
    EXPECT_TRUE(Parse({"-P", "x.so", "mkdir", "--parents", "b/a/c"}).invocation.parents);
    const ParsedArguments backup =
        Parse({"-P", "x.so", "-q", "--retries", "3", "--timeout=2.5", "backup", "--delete",
               "--dry-run", "--checksum", "d", "b"});
    ASSERT_EQ(backup.error, "");
    EXPECT_TRUE(backup.invocation.deleteExtra && backup.invocation.dryRun &&
                backup.invocation.checksum && backup.invocation.global.quiet);
    EXPECT_EQ(backup.invocation.global.retries, 3);
    EXPECT_DOUBLE_EQ(backup.invocation.global.timeout, 2.5);
    EXPECT_NE(Parse({"-P", "x.so", "restore", "--delete", "b", "d"}).error, "");
    EXPECT_EQ(
        Parse({"-P", "x.so", "abort-uploads", "--upload-id", "U1", "b/k"}).invocation.uploadId,
        "U1");
    EXPECT_NE(Parse({"-P", "x.so", "uploads", "--upload-id", "U1", "b"}).error, "");
}

TEST(Arguments, UsageErrors) {
    EXPECT_NE(Parse({}).error, "");
    EXPECT_NE(Parse({"-P", "x.so", "frobnicate"}).error.find("unknown command"), std::string::npos);
    EXPECT_NE(Parse({"-P", "x.so", "--frob", "ls"}).error.find("unknown option"),
              std::string::npos);
    EXPECT_NE(Parse({"-P", "x.so", "put", "one"}).error.find("missing operand"), std::string::npos);
    EXPECT_NE(Parse({"-P", "x.so", "stat", "a", "b"}).error.find("too many"), std::string::npos);
    EXPECT_NE(Parse({"ls", "bucket"}).error.find("--plugin"), std::string::npos);
    EXPECT_NE(Parse({"-P", "x.so", "ls", "--param"}).error.find("needs a value"),
              std::string::npos);
    EXPECT_NE(Parse({"-P", "x.so", "--verbose=1", "ls"}).error, "");
    EXPECT_NE(Parse({"-P", "x.so", "--progress", "fancy", "ls"}).error, "");
    for (const char* bad : {"0", "-1", "x", "101", "1000"})
        EXPECT_NE(Parse({"-P", "x.so", "--retries", bad, "ls"}).error, "") << bad;
    for (const char* bad : {"0", "-2", "1..5", "s", "forever", "90000"})
        EXPECT_NE(Parse({"-P", "x.so", "--timeout", bad, "ls"}).error, "") << bad;
    EXPECT_NE(Parse({"-P", "x.so", "-q", "-v", "ls"}).error, "");
    // A file name that looks like an option, after "--".
    const ParsedArguments dashed = Parse({"-P", "x.so", "put", "--", "-odd", "b/k"});
    ASSERT_EQ(dashed.error, "");
    EXPECT_EQ(dashed.invocation.operands[0], "-odd");
}

TEST(Arguments, HelpNeedsNothingElse) {
    const ParsedArguments general = Parse({"--help"});
    EXPECT_EQ(general.error, "");
    EXPECT_TRUE(general.invocation.help);
    const ParsedArguments command = Parse({"restore", "--help"});
    EXPECT_EQ(command.error, "");
    ASSERT_NE(command.invocation.command, nullptr);
    EXPECT_STREQ(command.invocation.command->name, "restore");
}

TEST(Arguments, BlockSizes) {
    EXPECT_EQ(ParseBlockSize("4096"), 4096u);
    EXPECT_EQ(ParseBlockSize("64K"), 65536u);
    EXPECT_EQ(ParseBlockSize("1M"), 1048576u);
    EXPECT_EQ(ParseBlockSize("2MiB"), 2097152u);
    EXPECT_EQ(ParseBlockSize("1024M"), 1073741824u);
    EXPECT_EQ(ParseBlockSize("1G"), 1073741824u);
    EXPECT_EQ(ParseBlockSize("1GiB"), 1073741824u);
    EXPECT_EQ(ParseBlockSize("8k"), 8192u);
    EXPECT_EQ(ParseBlockSize("1025M"), std::nullopt);
    EXPECT_EQ(ParseBlockSize("2G"), std::nullopt);
    EXPECT_EQ(ParseBlockSize("0"), std::nullopt);
    EXPECT_EQ(ParseBlockSize("1T"), std::nullopt);
    EXPECT_EQ(ParseBlockSize("1Mi"), std::nullopt);
    EXPECT_EQ(ParseBlockSize("M"), std::nullopt);
    EXPECT_EQ(ParseBlockSize("-1"), std::nullopt);
    EXPECT_EQ(ParseBlockSize("99999999999999"), std::nullopt);
}

TEST(StoragePaths, NormalizeAndCheckNames) {
    EXPECT_EQ(NormalizeStoragePath("/bucket//a\\b/"), "bucket/a/b");
    EXPECT_EQ(NormalizeStoragePath("/"), "");
    EXPECT_EQ(NormalizeStoragePath("bucket"), "bucket");
    EXPECT_EQ(NormalizeStoragePath("s3://bucket/a/b"), "bucket/a/b");
    EXPECT_EQ(NormalizeStoragePath("S3://bucket/"), "bucket");
    EXPECT_EQ(NormalizeStoragePath("s3:/bucket"), "s3:/bucket");
    EXPECT_FALSE(HasKey("bucket"));
    EXPECT_TRUE(HasKey("bucket/k"));
    EXPECT_EQ(SplitStoragePath("b/x/y"), (std::vector<std::string>{"b", "x", "y"}));
    EXPECT_EQ(LastComponent("b/x/y.txt"), "y.txt");
    EXPECT_EQ(ToHostPath("b/\u00e4\u00f6/\u65e5\u672c.txt"), L"b/\u00e4\u00f6/\u65e5\u672c.txt");

    EXPECT_EQ(ComponentProblem("\u00e9t\u00e9 2024.txt"), "");
    EXPECT_NE(ComponentProblem(""), "");
    EXPECT_NE(ComponentProblem(".."), "");
    EXPECT_NE(ComponentProblem("."), "");
    EXPECT_NE(ComponentProblem("a\\b"), "");
    EXPECT_NE(ComponentProblem("bad\xff"), "");
}

TEST(Plugins, CandidatesFollowTheSearchPath) {
    EXPECT_EQ(PluginCandidates("./libX.so", "/a", "/i"), (std::vector<std::string>{"./libX.so"}));
    EXPECT_EQ(
        PluginCandidates("Mardel", "/a::/b", ""),
        (std::vector<std::string>{"/a/Mardel", "/a/libMardel.so", "/b/Mardel", "/b/libMardel.so",
                                  "./Mardel", "./libMardel.so", "Mardel"}));
    EXPECT_EQ(PluginCandidates("libMardel.so", "", ""),
              (std::vector<std::string>{"./libMardel.so", "libMardel.so"}));
    // The installed folder comes after the folders the user names and before the current one.
    EXPECT_EQ(PluginCandidates("Mardel", "/a", "/usr/lib/p/plugins"),
              (std::vector<std::string>{"/a/Mardel", "/a/libMardel.so", "/usr/lib/p/plugins/Mardel",
                                        "/usr/lib/p/plugins/libMardel.so", "./Mardel",
                                        "./libMardel.so", "Mardel"}));
    std::string error;
    EXPECT_EQ(PluginLibrary::Load("/nonexistent/libNothing.so", error), nullptr);
    EXPECT_NE(error.find("cannot load"), std::string::npos);
}

TEST(ProgressFigures, Formatting) {
    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1536), "1.50 KiB");
    EXPECT_EQ(FormatBytes(210 * 1024 * 1024ull), "210.0 MiB");
    EXPECT_EQ(FormatDuration(7.4), "0:07");
    EXPECT_EQ(FormatDuration(723), "12:03");
    EXPECT_EQ(FormatDuration(3723), "1:02:03");
    EXPECT_EQ(FormatDuration(-1), "--:--");
    EXPECT_EQ(FormatRate(10 * 1024 * 1024, 4), "2.5 MiB/s");
    EXPECT_EQ(FormatRate(10, 0), "-");
}

TEST(ProgressFigures, BarShowsPercentRateAndEtaWithinTheWidth) {
    ProgressState state;
    state.doneBytes = 50 * 1024 * 1024;
    state.totalBytes = 200 * 1024 * 1024;
    state.doneFiles = 1;
    state.totalFiles = 4;
    state.elapsedSeconds = 5;
    state.currentName = "big/\u00fcberall.bin";
    const std::string bar = RenderBar(state, 200);
    EXPECT_EQ(bar,
              "[#####---------------]   25%  50.0 MiB/200.0 MiB  10.0 MiB/s  ETA 0:15  1/4  "
              "big/\u00fcberall.bin");
    // At 80 columns and below, fields give way before the name does, and a long name keeps
    // its end (the file's own name), cut on a character boundary.
    state.currentName = "documents/2024/quarterly reports/\u00fcbersicht der ergebnisse.pdf";
    for (std::size_t width : {79u, 60u, 48u}) {
        const std::string line = RenderBar(state, width);
        std::size_t columns = 0;
        for (const char c : line) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_LE(columns, width) << line;
        EXPECT_NE(line.find(width > 48 ? " der ergebnisse.pdf" : " ergebnisse.pdf"),
                  std::string::npos)
            << line;
        EXPECT_NE(line.find(" 25%"), std::string::npos) << line;
    }
    EXPECT_EQ(RenderBar(state, 79).find("ETA"), std::string::npos);
    state.waiting = "waiting for the service 4 s";
    EXPECT_NE(RenderBar(state, 79).find("waiting for the service 4 s"), std::string::npos);
    EXPECT_NE(RenderLine(state).find(", waiting for the service 4 s"), std::string::npos);
    state.waiting.clear();
    EXPECT_EQ(RenderLine(state),
              "progress: 25% (50.0 MiB of 200.0 MiB), 1 of 4 files, 10.0 MiB/s, ETA 0:15");
}

TEST(ProgressFigures, PlainLinesArePeriodic) {
    MemoryConsole console(false);
    auto now = std::chrono::steady_clock::time_point{};
    Progress progress(console.Get(), ProgressMode::Auto, [&] { return now; });
    progress.Begin(2, 1000, Direction::Download);
    progress.StartFile("a");
    progress.AddBytes(100);
    now += std::chrono::seconds(2);
    progress.AddBytes(100);
    EXPECT_EQ(console.Text(), "");  // a short job prints no progress lines
    now += std::chrono::seconds(4);
    progress.AddBytes(100);
    EXPECT_EQ(console.Text(),
              "progress: 30% (300 B of 1000 B), 0 of 2 files, 0.0 MiB/s, ETA 0:14\n");
    progress.FinishFile();
    progress.End();
    EXPECT_EQ(progress.DoneBytes(), 300u);
    EXPECT_EQ(progress.DoneFiles(), 1u);
    EXPECT_DOUBLE_EQ(progress.ElapsedSeconds(), 6.0);
}

TEST(ProgressFigures, BarIsDrawnInPlaceAndClearedAtTheEnd) {
    MemoryConsole console(true);
    auto now = std::chrono::steady_clock::time_point{};
    Progress progress(console.Get(), ProgressMode::Auto, [&] { return now; });
    progress.Begin(1, 100, Direction::Download);
    progress.StartFile("f", 100);
    now += std::chrono::seconds(1);
    progress.AddBytes(100);
    console.Get().Line("a message");
    progress.End();
    const std::string text = console.Text();
    EXPECT_NE(text.find("100%"), std::string::npos) << text;
    // The message is written on a cleared line and the bar comes back after it.
    const std::size_t message = text.find("\r\033[Ka message\n[");
    EXPECT_NE(message, std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K");
}

// An upload counts what the service acknowledged, not what the plug-in buffered; a failed
// file counts for nothing; a call during which nothing moves is waiting for the service.
TEST(ProgressFigures, UploadsCountAcknowledgedBytes) {
    MemoryConsole console(false);
    auto now = std::chrono::steady_clock::time_point{};
    Progress progress(console.Get(), ProgressMode::None, [&] { return now; });
    Activity::State busy;
    busy.inCall = true;
    busy.name = "WriteFile";
    progress.Begin(2, 300, Direction::Upload);
    progress.Tick({1000, 50}, busy);  // what the connections carried before
    progress.StartFile("a", 200);
    progress.AddBytes(200);
    EXPECT_EQ(progress.Snapshot().doneBytes, 0u);
    now += std::chrono::milliseconds(200);
    progress.Tick({1080, 60}, busy);
    EXPECT_EQ(progress.Snapshot().doneBytes, 80u);
    now += std::chrono::milliseconds(200);
    progress.Tick({1500, 70}, busy);  // headers and all: never more than was handed over
    EXPECT_EQ(progress.Snapshot().doneBytes, 200u);
    EXPECT_EQ(progress.Snapshot().waiting, "");
    busy.seconds = 3;
    now += std::chrono::seconds(2);
    progress.Tick({1500, 70}, busy);
    EXPECT_EQ(progress.Snapshot().waiting, "waiting for the service 2 s");
    progress.FinishFile();
    progress.StartFile("b", 100);
    progress.AddBytes(100);
    progress.FailFile();
    progress.End();
    EXPECT_EQ(progress.DoneBytes(), 200u);
    EXPECT_EQ(progress.DoneFiles(), 1u);
}

// Once the run is stopping, no call passes the gate, no partial file may appear or be renamed
// into place, and the ones there are removed.
TEST(Activity, StoppingClosesTheGateAndRemovesPartialFiles) {
    const fs::path dir = TempDir("activity");
    // Never destroyed: the thread parked at the gate waits on it until the process ends.
    Activity& activity = *new Activity;
    const fs::path kept = dir / ".a.plughost-part";
    const fs::path done = dir / ".b.plughost-part";
    ASSERT_TRUE(activity.RegisterPart(kept));
    ASSERT_TRUE(activity.RegisterPart(done));
    std::ofstream(kept) << "partial";
    std::ofstream(done) << "whole";
    std::string error;
    ASSERT_TRUE(activity.CommitPart(done, dir / "b", error)) << error;
    // Two instances number their handles alike.
    const int first = 0;
    const int second = 0;
    activity.OpenedForWriting(&first, 7, "bucket/big.iso");
    activity.OpenedForWriting(&second, 7, "bucket/other.iso");
    activity.Closed(&second, 7);
    ASSERT_EQ(activity.OpenWrites().size(), 1u);
    EXPECT_EQ(activity.OpenWrites()[0].path, "bucket/big.iso");
    EXPECT_GE(activity.OpenWrites()[0].opened, static_cast<std::int64_t>(std::time(nullptr)) - 60);
    {
        // Calls on several threads: the one under way longest is the one shown.
        const Activity::Call call(activity, "WriteFile");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::thread([&activity] {
            const Activity::Call other(activity, "ReadFile");
            EXPECT_STREQ(activity.Current().name, "WriteFile");
        }).join();
        EXPECT_TRUE(activity.Current().inCall);
        EXPECT_STREQ(activity.Current().name, "WriteFile");
    }
    EXPECT_FALSE(activity.Current().inCall);

    EXPECT_TRUE(activity.BeginStop());
    EXPECT_FALSE(activity.BeginStop());
    std::atomic<bool> passed{false};
    std::thread([&activity, &passed] {
        const Activity::Call call(activity, "CloseFile");
        passed = true;
    }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(passed);
    EXPECT_FALSE(activity.RegisterPart(dir / ".c.plughost-part"));
    std::ofstream(dir / ".d.plughost-part") << "x";
    EXPECT_FALSE(activity.CommitPart(dir / ".d.plughost-part", dir / "d", error));
    EXPECT_EQ(activity.RemoveParts(), 1u);
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(dir / "d"));
    EXPECT_EQ(ReadAll(dir / "b"), "whole");
    fs::remove_all(dir);
}

// What a loopback connection carries shows in the counters, both ways.
TEST(NetworkMeter, CountsWhatTheConnectionsCarried) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int server = accept(listener, nullptr, nullptr);
    NetworkMeter meter;
    const NetworkMeter::Totals before = meter.Sample();
    const std::string block(100000, 'z');
    std::size_t received = 0;
    std::vector<char> sink(65536);
    ASSERT_EQ(write(client, block.data(), block.size()), static_cast<ssize_t>(block.size()));
    while (received < block.size()) {
        const ssize_t got = read(server, sink.data(), sink.size());
        ASSERT_GT(got, 0);
        received += static_cast<std::size_t>(got);
    }
    // The acknowledgement may trail the data by a delayed-ACK interval.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const NetworkMeter::Totals after = meter.Sample();
    EXPECT_GE(after.acknowledged - before.acknowledged, block.size());
    EXPECT_GE(after.received - before.received, block.size());
    EXPECT_LT(after.acknowledged - before.acknowledged, 2 * block.size());
    close(server);
    close(client);
    close(listener);
}

TEST(Manifest, RoundTripsEveryFieldAndEscapesThePath) {
    Manifest manifest;
    ManifestEntry file;
    file.path = "docs/50%\tof\nit \u00e9t\u00e9.txt";
    file.mode = 0640;
    file.size = 1234567890123ull;
    file.seconds = 1700000000;
    file.nanoseconds = 123456789;
    file.sha256 = std::string(64, 'a');
    file.owner = {1000, 50, "ann", "st\taff", true};
    manifest.Add(file);
    ManifestEntry folder;
    folder.path = "docs";
    folder.type = EntryType::Folder;
    folder.mode = 02755;
    folder.seconds = -2;
    folder.nanoseconds = 500000000;
    folder.owner = {4000000000u, 0, "", "root", true};
    manifest.Add(folder);
    ManifestEntry link;
    link.path = "docs/latest";
    link.type = EntryType::Link;
    link.mode = 0777;
    link.linkTarget = "../a b\n";
    link.owner.known = true;
    manifest.Add(link);
    manifest.SetComplete(false);
    const std::string text = manifest.Format();
    EXPECT_EQ(text,
              "plughost-manifest 2\n"
              "state\tpartial\n"
              "d\t2755\t0\t-2.500000000\t-\t4000000000\t0\t-\troot\t\tdocs\n"
              "f\t0640\t1234567890123\t1700000000.123456789\t" +
                  std::string(64, 'a') +
                  "\t1000\t50\tann\tst%09aff\t\tdocs/50%25%09of%0Ait \u00e9t\u00e9.txt\n"
                  "l\t0777\t0\t0.000000000\t-\t0\t0\t-\t-\t../a b%0A\tdocs/latest\n");
    Manifest back;
    ASSERT_EQ(Manifest::Parse(text, back), "");
    EXPECT_FALSE(back.Complete());
    ASSERT_NE(back.Find(file.path), nullptr);
    const ManifestEntry& read = *back.Find(file.path);
    EXPECT_EQ(read.mode, 0640u);
    EXPECT_EQ(read.size, file.size);
    EXPECT_EQ(read.seconds, file.seconds);
    EXPECT_EQ(read.nanoseconds, file.nanoseconds);
    EXPECT_EQ(read.sha256, file.sha256);
    EXPECT_EQ(read.owner.group, "st\taff");
    EXPECT_EQ(back.Find("docs")->seconds, -2);
    EXPECT_EQ(back.Find("docs")->type, EntryType::Folder);
    EXPECT_EQ(back.Find("docs")->owner.uid, 4000000000u);
    EXPECT_EQ(back.Find("docs")->owner.user, "");
    EXPECT_EQ(back.Find("docs/latest")->linkTarget, "../a b\n");
    EXPECT_EQ(back.Format(), text);

    // Version 1, as earlier plughost wrote it, is still read: a finished backup without owners.
    Manifest old;
    ASSERT_EQ(Manifest::Parse("plughost-manifest 1\nd\t0755\t0\t1.000000000\t-\tdocs\n", old), "");
    EXPECT_TRUE(old.Complete());
    EXPECT_EQ(old.Find("docs")->type, EntryType::Folder);
    EXPECT_FALSE(old.Find("docs")->owner.known);

    const std::string v1 = "plughost-manifest 1\n";
    const std::string v2 = "plughost-manifest 2\nstate\tcomplete\n";
    const std::string hash(64, 'b');
    const std::string owner = "\t0\t0\t-\t-\t";
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"a manifest 1\n", "line 1"},
        {"plughost-manifest 3\n", "line 1"},
        {"plughost-manifest 2\nf\t0644\t1\n", "line 2: expected the state"},
        {v1 + "x\t0644\t1\t1.000000000\t" + hash + "\ta\n", "line 2: unknown type"},
        {v1 + "l\t0777\t0\t1.000000000\t-\ta\n", "line 2: unknown type"},
        {v1 + "f\t0944\t1\t1.000000000\t" + hash + "\ta\n", "line 2: bad mode"},
        {v1 + "f\t0644\t-1\t1.000000000\t" + hash + "\ta\n", "line 2: bad size"},
        {v1 + "f\t0644\t1\t1.5\t" + hash + "\ta\n", "line 2: bad modification time"},
        {v1 + "f\t0644\t1\t1.000000000\t" + hash.substr(1) + "\ta\n", "line 2: bad SHA-256"},
        {v1 + "f\t0644\t1\t1.000000000\t" + hash + "\ta%4\n", "line 2: bad path"},
        {v1 + "\nf\t0644\t1\n", "line 3: expected 6"},
        {v2 + "f\t0644\t1\t1.000000000\t" + hash + "\ta\n", "line 3: expected 11"},
        {v2 + "f\t0644\t1\t1.000000000\t" + hash + "\t-1\t0\t-\t-\t\ta\n", "line 3: bad owner"},
        {v2 + "l\t0777\t0\t1.000000000\t-" + owner + "\ta\n", "line 3: bad link target"},
        {v2 + "f\t0644\t1\t1.000000000\t" + hash + owner + "x\ta\n", "line 3: bad link target"},
        // A path that would lead a restore out of its target.
        {v2 + "d\t0755\t0\t1.000000000\t-" + owner + "\t..\n", "line 3: bad path"},
        {v1 + "f\t0644\t1\t1.000000000\t" + hash + "\ta/../../b\n", "line 2: bad path"},
        {v1 + "f\t0644\t1\t1.000000000\t" + hash + "\t/etc/x\n", "line 2: bad path"},
    };
    for (const auto& [input, problem] : broken) {
        Manifest ignored;
        EXPECT_EQ(Manifest::Parse(input, ignored).rfind(problem, 0), 0u) << input;
    }
}

TEST(Manifest, HashesFilesAndPieces) {
    const fs::path dir = TempDir("hash");
    std::ofstream(dir / "abc.txt", std::ios::binary) << "abc";
    std::string error;
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    EXPECT_EQ(HashFile(dir / "abc.txt", error), abc);
    Sha256 pieces;
    pieces.Update("a", 1);
    pieces.Update("bc", 2);
    EXPECT_EQ(pieces.HexDigest(), abc);
    EXPECT_EQ(HashFile(dir / "absent", error), std::nullopt);
    EXPECT_NE(error.find("absent"), std::string::npos);
    fs::remove_all(dir);
}

LocalEntry LocalFileEntry(const std::string& path, std::uint64_t size, std::int64_t seconds) {
    LocalEntry entry;
    entry.relative = path;
    entry.size = size;
    entry.seconds = seconds;
    return entry;
}

StoredEntry Stored(const std::string& path, bool folder, std::uint64_t size = 0) {
    StoredEntry entry;
    entry.relative = path;
    entry.isFolder = folder;
    entry.size = size;
    entry.sizeValid = !folder;
    return entry;
}

ManifestEntry Recorded(const std::string& path, std::uint64_t size, std::int64_t seconds,
                       const std::string& sha256 = std::string(64, 'a')) {
    ManifestEntry entry;
    entry.path = path;
    entry.size = size;
    entry.seconds = seconds;
    entry.sha256 = sha256;
    return entry;
}

// The plan decides from the listing and the manifest alone: a file is left only where both
// still describe it, and nothing stored goes unless it is replaced or --delete asks.
TEST(BackupPlan, SendsWhatChangedAndDeletesOnlyWhatItMust) {
    LocalTree local;
    local.entries = {LocalFileEntry("same", 5, 100),       LocalFileEntry("touched", 5, 200),
                     LocalFileEntry("swapped", 5, 100),    LocalFileEntry("new", 7, 100),
                     LocalFileEntry("was-folder", 3, 100), LocalFileEntry("hashed", 5, 999)};
    LocalEntry folder;
    folder.relative = "dir";
    folder.type = EntryType::Folder;
    local.entries.push_back(folder);
    LocalEntry link;
    link.relative = "dir/link";
    link.type = EntryType::Link;
    link.linkTarget = "../same";
    local.entries.push_back(link);
    // A link where a folder is stored replaces nothing: the folder goes only with --delete.
    LocalEntry moved;
    moved.relative = "moved";
    moved.type = EntryType::Link;
    moved.linkTarget = "/elsewhere";
    local.entries.push_back(moved);
    StoredTree stored;
    stored.entries = {
        Stored("same", false, 5),   Stored("touched", false, 5),      Stored("swapped", false, 6),
        Stored("was-folder", true), Stored("was-folder/a", false, 1), Stored("hashed", false, 5),
        Stored("gone", true),       Stored("gone/b", false, 2),       Stored("dir", true),
        Stored("moved", true),      Stored("moved/c", false, 1)};
    Manifest previous;
    for (const char* path : {"same", "touched", "swapped", "hashed"})
        previous.Add(Recorded(path, 5, 100, std::string(64, path[0] == 'h' ? 'b' : 'a')));

    auto plan = [&](bool checksum, bool deleteExtra) {
        return PlanBackup(local, stored, previous, {checksum, deleteExtra},
                          [](const LocalEntry& entry) -> std::optional<std::string> {
                              return std::string(64, entry.relative == "hashed" ? 'b' : 'c');
                          });
    };
    auto sent = [](const BackupPlan& p) {
        std::set<std::string> names;
        for (const BackupStep& step : p.steps)
            if (step.send) names.insert(step.local->relative);
        return names;
    };
    const BackupPlan quick = plan(false, false);
    EXPECT_EQ(sent(quick),
              (std::set<std::string>{"touched", "swapped", "new", "was-folder", "hashed"}));
    EXPECT_EQ(quick.sendBytes, 5u + 5 + 7 + 3 + 5);
    EXPECT_EQ(quick.unchangedFiles, 1u);
    EXPECT_EQ(quick.links, 2u);
    // The folder stored where a file now is goes, its contents with it; "gone" stays.
    ASSERT_EQ(quick.deletions.size(), 1u);
    EXPECT_EQ(quick.deletions[0].relative, "was-folder");
    EXPECT_TRUE(quick.deletions[0].replaced);
    EXPECT_EQ(quick.deletedEntries, 2u);

    // With --checksum the hash decides: "hashed" matches although its time changed, "same"
    // does not although its time did not.
    EXPECT_EQ(sent(plan(true, false)),
              (std::set<std::string>{"same", "touched", "swapped", "new", "was-folder"}));

    const BackupPlan mirror = plan(false, true);
    ASSERT_EQ(mirror.deletions.size(), 3u);
    EXPECT_EQ(mirror.deletions[1].relative, "gone");
    EXPECT_FALSE(mirror.deletions[1].replaced);
    EXPECT_EQ(mirror.deletions[2].relative, "moved");
    EXPECT_FALSE(mirror.deletions[2].replaced);
    EXPECT_EQ(mirror.deletedEntries, 6u);
}

TEST(RestorePlan, NamesMissingFilesAndLeavesWhatIsAlreadyThere) {
    StoredTree stored;
    stored.entries = {Stored("a", false, 5), Stored("c", false, 1), Stored("d", false, 5),
                      Stored("e", false, 5), Stored("sub", true)};
    std::vector<ManifestEntry> recorded = {Recorded("a", 5, 100), Recorded("b", 3, 100),
                                           Recorded("d", 5, 100), Recorded("e", 5, 100)};
    ManifestEntry folder = Recorded("sub", 0, 100);
    folder.type = EntryType::Folder;
    ManifestEntry link = Recorded("sub/l", 0, 100);
    link.type = EntryType::Link;
    link.linkTarget = "../a";
    recorded.insert(recorded.begin(), link);
    recorded.push_back(folder);
    // "a" is there as backed up, "d" is there with another time, "e" is not there.
    std::map<std::string, LocalFile> present = {{"a", {true, 5, 100, 0}}, {"d", {true, 5, 101, 0}}};
    RestoreInputs inputs;
    inputs.stored = &stored;
    inputs.haveManifest = true;
    inputs.recorded = recorded;
    inputs.local = [&](const std::string& path) -> std::optional<LocalFile> {
        const auto found = present.find(path);
        if (found == present.end()) return std::nullopt;
        return found->second;
    };
    inputs.hasher = [](const std::string&) { return std::optional<std::string>(); };
    auto actions = [&](Overwrite overwrite) {
        std::vector<std::pair<std::string, RestoreAction>> result;
        for (const RestoreStep& step : PlanRestore(inputs, {overwrite, false}).steps)
            result.emplace_back(step.relative, step.action);
        return result;
    };
    using A = RestoreAction;
    using Steps = std::vector<std::pair<std::string, RestoreAction>>;
    EXPECT_EQ(actions(Overwrite::Changed), (Steps{{"a", A::Keep},
                                                  {"c", A::Download},
                                                  {"d", A::Download},
                                                  {"e", A::Download},
                                                  {"sub", A::MakeFolder},
                                                  {"sub/l", A::MakeLink}}));
    EXPECT_EQ(actions(Overwrite::Never), (Steps{{"a", A::Keep},
                                                {"c", A::Download},
                                                {"d", A::Leave},
                                                {"e", A::Download},
                                                {"sub", A::MakeFolder},
                                                {"sub/l", A::MakeLink}}));
    EXPECT_EQ(actions(Overwrite::Always)[0], std::make_pair(std::string("a"), A::Download));
    const RestorePlan plan = PlanRestore(inputs, {Overwrite::Changed, false});
    EXPECT_EQ(plan.missing, std::vector<std::string>{"b"});
    EXPECT_EQ(plan.extra, std::vector<std::string>{"c"});
    EXPECT_EQ(plan.downloadFiles, 3u);

    // Without a manifest, a name stored both ways is restored as neither, nor what is below.
    StoredTree clash;
    clash.entries = {Stored("x", false, 1), Stored("x", true), Stored("x/y", false, 1),
                     Stored("z", false, 1)};
    inputs.stored = &clash;
    inputs.haveManifest = false;
    inputs.recorded.clear();
    const RestorePlan unknown = PlanRestore(inputs, {Overwrite::Changed, false});
    EXPECT_EQ(unknown.clashes, std::vector<std::string>{"x"});
    ASSERT_EQ(unknown.steps.size(), 1u);
    EXPECT_EQ(unknown.steps[0].relative, "z");
    EXPECT_TRUE(unknown.extra.empty());
}

// The stored tree is listed a depth at a time (the folders of one depth side by side), and still
// comes out as a serial walk gives it: each folder before its contents, names in byte order,
// a folder's failures where the walk meets it.
TEST(StoredTree, AWalkListsEachDepthAtOnceAndKeepsTheTreeOrder) {
    const std::map<std::string, std::vector<std::pair<std::string, bool>>> folders = {
        {"", {{"b", true}, {"a", true}, {"z.txt", false}}},
        {"a", {{"y", false}, {"x", true}}},
        {"a/x", {{"deep", false}}},
        {"b", {}},
    };
    std::vector<std::vector<std::string>> calls;
    const StoredTree tree = WalkLevels([&](const std::vector<std::string>& level,
                                           std::vector<FolderListing>& listings) {
        calls.push_back(level);
        for (std::size_t i = 0; i < level.size(); ++i) {
            if (level[i] == "b") listings[i].failures.push_back({"b", "listing", "", {}});
            for (const auto& [name, folder] : folders.at(level[i])) {
                StoredEntry entry;
                entry.relative = level[i].empty() ? name : level[i] + "/" + name;
                entry.isFolder = folder;
                listings[i].entries.push_back(entry);
            }
            std::sort(
                listings[i].entries.begin(), listings[i].entries.end(),
                [](const StoredEntry& a, const StoredEntry& b) { return a.relative < b.relative; });
        }
    });
    EXPECT_EQ(calls, (std::vector<std::vector<std::string>>{{""}, {"a", "b"}, {"a/x"}}));
    std::vector<std::string> order;
    for (const StoredEntry& entry : tree.entries) order.push_back(entry.relative);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "a/x", "a/x/deep", "a/y", "b", "z.txt"}));
    ASSERT_EQ(tree.failures.size(), 1u);
    EXPECT_EQ(tree.failures[0].path, "b");
}

// Large files go first, largest first; then each thread keeps to a folder until it is done,
// and a folder too large to be listed by every instance is shared by only a few.
TEST(TransferQueue, LargeFirstThenFolderByFolderWithinTheListingBound) {
    std::vector<TransferJob> jobs;
    jobs.push_back({0, 150ull << 20, "a"});
    jobs.push_back({1, 300ull << 20, "b"});
    for (std::size_t i = 0; i < 40; ++i) jobs.push_back({jobs.size(), 1000 + i, "a"});
    for (std::size_t i = 0; i < 10; ++i) jobs.push_back({jobs.size(), 10, "b"});
    jobs.push_back({jobs.size(), 5, ""});
    TransferQueue queue(jobs, 4, {{}, {"b"}});
    std::vector<std::size_t> given;
    std::vector<std::vector<std::string>> folders(4);  // each lane's folders, in turn
    for (bool any = true; any;) {
        any = false;
        for (unsigned lane = 0; lane < 4; ++lane) {
            const std::optional<std::size_t> next = queue.Next(lane);
            if (!next) continue;
            any = true;
            given.push_back(*next);
            if (jobs[*next].size < HeldPerFile &&
                (folders[lane].empty() || folders[lane].back() != jobs[*next].folder))
                folders[lane].push_back(jobs[*next].folder);
        }
    }
    ASSERT_EQ(given.size(), jobs.size());
    EXPECT_EQ(given[0], 1u);
    EXPECT_EQ(given[1], 0u);
    std::sort(given.begin(), given.end());
    EXPECT_EQ(std::adjacent_find(given.begin(), given.end()), given.end());
    for (unsigned lane = 0; lane < 4; ++lane)
        EXPECT_LE(folders[lane].size(), 3u) << "lane " << lane << " moved between folders";

    // Between two folders of the same size, one its instance listed in the walk costs no
    // listing, and wins.
    std::vector<TransferJob> even;
    for (const char* folder : {"a", "b"})
        for (std::size_t i = 0; i < 10; ++i) even.push_back({even.size(), 10, folder});
    TransferQueue preferring(even, 2, {{"b"}});
    EXPECT_EQ(even[*preferring.Next(0)].folder, "b");
    EXPECT_EQ(even[*preferring.Next(1)].folder, "a");

    // 200,000 files in one folder: two instances' listings at most, while they work in it.
    std::vector<TransferJob> many;
    for (std::size_t i = 0; i < 200000; ++i) many.push_back({i, 1, "huge"});
    for (std::size_t i = 0; i < 100; ++i) many.push_back({many.size(), 1, "small"});
    TransferQueue bounded(many, 8);
    std::set<unsigned> inHuge;
    for (unsigned lane = 0; lane < 8; ++lane)
        if (many[*bounded.Next(lane)].folder == "huge") inHuge.insert(lane);
    EXPECT_EQ(inHuge.size(), 2u);
}

TEST(Journal, KeepsWhatWasAppendedAndDropsATornLine) {
    const fs::path dir = TempDir("journal");
    Journal journal(dir / "state" / "j.journal");
    Manifest carried;
    carried.Add(Recorded("carried", 1, 1));
    std::string error;
    ASSERT_TRUE(journal.Begin(carried, error)) << error;
    journal.Append(Recorded("sent", 2, 2));
    journal.Sync();
    // A crash in the middle of a line.
    std::ofstream(journal.Path(), std::ios::app) << "f\t0644\t3";
    Manifest back;
    journal.Read(back);
    EXPECT_EQ(back.Entries().size(), 2u);
    EXPECT_NE(back.Find("carried"), nullptr);
    EXPECT_EQ(back.Find("sent")->size, 2u);
    journal.Remove();
    EXPECT_FALSE(fs::exists(journal.Path()));
    EXPECT_NE(Journal::PathFor("a", "bkt/x"), Journal::PathFor("a", "bkt/y"));
    fs::remove_all(dir);
}

// What the plug-in logs for a failed request (LogS3Error, in base/), read back into one phrase.
TEST(Causes, NameWhatWentWrong) {
    EndpointFacts http;
    http.url = "http://127.0.0.1:1";
    http.configured = http.url;
    http.source = "ServerName";
    EndpointFacts bare;
    bare.url = "https://127.0.0.1:9000";
    bare.configured = "127.0.0.1:9000";
    bare.schemeAdded = true;
    bare.source = "ServerName";
    auto block = [](const std::string& type, const std::string& name, const std::string& message,
                    const std::string& code) {
        return std::vector<std::string>{
            "[2] Cannot get buckets listing.", "[2] ErrorType: " + type,
            "[2] ExceptionName: " + name,      "[2] Message: " + message,
            "[2] RemoteHostIpAddress: ",       "[2] RequestId: ",
            "[2] ResponseCode: " + code,       "[2] x-amz-id-2: abc"};
    };
    struct Case {
        std::vector<std::string> lines;
        const EndpointFacts* endpoint;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {block("99", "", "curlCode: 7, Couldn't connect to server", "-1"), &http,
         "connection to http://127.0.0.1:1 failed (refused or unreachable)"},
        {block("99", "", "curlCode: 6, Couldn't resolve host name", "-1"), &http,
         "host not found: 127.0.0.1 (http://127.0.0.1:1)"},
        {block("99", "", "curlCode: 35, SSL connect error", "-1"), &bare,
         "TLS handshake with https://127.0.0.1:9000 failed (SSL connect error); ServerName "
         "'127.0.0.1:9000' has no scheme, so HTTPS was used (write http://127.0.0.1:9000 for a "
         "plain-HTTP service)"},
        {block("99", "", "curlCode: 60, SSL peer certificate or SSH remote key was not OK", "-1"),
         &http, "TLS verification of http://127.0.0.1:1 failed"},
        {block("99", "", "curlCode: 28, Timeout was reached", "-1"), &http,
         "timeout: http://127.0.0.1:1 did not answer in time"},
        {block("15", "SignatureDoesNotMatch", "The signature does not match", "403"), &http,
         "access denied by http://127.0.0.1:1 (SignatureDoesNotMatch: The signature does not "
         "match); check the secret key"},
        {block("17", "InvalidAccessKeyId", "No such key id", "403"), &http,
         "access denied by http://127.0.0.1:1 (InvalidAccessKeyId: No such key id); check the "
         "access key id"},
        {block("100", "NoSuchBucket", "The bucket does not exist", "404"), &http,
         "bucket not found at http://127.0.0.1:1 (NoSuchBucket: The bucket does not exist)"},
        {block("100", "InternalError", "Try again", "500"), &http,
         "the service failed (HTTP 500 InternalError: Try again)"},
        {{"[2] Please, create buckets from web console"},
         &http,
         "the plug-in says: Please, create buckets from web console"},
        {{}, &http, ""},
    };
    for (const Case& c : cases) {
        const std::string cause = DescribeLoggedCause(c.lines, *c.endpoint);
        EXPECT_EQ(cause.rfind(c.expected, 0), 0u) << cause;
        if (c.expected.empty()) {
            EXPECT_EQ(cause, "");
        }
    }
    EXPECT_EQ(FindRequestError(block("99", "", "m", "-1")).context, "Cannot get buckets listing.");
}

TEST(KnownPlugins, ParametersAreCheckedAgainstWhatThePluginReads) {
    const KnownPlugin* mardel = FindKnownPlugin("S3 Cloud");
    ASSERT_NE(mardel, nullptr);
    EXPECT_EQ(ParameterNames(*mardel), "ServerName, AccessKeyID, SecretAccessKey, Region");
    EXPECT_EQ(FindKnownPlugin("Mail.ru IceBox")->endpoint, EndpointSource::Exported);
    EXPECT_EQ(FindKnownPlugin("Other"), nullptr);
    struct Case {
        std::vector<std::string> given;
        std::string problem;  // the start of the message, "" when fine
    };
    const std::vector<Case> cases = {
        {{"ServerName=http://h", "AccessKeyID=k", "SecretAccessKey=s"}, ""},
        {{"ServerName=http://h", "AccessKeyID=k", "SecretAccessKey=s", "Region=r"}, ""},
        {{"ServerName=http://h", "AccessKeyID=k", "SecretAccessKey=s", "Bogus=1"},
         "parameter 'Bogus' is not one that libMardel.so (S3 Cloud) reads; it reads: ServerName, "
         "AccessKeyID, SecretAccessKey, Region"},
        {{"ServerName=http://h", "AccessKeyID=k"},
         "libMardel.so (S3 Cloud) needs the parameter SecretAccessKey (the secret key), which is "
         "not given"},
        {{"ServerName=", "AccessKeyID=k", "SecretAccessKey=s"},
         "libMardel.so (S3 Cloud) needs the parameter ServerName"},
    };
    for (const Case& c : cases) {
        ParameterSet parameters([](const std::string&) { return std::nullopt; });
        for (const std::string& text : c.given) ASSERT_EQ(parameters.Assign(text, "-p"), "");
        const std::string problem = ParameterProblem(*mardel, parameters);
        if (c.problem.empty()) {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << problem;
        }
    }

    ParameterSet parameters([](const std::string&) { return std::nullopt; });
    ASSERT_EQ(parameters.Assign("ServerName=127.0.0.1:9000", "-p"), "");
    const EndpointFacts bare = ResolveEndpoint(*mardel, parameters, std::nullopt);
    EXPECT_EQ(bare.url, "https://127.0.0.1:9000");
    EXPECT_TRUE(bare.schemeAdded);
    const EndpointFacts exported =
        ResolveEndpoint(*FindKnownPlugin("Mail.ru HotBox"), parameters, "http://127.0.0.1:5");
    EXPECT_EQ(exported.url, "http://127.0.0.1:5");
    EXPECT_FALSE(exported.schemeAdded);
}

TEST(Sinks, CompareFindsTheFirstDifferenceAndLengthMismatches) {
    const fs::path dir = TempDir("compare");
    const fs::path file = dir / "local.bin";
    std::ofstream(file, std::ios::binary) << "0123456789";
    auto compare = [&](const std::vector<std::string>& blocks) {
        auto sink = std::make_unique<CompareSink>(file);
        std::string error;
        EXPECT_TRUE(sink->Open(error)) << error;
        for (const std::string& block : blocks)
            EXPECT_TRUE(sink->Accept(reinterpret_cast<const unsigned char*>(block.data()),
                                     block.size(), error));
        sink->Finish();
        return sink;
    };
    EXPECT_FALSE(compare({"0123", "456789"})->Differs());
    auto changed = compare({"0123", "45X789"});
    EXPECT_EQ(changed->FirstDifference(), 6);
    auto shorter = compare({"01234"});
    EXPECT_TRUE(shorter->LocalLonger());
    EXPECT_EQ(shorter->FirstDifference(), -1);
    auto longer = compare({"0123456789", "AB"});
    EXPECT_TRUE(longer->StoredLonger());
    EXPECT_EQ(longer->StoredBytes(), 12u);
    fs::remove_all(dir);
}

TEST(Sinks, FileAppearsOnlyWhenCommitted) {
    const fs::path dir = TempDir("filesink");
    const fs::path target = dir / "restored.txt";
    const unsigned char data[] = {'h', 'i'};
    std::string error;
    {
        FileSink abandoned(target);
        ASSERT_TRUE(abandoned.Open(error)) << error;
        ASSERT_TRUE(abandoned.Accept(data, 2, error));
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_empty(dir));  // the partial file is gone too
    {
        FileSink sink(target);
        ASSERT_TRUE(sink.Open(error));
        ASSERT_TRUE(sink.Accept(data, 2, error));
        ASSERT_TRUE(sink.Commit(error)) << error;
    }
    std::ifstream in(target);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "hi");
    FileSink nowhere(dir / "no" / "such" / "folder.txt");
    EXPECT_FALSE(nowhere.Open(error));
    FileSink folder(dir);
    EXPECT_FALSE(folder.Open(error));
    // A device stays a device: written to, never renamed over.
    {
        FileSink device("/dev/null");
        ASSERT_TRUE(device.Open(error)) << error;
        ASSERT_TRUE(device.Accept(data, 2, error));
        ASSERT_TRUE(device.Commit(error)) << error;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    // A name of 255 bytes, the file system's limit, still has room for its partial file.
    const std::string longest(255, 'n');
    {
        FileSink sink(dir / longest);
        ASSERT_TRUE(sink.Open(error)) << error;
        ASSERT_TRUE(sink.Commit(error)) << error;
    }
    EXPECT_TRUE(fs::exists(dir / longest));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace plughost
