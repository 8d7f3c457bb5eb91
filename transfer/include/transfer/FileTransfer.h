// The handle side of a storage instance: opening files for upload or download, moving data
// through their handles, and closing them. The instance owns the table of opened files and the
// listing cache; this class only works on them.
#pragma once

#include <string>

#include "base/ProviderProfile.h"
#include "host/HostInterfaces.h"
#include "listing/S3Listing.h"

class FileTransfer {
  public:
    FileTransfer(const ProviderProfile& profile, ILog* log, S3Listing& listing,
                 AllOpenedFiles& openedFiles);

    ResultCode OpenFile(const std::wstring& path, FileAccessMode::ID mode, unsigned int& handle);
    ResultCode ReadFile(unsigned char* buffer, unsigned int& size, unsigned int handle);
    ResultCode WriteFile(const unsigned char* data, unsigned int& size, unsigned int handle);
    ResultCode SeekFile(unsigned int handle, unsigned long position);
    ResultCode CloseFile(unsigned int handle);

  private:
    const ProviderProfile& profile;
    ILog* log;
    S3Listing& listing;
    AllOpenedFiles& openedFiles;
};
