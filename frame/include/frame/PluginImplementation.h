// The storage instance the entry points hand to the host: one per GetBackupDataWrite or
// GetBackupDataRead call. It reads its connection parameters, builds the instance's S3 client
// (where its provider has one), owns the listing cache and the table of opened files, and
// passes the host's calls on to the namespace and transfer layers.
#pragma once

#include <aws/core/auth/AWSCredentials.h>
#include <aws/core/client/ClientConfiguration.h>
#include <aws/s3/S3Client.h>

#include <list>
#include <memory>
#include <string>

#include "host/HostInterfaces.h"
#include "listing/ClientSource.h"
#include "listing/S3Listing.h"
#include "namespace/NamespaceOperations.h"
#include "torvik/OpenedFile.h"
#include "transfer/FileTransfer.h"

// Initialises the SDK before any member of the instance is built. The SDK counts its
// initialisations; it is never shut down, because other instances of this or another plug-in
// in the same process may still use it.
class PluginImplementation_SDKInitializer {
  public:
    PluginImplementation_SDKInitializer();
};

class PluginImplementation : public IBackupDataWrite, public PluginImplementation_SDKInitializer {
  public:
    // `log` and `link` are the host's and must outlive the instance.
    PluginImplementation(ILog* log, ILink* link);
    ~PluginImplementation() override;

    PluginImplementation(const PluginImplementation&) = delete;
    PluginImplementation& operator=(const PluginImplementation&) = delete;

    // IBackupDataRead
    ResultCode OpenFile(const std::wstring& path, FileAccessMode::ID mode,
                        unsigned int& handle) override;
    ResultCode ReadFile(unsigned char* buffer, unsigned int& size,
                        unsigned int const& handle) override;
    ResultCode SeekFile(unsigned int const& handle, unsigned long const& position) override;
    ResultCode CloseFile(unsigned int const& handle) override;
    ResultCode GetElementAttributes(const std::wstring& path, CFileAttributes& attributes) override;
    ResultCode GetListing(const std::wstring& path, std::list<CFileInfo>& entries) override;
    void OnStop() override;

    // IBackupDataWrite
    ResultCode WriteFile(unsigned char const* data, unsigned int& size,
                         unsigned int const& handle) override;
    ResultCode SetElementAttributes(const std::wstring& path,
                                    CFileAttributes const& attributes) override;
    ResultCode CreateFolder(const std::wstring& path) override;
    ResultCode DeleteFolder(const std::wstring& path) override;
    ResultCode DeleteFile(const std::wstring& path) override;
    ResultCode MoveFile(const std::wstring& from, const std::wstring& to) override;
    ResultCode BeginTransaction() override;
    ResultCode CommitTransaction() override;

    // A host parameter in UTF-8; empty when the host does not know it.
    std::string GetValue(const std::wstring& key);
    // A fresh client configuration for the active provider: endpoint, region and checksum
    // settings as its profile says, everything else the SDK's defaults.
    Aws::Client::ClientConfiguration GetConfig();

  private:
    std::string ReadServerName();
    Aws::Auth::AWSCredentials ReadCredentials();
    std::string ReadRegionalParameter(const wchar_t* key);

    // Declaration order is construction order: the parameters are read in the order the
    // provider's profile gives them as these members are built.
    const ProviderProfile& profile;  // this deliverable's, handed to every layer below
    ILog* log;
    ILink* link;
    std::shared_ptr<Aws::S3::S3Client> s3Client;  // null for a provider without one
    std::string serverName;                       // endpoint host, where it is fixed at set-up
    Aws::Auth::AWSCredentials credentials;
    std::string region;          // regional providers only: the region of service requests
    std::string fallbackRegion;  // regional providers only: for buckets without a constraint
    Aws::Client::ClientConfiguration clientConfig;
    ClientSource clients;
    S3Listing listing;
    AllOpenedFiles openedFiles;
    NamespaceOperations names;
    FileTransfer transfer;
};
