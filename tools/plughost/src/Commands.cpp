#include "Commands.h"

#include <cstdio>
#include <exception>

#include "Arguments.h"
#include "CommandContext.h"
#include "CommandTable.h"
#include "Probe.h"
#include "Report.h"
#include "Session.h"
#include "StoragePath.h"

namespace plughost {

namespace {

int UsageError(Console& console, const std::string& message, const CommandSpec* command) {
    console.Line("plughost: " + message);
    if (command != nullptr) console.Line(UsageLine(*command));
    console.Line(std::string("Try 'plughost ") + (command != nullptr ? command->name : "") +
                 (command != nullptr ? " " : "") + "--help' for more information.");
    return ExitUsage;
}

// Checks the storage path operand before anything is loaded, so that a path the service would
// refuse never gets as far as a request (or, for put, as far as a buffered part). Returns a
// message, or "" when fine.
std::string OperandProblem(const Invocation& invocation) {
    const CommandSpec& command = *invocation.command;
    if (command.storageOperand < 0 ||
        command.storageOperand >= static_cast<int>(invocation.operands.size()))
        return "";
    const std::string name = command.name;
    const std::string& operand = invocation.operands[command.storageOperand];
    const std::string path = command.need == PathNeed::PutTarget
                                 ? PutTargetPath(operand, invocation.operands.at(0))
                                 : NormalizeStoragePath(operand);
    const std::string problem = StoragePathProblem(path);
    if (!problem.empty()) return name + ": '" + operand + "': " + problem;
    switch (command.need) {
        case PathNeed::None:
            return "";
        case PathNeed::BucketOrFolder:
            if (path.empty())
                return name + ": '" + operand + "' must name a bucket or a folder in one";
            return "";
        case PathNeed::File:
        case PathNeed::PutTarget:
            if (!HasKey(path)) return name + ": '" + operand + "' must name a file below a bucket";
            return "";
        case PathNeed::FolderBelow:
            if (!HasKey(path))
                return name + ": '" + operand +
                       "' must name a folder below a bucket (a plug-in cannot delete buckets)";
            return "";
    }
    return "";
}

// What a call that moves no data waits for: the call, how long, the endpoint, and what a
// connection attempt of plughost's own finds there.
std::string Waiting(const Session& session, double seconds, const char* call) {
    const EndpointFacts& endpoint = session.Endpoint();
    char limit[32];
    std::snprintf(limit, sizeof limit, "%.0f", seconds);
    std::string where = endpoint.url.empty() ? endpoint.source : endpoint.url;
    std::string text = std::string(call) + " moved no data for " + limit + " s at " + where;
    const std::string probe = ProbeEndpoint(endpoint.url);
    if (!probe.empty()) text += " (" + probe + ")";
    return text;
}

}  // namespace

int RunPlughost(const std::vector<std::string>& arguments, Console& console) {
    const ParsedArguments parsed = ParseArguments(arguments);
    const Invocation& invocation = parsed.invocation;
    if (!parsed.error.empty()) return UsageError(console, parsed.error, invocation.command);
    if (invocation.help) {
        const std::string text =
            invocation.command != nullptr ? CommandHelp(*invocation.command) : GeneralHelp();
        std::fputs(text.c_str(), stdout);
        return ExitOk;
    }
    if (invocation.version) {
        std::printf("plughost %s\n", PLUGHOST_VERSION);
        return ExitOk;
    }
    console.SetVerbosity(invocation.global.quiet     ? Verbosity::Quiet
                         : invocation.global.verbose ? Verbosity::Verbose
                                                     : Verbosity::Normal);
    const std::string problem = OperandProblem(invocation);
    if (!problem.empty()) return UsageError(console, problem, invocation.command);
    try {
        Activity activity;
        Monitor monitor(console, activity, invocation.global.timeout);
        monitor.Start();
        int exitCode = ExitOk;
        std::string error;
        std::unique_ptr<Session> session = Session::Open(
            invocation.global, invocation.command->instance, console, activity, exitCode, error);
        if (!session) {
            if (exitCode == ExitUsage) return UsageError(console, error, invocation.command);
            console.Line("plughost: error: " + error);
            return exitCode;
        }
        Report report(console);
        Context context(invocation, console, *session, report, monitor, activity);
        monitor.SetTimeoutCause([&session](double seconds, const char* call) {
            return Waiting(*session, seconds, call);
        });
        monitor.SetUploadReport([&context](const std::vector<OpenWrite>& writes) {
            ReportOpenUploads(context, writes);
        });
        int result = ExitFailed;
        if (session->CreateInstance(invocation.command->instance, error)) {
            result = invocation.command->handler(context);
        } else {
            console.Line("plughost: error: " + error);
        }
        std::fflush(stdout);
        // Taken away before what they use goes; waits here if a stop is under way.
        monitor.SetUploadReport({});
        monitor.SetTimeoutCause({});
        return result;
    } catch (const std::exception& exception) {
        console.Line(std::string("plughost: internal error: ") + exception.what());
    }
    return ExitFailed;
}

}  // namespace plughost
