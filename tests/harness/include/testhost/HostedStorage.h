// One deliverable set up as a host sets it up, with every endpoint it knows pointed at one URL:
// the "ServerName" parameter, the exported `Endpoint` where the library has one (restored when
// the object goes), and the S3 endpoint variable for the deliverable that reads it. `Open`
// builds the instance, so that a test can change the parameters first.
#pragma once

#include <optional>
#include <string>

#include "host/HostInterfaces.h"
#include "testhost/MapLink.h"
#include "testhost/PluginLibrary.h"
#include "testhost/RecordingLog.h"
#include "testhost/ScopedEnv.h"

namespace testhost {

class HostedStorage {
  public:
    HostedStorage(const std::string& deliverable, const std::string& url,
                  const std::string& accessKey, const std::string& secretKey);
    ~HostedStorage();
    HostedStorage(const HostedStorage&) = delete;
    HostedStorage& operator=(const HostedStorage&) = delete;

    // Builds the instance (destroying one built before); throws when the library gives none.
    IBackupDataWrite& Open();
    void Close();
    IBackupDataWrite* operator->() const { return instance; }

    // Points the exported endpoint (where there is one) at `url` for clients built from now.
    void SetEndpoint(const std::string& url);

    // Writes `data` to `path` in one block; the first result other than Success.
    ResultCode Write(const std::wstring& path, const std::string& data);
    // The whole content of `path`, or nullopt when opening, reading or closing it fails.
    std::optional<std::string> Read(const std::wstring& path);

    const std::string name;
    PluginLibrary lib;
    RecordingLog log;
    MapLink link;

  private:
    std::optional<ScopedEnv> env;
    std::string endpoint;
    char** endpointSlot = nullptr;
    char* previousEndpoint = nullptr;
    IBackupDataWrite* instance = nullptr;
};

}  // namespace testhost
