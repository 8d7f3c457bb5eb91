// What every command works with, and the helpers they share: failures with their causes named,
// and the summary line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "Activity.h"
#include "Arguments.h"
#include "Console.h"
#include "DirectClient.h"
#include "Monitor.h"
#include "Progress.h"
#include "Report.h"
#include "Session.h"

namespace plughost {

struct Context {
    Context(const Invocation& invocation, Console& console, Session& session, Report& report,
            Monitor& monitor, Activity& activity)
        : invocation(invocation),
          console(console),
          session(session),
          report(report),
          monitor(monitor),
          activity(activity) {}

    const Invocation& invocation;
    Console& console;
    Session& session;
    Report& report;
    Monitor& monitor;
    Activity& activity;
    // The buckets the root listing gave, once asked (to tell a missing bucket from other
    // failures the plug-in does not explain).
    std::optional<std::set<std::string>> buckets;
    // plughost's own S3 client, made when first needed.
    std::shared_ptr<DirectClient> direct;
    // What threads that move files in parallel do in turn: report a failure, ask for the
    // bucket list, use plughost's own client.
    std::recursive_mutex serial;

    const std::string& Operand(std::size_t index) const { return invocation.operands.at(index); }
    Instance& Storage() { return session.Storage(); }

    // Records a failure with its cause named: from the plug-in's log lines, else from the
    // failed creation of the instance, else from the bucket list. The interface's own words
    // (such as "CloseFile returned Failure (1)") follow the cause.
    // Thread-safe; `via` is the instance the failed call was made on (the bucket list is asked
    // there), the session's own when null.
    void Fail(Failure failure, Instance* via = nullptr);
    // Whether the root listing names `bucket` (asked once); nullopt when it cannot be listed.
    std::optional<bool> BucketExists(const std::string& bucket, Instance* via = nullptr);
    // A failed instance call: "<call> returned <result>", with the lines logged since `mark`.
    void FailCall(const std::string& path, const std::string& operation, const char* call,
                  ResultCode result, std::size_t mark);

    // The exit status after printing the list of failures.
    int Finish();

    // "plughost: VERB: 3 files, 1 folder, 1.5 MiB in 2.0 s (0.8 MiB/s), EXTRA0 failures"
    std::string Summary(const std::string& verb, const Progress& progress,
                        const std::string& extra = "") const;

    // The start of a command line that reaches the same storage ("plughost -P ... -p ..."),
    // for messages that tell the operator what to run next. Secrets typed on the command line
    // are not repeated.
    std::string CommandPrefix() const;
};

// While it lives, a stop prints `progress` and the summary so far ("VERB (stopped): ...",
// with `extra` as in Context::Summary).
class Watch {
  public:
    Watch(Context& context, Progress& progress, const std::string& verb,
          std::function<std::string()> extra = {});
    ~Watch();
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

  private:
    Monitor& monitor_;
};

// The attributes of a storage path; reports a failure and returns false when there are none.
bool Attributes(Context& context, const std::string& path, const std::string& operation,
                CFileAttributes& attributes);
// The entry of the other type that a name may also have: S3 keeps "x" and "x/" apart, so
// another client may have stored a file and a folder of one name, which the plug-ins list as
// two entries while their attributes describe one. Looked up in the listing of the parent;
// nullopt when there is none.
std::optional<CFileAttributes> AlsoNamed(Context& context, const std::string& path, bool folder);

// The attributes of the file `path` names, where a folder of that name may be stored beside it;
// reports `asFolder` ("is a folder (use rmdir)") and returns false when there is only a folder.
bool FileAttributes(Context& context, const std::string& path, const std::string& operation,
                    const std::string& asFolder, CFileAttributes& attributes);

// Reports a failure when `path` is not a local folder.
bool IsLocalFolder(Context& context, const std::filesystem::path& path, const char* operation);
// CreateFolder, with a failure reported.
bool CreateFolder(Context& context, const std::string& path);

// "1 file" / "3 files".
std::string Count(std::uint64_t number, const char* singular, const char* plural);
std::string FormatTime(std::int64_t seconds);

// What the service keeps of the uploads still open when the run stops (called by the monitor).
// Files at least this large may go as a multipart upload, which a stop can leave behind.
constexpr std::uint64_t MultipartCandidate = 5u << 20;

// Before a file that may go in parts is opened for writing: remembers the incomplete uploads
// its key already has, so that a stop aborts only the one this run begins.
void RememberEarlierUploads(Context& context, const std::string& path);

// Uploads begun by this run are aborted (the one being completed is left alone), and what the
// service still keeps is named with the command that removes it.
void ReportOpenUploads(Context& context, const std::vector<OpenWrite>& writes);

}  // namespace plughost
