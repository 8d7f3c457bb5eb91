#include "Instance.h"

#include "StoragePath.h"

namespace plughost {

Instance::Instance(Activity& activity, IBackupDataRead& reader, IBackupDataWrite* writer)
    : activity_(activity), reader_(reader), writer_(writer) {}

ResultCode Instance::OpenFile(const std::wstring& path, FileAccessMode::ID mode,
                              unsigned int& handle) {
    const Activity::Call call(activity_, "OpenFile");
    const ResultCode result = reader_.OpenFile(path, mode, handle);
    if (result == Success && mode != FileAccessMode::Read)
        activity_.OpenedForWriting(this, handle, FromHostName(path));
    return result;
}

ResultCode Instance::ReadFile(unsigned char* buffer, unsigned int& size, unsigned int handle) {
    const Activity::Call call(activity_, "ReadFile");
    return reader_.ReadFile(buffer, size, handle);
}

ResultCode Instance::WriteFile(const unsigned char* data, unsigned int& size, unsigned int handle) {
    if (writer_ == nullptr) return Failure;
    const Activity::Call call(activity_, "WriteFile");
    return writer_->WriteFile(data, size, handle);
}

ResultCode Instance::CloseFile(unsigned int handle) {
    const Activity::Call call(activity_, this, handle);
    const ResultCode result = reader_.CloseFile(handle);
    // Whatever the result, the plug-in has let go of the handle.
    activity_.Closed(this, handle);
    return result;
}

ResultCode Instance::GetElementAttributes(const std::wstring& path, CFileAttributes& attributes) {
    const Activity::Call call(activity_, "GetElementAttributes");
    return reader_.GetElementAttributes(path, attributes);
}

ResultCode Instance::GetListing(const std::wstring& path, std::list<CFileInfo>& entries) {
    const Activity::Call call(activity_, "GetListing");
    return reader_.GetListing(path, entries);
}

ResultCode Instance::CreateFolder(const std::wstring& path) {
    if (writer_ == nullptr) return Failure;
    const Activity::Call call(activity_, "CreateFolder");
    return writer_->CreateFolder(path);
}

ResultCode Instance::DeleteFolder(const std::wstring& path) {
    if (writer_ == nullptr) return Failure;
    const Activity::Call call(activity_, "DeleteFolder");
    return writer_->DeleteFolder(path);
}

ResultCode Instance::DeleteFile(const std::wstring& path) {
    if (writer_ == nullptr) return Failure;
    const Activity::Call call(activity_, "DeleteFile");
    return writer_->DeleteFile(path);
}

}  // namespace plughost
