// The storage instance as the commands use it: every call goes through the Activity gate, so
// the tool knows which call is under way and no call reaches the plug-in once the run is
// stopping, and files opened for writing are tracked until they are closed.
#pragma once

#include <list>
#include <string>

#include "Activity.h"
#include "host/HostInterfaces.h"

namespace plughost {

class Instance {
  public:
    // `writer` is null for a reading instance.
    Instance(Activity& activity, IBackupDataRead& reader, IBackupDataWrite* writer);

    ResultCode OpenFile(const std::wstring& path, FileAccessMode::ID mode, unsigned int& handle);
    ResultCode ReadFile(unsigned char* buffer, unsigned int& size, unsigned int handle);
    ResultCode WriteFile(const unsigned char* data, unsigned int& size, unsigned int handle);
    ResultCode CloseFile(unsigned int handle);
    ResultCode GetElementAttributes(const std::wstring& path, CFileAttributes& attributes);
    ResultCode GetListing(const std::wstring& path, std::list<CFileInfo>& entries);
    ResultCode CreateFolder(const std::wstring& path);
    ResultCode DeleteFolder(const std::wstring& path);
    ResultCode DeleteFile(const std::wstring& path);

    bool CanWrite() const { return writer_ != nullptr; }

  private:
    Activity& activity_;
    IBackupDataRead& reader_;
    IBackupDataWrite* writer_;
};

}  // namespace plughost
