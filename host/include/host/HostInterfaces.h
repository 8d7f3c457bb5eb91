// The host application's interfaces as a storage plug-in sees them. The host calls through
// the virtual tables, so the order of the virtual operations below is part of its binary
// interface and must not change.
#pragma once

#include <list>
#include <memory>
#include <string>

#include "host/ResultCode.h"
#include "torvik/FileInfo.h"
#include "torvik/OpenedFile.h"

// Host logging object. Plug-ins write every line with severity 2. In WriteFormatted, "%s"
// takes a const wchar_t* and "%d" an int.
class ILog {
  public:
    virtual void Write(int severity, const wchar_t* text) = 0;
    virtual void WriteFormatted(int severity, const wchar_t* format, ...) = 0;

  protected:
    ~ILog() = default;
};

// Host configuration object. GetValue returns true when the host knows the parameter and
// leaves `value` empty otherwise.
class ILink {
  public:
    virtual bool GetValue(const wchar_t* key, std::wstring& value) = 0;

  protected:
    ~ILink() = default;
};

// Description of authentication parameters; plug-ins never provide one.
class IAuthParams;
using AuthParamsHandle = std::shared_ptr<IAuthParams>;

// Descriptor of a plug-in.
class IPluginInfo {
  public:
    virtual ~IPluginInfo() = default;
    virtual void Destroy() { delete this; }
    virtual std::wstring GetPluginVersion() const = 0;
    virtual std::wstring GetPluginName() const = 0;
    virtual AuthParamsHandle GetPluginAuthParams() const = 0;
    virtual int GetPluginFeatures() const = 0;
    virtual std::int32_t GetFileSystemType() const = 0;
    virtual std::int32_t GetCategory() const = 0;
    virtual bool IsSeekFileSupported() const = 0;
    virtual bool IsMoveFileSupported() const = 0;
    virtual bool IsConfigurable() const = 0;
};

// Read side of a storage instance.
class IBackupDataRead {
  public:
    virtual ~IBackupDataRead() = default;
    virtual void Destroy() { delete this; }

    virtual ResultCode OpenFile(const std::wstring& path, FileAccessMode::ID mode,
                                unsigned int& handle) = 0;
    virtual ResultCode ReadFile(unsigned char* buffer, unsigned int& size,
                                unsigned int const& handle) = 0;
    virtual ResultCode SeekFile(unsigned int const& handle, unsigned long const& position) = 0;
    virtual ResultCode CloseFile(unsigned int const& handle) = 0;
    virtual ResultCode GetElementAttributes(const std::wstring& path,
                                            CFileAttributes& attributes) = 0;
    virtual ResultCode GetListing(const std::wstring& path, std::list<CFileInfo>& entries) = 0;
    virtual void OnStop() = 0;

    virtual ResultCode GetDirectorySpaceInfo(const std::wstring& /*path*/, unsigned long& /*total*/,
                                             unsigned long& /*free*/) {
        return NotSupported;
    }
    virtual ResultCode NewReadBatch(unsigned int& /*batch*/) { return NotSupported; }
    virtual ResultCode AddToReadBatch(const std::wstring& /*path*/, unsigned int /*batch*/) {
        return NotSupported;
    }
    virtual ResultCode FlushReadBatch(unsigned int /*batch*/) { return NotSupported; }
    virtual ResultCode ReleaseReadBatch(unsigned int /*batch*/) { return NotSupported; }
    virtual std::wstring EscapeIllegalSymbols(const std::wstring& name) { return name; }
};

// Write side of a storage instance.
class IBackupDataWrite : public virtual IBackupDataRead {
  public:
    virtual ResultCode WriteFile(unsigned char const* data, unsigned int& size,
                                 unsigned int const& handle) = 0;
    virtual ResultCode SetElementAttributes(const std::wstring& path,
                                            CFileAttributes const& attributes) = 0;
    virtual ResultCode CreateFolder(const std::wstring& path) = 0;
    virtual ResultCode DeleteFolder(const std::wstring& path) = 0;
    virtual ResultCode DeleteFile(const std::wstring& path) = 0;
    virtual ResultCode MoveFile(const std::wstring& from, const std::wstring& to) = 0;
    virtual ResultCode BeginTransaction() = 0;
    virtual ResultCode CommitTransaction() = 0;

    virtual ResultCode NewWriteBatch(unsigned int& /*batch*/) { return NotSupported; }
    virtual ResultCode AddToWriteBatch(const std::wstring& /*path*/, unsigned int /*batch*/) {
        return NotSupported;
    }
    virtual ResultCode ReleaseWriteBatch(unsigned int /*batch*/) { return NotSupported; }
};

// The plain, unmangled entry points every plug-in exports.
extern "C" {
using GetPluginInfoFunction = IPluginInfo* (*)();
using GetBackupDataWriteFunction = IBackupDataWrite* (*)(ILog*, ILink*);
using GetBackupDataReadFunction = IBackupDataRead* (*)(ILog*, ILink*);
}
