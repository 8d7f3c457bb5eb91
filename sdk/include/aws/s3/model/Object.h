#pragma once

#include <aws/core/utils/DateTime.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// One entry of an object listing. The ETag keeps the quotes the service sent.
class AWS_S3_API Object {
  public:
    inline const Aws::String& GetKey() const { return m_key; }
    template <typename KeyT = Aws::String>
    void SetKey(KeyT&& value) {
        m_keyHasBeenSet = true;
        m_key = std::forward<KeyT>(value);
    }
    template <typename KeyT = Aws::String>
    Object& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline const Aws::Utils::DateTime& GetLastModified() const { return m_lastModified; }
    template <typename LastModifiedT = Aws::Utils::DateTime>
    void SetLastModified(LastModifiedT&& value) {
        m_lastModifiedHasBeenSet = true;
        m_lastModified = std::forward<LastModifiedT>(value);
    }
    template <typename LastModifiedT = Aws::Utils::DateTime>
    Object& WithLastModified(LastModifiedT&& value) {
        SetLastModified(std::forward<LastModifiedT>(value));
        return *this;
    }
    inline bool LastModifiedHasBeenSet() const { return m_lastModifiedHasBeenSet; }

    inline const Aws::String& GetETag() const { return m_eTag; }
    template <typename ETagT = Aws::String>
    void SetETag(ETagT&& value) {
        m_eTagHasBeenSet = true;
        m_eTag = std::forward<ETagT>(value);
    }
    template <typename ETagT = Aws::String>
    Object& WithETag(ETagT&& value) {
        SetETag(std::forward<ETagT>(value));
        return *this;
    }
    inline bool ETagHasBeenSet() const { return m_eTagHasBeenSet; }

    inline long long GetSize() const { return m_size; }
    inline void SetSize(long long value) {
        m_sizeHasBeenSet = true;
        m_size = value;
    }
    inline Object& WithSize(long long value) {
        SetSize(value);
        return *this;
    }
    inline bool SizeHasBeenSet() const { return m_sizeHasBeenSet; }

    inline const Aws::String& GetStorageClass() const { return m_storageClass; }
    template <typename StorageClassT = Aws::String>
    void SetStorageClass(StorageClassT&& value) {
        m_storageClassHasBeenSet = true;
        m_storageClass = std::forward<StorageClassT>(value);
    }
    template <typename StorageClassT = Aws::String>
    Object& WithStorageClass(StorageClassT&& value) {
        SetStorageClass(std::forward<StorageClassT>(value));
        return *this;
    }
    inline bool StorageClassHasBeenSet() const { return m_storageClassHasBeenSet; }

  private:
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    Aws::Utils::DateTime m_lastModified;
    bool m_lastModifiedHasBeenSet = false;
    Aws::String m_eTag;
    bool m_eTagHasBeenSet = false;
    long long m_size{0};
    bool m_sizeHasBeenSet = false;
    Aws::String m_storageClass;
    bool m_storageClassHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
