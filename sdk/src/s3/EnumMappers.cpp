#include <aws/s3/model/ChecksumAlgorithm.h>
#include <aws/s3/model/ChecksumMode.h>
#include <aws/s3/model/EncodingType.h>

namespace Aws {
namespace S3 {
namespace Model {
namespace ChecksumAlgorithmMapper {
ChecksumAlgorithm GetChecksumAlgorithmForName(const Aws::String& name) {
    if (name == "CRC32") return ChecksumAlgorithm::CRC32;
    if (name == "CRC32C") return ChecksumAlgorithm::CRC32C;
    if (name == "SHA1") return ChecksumAlgorithm::SHA1;
    if (name == "SHA256") return ChecksumAlgorithm::SHA256;
    if (name == "CRC64NVME") return ChecksumAlgorithm::CRC64NVME;
    return ChecksumAlgorithm::NOT_SET;
}

Aws::String GetNameForChecksumAlgorithm(ChecksumAlgorithm value) {
    switch (value) {
        case ChecksumAlgorithm::CRC32:
            return "CRC32";
        case ChecksumAlgorithm::CRC32C:
            return "CRC32C";
        case ChecksumAlgorithm::SHA1:
            return "SHA1";
        case ChecksumAlgorithm::SHA256:
            return "SHA256";
        case ChecksumAlgorithm::CRC64NVME:
            return "CRC64NVME";
        case ChecksumAlgorithm::NOT_SET:
            break;
    }
    return {};
}
}  // namespace ChecksumAlgorithmMapper

namespace ChecksumModeMapper {
ChecksumMode GetChecksumModeForName(const Aws::String& name) {
    return name == "ENABLED" ? ChecksumMode::ENABLED : ChecksumMode::NOT_SET;
}

Aws::String GetNameForChecksumMode(ChecksumMode value) {
    return value == ChecksumMode::ENABLED ? "ENABLED" : "";
}
}  // namespace ChecksumModeMapper

namespace EncodingTypeMapper {
EncodingType GetEncodingTypeForName(const Aws::String& name) {
    return name == "url" ? EncodingType::url : EncodingType::NOT_SET;
}

Aws::String GetNameForEncodingType(EncodingType value) {
    return value == EncodingType::url ? "url" : "";
}
}  // namespace EncodingTypeMapper
}  // namespace Model
}  // namespace S3
}  // namespace Aws
