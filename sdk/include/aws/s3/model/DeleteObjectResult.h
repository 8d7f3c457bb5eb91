#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
class AWS_S3_API DeleteObjectResult {
  public:
    inline bool GetDeleteMarker() const { return m_deleteMarker; }
    inline void SetDeleteMarker(bool value) {
        m_deleteMarkerHasBeenSet = true;
        m_deleteMarker = value;
    }
    inline DeleteObjectResult& WithDeleteMarker(bool value) {
        SetDeleteMarker(value);
        return *this;
    }
    inline bool DeleteMarkerHasBeenSet() const { return m_deleteMarkerHasBeenSet; }

    inline const Aws::String& GetVersionId() const { return m_versionId; }
    template <typename VersionIdT = Aws::String>
    void SetVersionId(VersionIdT&& value) {
        m_versionIdHasBeenSet = true;
        m_versionId = std::forward<VersionIdT>(value);
    }
    template <typename VersionIdT = Aws::String>
    DeleteObjectResult& WithVersionId(VersionIdT&& value) {
        SetVersionId(std::forward<VersionIdT>(value));
        return *this;
    }
    inline bool VersionIdHasBeenSet() const { return m_versionIdHasBeenSet; }

    inline const Aws::String& GetRequestId() const { return m_requestId; }
    template <typename RequestIdT = Aws::String>
    void SetRequestId(RequestIdT&& value) {
        m_requestIdHasBeenSet = true;
        m_requestId = std::forward<RequestIdT>(value);
    }
    template <typename RequestIdT = Aws::String>
    DeleteObjectResult& WithRequestId(RequestIdT&& value) {
        SetRequestId(std::forward<RequestIdT>(value));
        return *this;
    }
    inline bool RequestIdHasBeenSet() const { return m_requestIdHasBeenSet; }

  private:
    bool m_deleteMarker{false};
    bool m_deleteMarkerHasBeenSet = false;
    Aws::String m_versionId;
    bool m_versionIdHasBeenSet = false;
    Aws::String m_requestId;
    bool m_requestIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
