#include <aws/s3/S3Errors.h>

namespace Aws {
namespace S3 {
namespace S3ErrorMapper {
namespace {
struct NamedError {
    const char* name;
    S3Errors type;
};

const NamedError kS3Errors[] = {
    {"NoSuchUpload", S3Errors::NO_SUCH_UPLOAD},
    {"EncryptionTypeMismatch", S3Errors::ENCRYPTION_TYPE_MISMATCH},
    {"InvalidRequest", S3Errors::INVALID_REQUEST},
    {"BucketAlreadyOwnedByYou", S3Errors::BUCKET_ALREADY_OWNED_BY_YOU},
    {"InvalidWriteOffset", S3Errors::INVALID_WRITE_OFFSET},
    {"ObjectAlreadyInActiveTierError", S3Errors::OBJECT_ALREADY_IN_ACTIVE_TIER},
    {"NoSuchBucket", S3Errors::NO_SUCH_BUCKET},
    {"TooManyParts", S3Errors::TOO_MANY_PARTS},
    {"IdempotencyParameterMismatch", S3Errors::IDEMPOTENCY_PARAMETER_MISMATCH},
    {"NoSuchKey", S3Errors::NO_SUCH_KEY},
    {"ObjectNotInActiveTierError", S3Errors::OBJECT_NOT_IN_ACTIVE_TIER},
    {"BucketAlreadyExists", S3Errors::BUCKET_ALREADY_EXISTS},
    {"InvalidObjectState", S3Errors::INVALID_OBJECT_STATE},
};
}  // namespace

Aws::Client::AWSError<Aws::Client::CoreErrors> GetErrorForName(const char* errorName) {
    using Aws::Client::AWSError;
    using Aws::Client::CoreErrors;
    Aws::String name = errorName ? errorName : "";
    for (const auto& entry : kS3Errors) {
        if (name == entry.name) {
            return AWSError<CoreErrors>(static_cast<CoreErrors>(entry.type), false);
        }
    }
    return AWSError<CoreErrors>(CoreErrors::UNKNOWN, false);
}
}  // namespace S3ErrorMapper
}  // namespace S3
}  // namespace Aws
