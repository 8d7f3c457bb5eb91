#pragma once

#include <aws/core/utils/DateTime.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// One upload in progress, as a listing of uploads names it.
class AWS_S3_API MultipartUpload {
  public:
    inline const Aws::String& GetUploadId() const { return m_uploadId; }
    template <typename UploadIdT = Aws::String>
    void SetUploadId(UploadIdT&& value) {
        m_uploadIdHasBeenSet = true;
        m_uploadId = std::forward<UploadIdT>(value);
    }
    template <typename UploadIdT = Aws::String>
    MultipartUpload& WithUploadId(UploadIdT&& value) {
        SetUploadId(std::forward<UploadIdT>(value));
        return *this;
    }
    inline bool UploadIdHasBeenSet() const { return m_uploadIdHasBeenSet; }

    inline const Aws::String& GetKey() const { return m_key; }
    template <typename KeyT = Aws::String>
    void SetKey(KeyT&& value) {
        m_keyHasBeenSet = true;
        m_key = std::forward<KeyT>(value);
    }
    template <typename KeyT = Aws::String>
    MultipartUpload& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline const Aws::Utils::DateTime& GetInitiated() const { return m_initiated; }
    template <typename InitiatedT = Aws::Utils::DateTime>
    void SetInitiated(InitiatedT&& value) {
        m_initiatedHasBeenSet = true;
        m_initiated = std::forward<InitiatedT>(value);
    }
    template <typename InitiatedT = Aws::Utils::DateTime>
    MultipartUpload& WithInitiated(InitiatedT&& value) {
        SetInitiated(std::forward<InitiatedT>(value));
        return *this;
    }
    inline bool InitiatedHasBeenSet() const { return m_initiatedHasBeenSet; }

    inline const Aws::String& GetStorageClass() const { return m_storageClass; }
    template <typename StorageClassT = Aws::String>
    void SetStorageClass(StorageClassT&& value) {
        m_storageClassHasBeenSet = true;
        m_storageClass = std::forward<StorageClassT>(value);
    }
    template <typename StorageClassT = Aws::String>
    MultipartUpload& WithStorageClass(StorageClassT&& value) {
        SetStorageClass(std::forward<StorageClassT>(value));
        return *this;
    }
    inline bool StorageClassHasBeenSet() const { return m_storageClassHasBeenSet; }

  private:
    Aws::String m_uploadId;
    bool m_uploadIdHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    Aws::Utils::DateTime m_initiated;
    bool m_initiatedHasBeenSet = false;
    Aws::String m_storageClass;
    bool m_storageClassHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
