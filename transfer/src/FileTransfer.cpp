#include "transfer/FileTransfer.h"

#include <memory>
#include <utility>

#include "base/ProviderProfile.h"
#include "paths/PathMapping.h"
#include "transfer/S3DownloadFileInfo.h"
#include "transfer/S3UploadFileInfo.h"
#include "transfer/TransferReporter.h"

namespace {

// The opened file of `handle` if it is of kind T; null for an unknown handle or the other kind.
template <class T>
std::shared_ptr<T> FindFile(AllOpenedFiles& openedFiles, unsigned int handle) {
    const auto entry = openedFiles.files.find(handle);
    if (entry == openedFiles.files.end()) return nullptr;
    return std::dynamic_pointer_cast<T>(entry->second);
}

}  // namespace

FileTransfer::FileTransfer(const ProviderProfile& profile, ILog* log, S3Listing& listing,
                           AllOpenedFiles& openedFiles)
    : profile(profile), log(log), listing(listing), openedFiles(openedFiles) {}

ResultCode FileTransfer::OpenFile(const std::wstring& path, FileAccessMode::ID mode,
                                  unsigned int& handle) {
    const std::string storagePath = GetStoragePath(path);
    const auto [bucket, key] = SplitStoragePath(storagePath);
    // The root or a bucket alone names no object, and a key ending in '/' names a folder:
    // nothing could be stored or read there. (Paths with an empty, "." or ".." component never
    // get here.)
    if (bucket.empty() || key.empty() || key.back() == '/') return Failure;

    std::shared_ptr<Aws::S3::S3Client> client;
    if (listing.GetBucketClient(bucket, ClientUse::Transfer, client) != Success || !client) {
        return Failure;
    }
    const TransferReporter report = TransferReporter::For(log, profile.transferReporting);

    if (mode != FileAccessMode::Read) {
        handle =
            openedFiles.add(new S3UploadFileInfo(report, mode, std::move(client), bucket, key));
        return Success;
    }

    // The file's own record, also where a folder of the same name exists beside it.
    CFileAttributes attributes;
    if (listing.GetFileInfo(storagePath, attributes) != Success) return Failure;
    handle = openedFiles.add(
        new S3DownloadFileInfo(report, mode, std::move(client), bucket, key, attributes.size));
    return Success;
}

ResultCode FileTransfer::ReadFile(unsigned char* buffer, unsigned int& size, unsigned int handle) {
    const std::shared_ptr<S3DownloadFileInfo> file =
        FindFile<S3DownloadFileInfo>(openedFiles, handle);
    if (!file) return Failure;
    if (size == 0) {
        // Nothing asked, nothing fetched: the end is told once every byte has been delivered,
        // never before.
        return file->AtEnd() ? EndOfData : Success;
    }
    unsigned long length = size;
    const ResultCode result = file->ReadData(buffer, length);
    size = static_cast<unsigned int>(length);
    if (size == 0) return EndOfData;
    return result;
}

ResultCode FileTransfer::WriteFile(const unsigned char* data, unsigned int& size,
                                   unsigned int handle) {
    const std::shared_ptr<S3UploadFileInfo> file = FindFile<S3UploadFileInfo>(openedFiles, handle);
    if (!file) return Failure;
    return file->WriteData(data, size);
}

ResultCode FileTransfer::SeekFile(unsigned int /*handle*/, unsigned long /*position*/) {
    // Data moves strictly in order; the descriptor tells the host that seeking is unsupported.
    return Success;
}

ResultCode FileTransfer::CloseFile(unsigned int handle) {
    const auto entry = openedFiles.files.find(handle);
    if (entry == openedFiles.files.end()) return Failure;
    std::shared_ptr<S3UploadFileInfo> upload =
        std::dynamic_pointer_cast<S3UploadFileInfo>(entry->second);
    const FileAccessMode::ID mode = entry->second->GetMode();
    openedFiles.files.erase(entry);
    if (!upload) return Success;

    // The upload is finished here, not left to the last reference, so that the host learns
    // whether the object was stored; only a stored file enters the listing.
    if (upload->Finish() != Success) return Failure;
    if (mode != FileAccessMode::Write) return Success;
    return listing.RecordStoredElement(upload->GetPath(), upload->GetFileInfo());
}
