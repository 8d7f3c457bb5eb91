// Where an opened file tells of its transfer failures, chosen once when the file is opened. A
// file that reports to the instance's log writes a context line there, then the request's
// error in full; the others write only the failures that end an upload, as bare text on the
// process's standard error stream.
#pragma once

#include <aws/s3/S3Errors.h>

#include "base/ProviderProfile.h"
#include "host/HostInterfaces.h"

class TransferReporter {
  public:
    // The reporter of a file opened by an instance with `hostLog` under `reporting`: the host
    // log when the profile reports there and the host gave one, standard error otherwise.
    static TransferReporter For(ILog* hostLog, TransferReporting reporting);

    // Reports to `log`; to standard error when it is null.
    explicit TransferReporter(ILog* log) : log(log) {}

    // Tells one failure. To a log: `context` at the plug-ins' severity (nothing when null),
    // then each error given, in order. To standard error: `text` as it stands, no prefix and no
    // line end (nothing when null).
    void Tell(const wchar_t* context, const char* text, const Aws::S3::S3Error* first = nullptr,
              const Aws::S3::S3Error* second = nullptr) const;

  private:
    ILog* log;
};
