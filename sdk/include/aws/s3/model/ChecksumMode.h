#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

namespace Aws {
namespace S3 {
namespace Model {
enum class ChecksumMode { NOT_SET, ENABLED };

namespace ChecksumModeMapper {
AWS_S3_API ChecksumMode GetChecksumModeForName(const Aws::String& name);
AWS_S3_API Aws::String GetNameForChecksumMode(ChecksumMode value);
}  // namespace ChecksumModeMapper
}  // namespace Model
}  // namespace S3
}  // namespace Aws
