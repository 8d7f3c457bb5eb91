#include "DirectClient.h"

#include <aws/core/Aws.h>
#include <aws/core/client/DefaultRetryStrategy.h>
#include <aws/core/client/RetryStrategy.h>
#include <aws/s3/S3Client.h>
#include <aws/s3/model/AbortMultipartUploadRequest.h>
#include <aws/s3/model/BucketLocationConstraint.h>
#include <aws/s3/model/DeleteObjectRequest.h>
#include <aws/s3/model/GetBucketLocationRequest.h>
#include <aws/s3/model/ListMultipartUploadsRequest.h>
#include <aws/s3/model/PutObjectRequest.h>

#include <map>
#include <mutex>
#include <sstream>

#include "providers/ProviderFacts.h"

namespace plughost {

namespace {

void InitializeOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        const Aws::SDKOptions options;
        Aws::InitAPI(options);
    });
}

RequestError FromS3Error(const Aws::S3::S3Error& error) {
    RequestError result;
    result.found = true;
    result.errorType = static_cast<int>(error.GetErrorType());
    result.exceptionName = error.GetExceptionName();
    result.message = error.GetMessage();
    result.responseCode = static_cast<long>(error.GetResponseCode());
    return result;
}

std::string Parameter(const ParameterSet& parameters, const char* key) {
    return key == nullptr ? "" : parameters.Find(key).value_or("");
}

}  // namespace

// The client per region (one for every plug-in but the per-bucket-region one).
class DirectClient::Clients {
  public:
    Clients(const KnownPlugin& plugin, const ParameterSet& parameters,
            const std::string& configuredEndpoint, bool quick)
        : plugin_(plugin),
          credentials_(Parameter(parameters, plugin.accessKeyKey).c_str(),
                       Parameter(parameters, plugin.secretKeyKey).c_str()),
          endpoint_(configuredEndpoint),
          region_(Parameter(parameters, plugin.regionKey)),
          fallbackRegion_(Parameter(parameters, plugin.fallbackRegionKey)),
          quick_(quick) {
        if (plugin.endpoint == EndpointSource::PerRegion) {
            if (region_.empty()) region_ = providers::DefaultServiceRegion;
            if (fallbackRegion_.empty()) fallbackRegion_ = providers::RegionOfEmptyLocation;
        }
    }

    // The client for requests about `bucket`.
    std::shared_ptr<Aws::S3::S3Client> For(const std::string& bucket, RequestError& error) {
        if (plugin_.endpoint != EndpointSource::PerRegion) return Client(endpoint_, region_);
        auto known = bucketRegions_.find(bucket);
        if (known == bucketRegions_.end()) {
            Aws::S3::Model::GetBucketLocationRequest request;
            request.SetBucket(bucket);
            const auto outcome = Client("", region_)->GetBucketLocation(request);
            if (!outcome.IsSuccess()) {
                error = FromS3Error(outcome.GetError());
                return nullptr;
            }
            using Aws::S3::Model::BucketLocationConstraint;
            const BucketLocationConstraint constraint = outcome.GetResult().GetLocationConstraint();
            const std::string location = constraint == BucketLocationConstraint::NOT_SET
                                             ? std::string()
                                             : Aws::S3::Model::BucketLocationConstraintMapper::
                                                   GetNameForBucketLocationConstraint(constraint);
            known = bucketRegions_
                        .emplace(bucket, providers::RegionOfLocation(location, fallbackRegion_))
                        .first;
        }
        return Client("", known->second);
    }

  private:
    std::shared_ptr<Aws::S3::S3Client> Client(const std::string& endpoint,
                                              const std::string& region) {
        const std::string id = endpoint + "\n" + region;
        auto found = clients_.find(id);
        if (found != clients_.end()) return found->second;
        Aws::Client::ClientConfiguration config;
        // Passed verbatim, as the plug-ins pass it: the SDK completes a missing scheme.
        config.endpointOverride = endpoint;
        if (!region.empty()) config.region = region;
        if (quick_) {
            config.connectTimeoutMs = 1000;
            config.requestTimeoutMs = 2000;
            config.retryStrategy = std::make_shared<Aws::Client::StandardRetryStrategy>(1);
        }
        const Aws::S3::S3ClientConfiguration s3Config(
            config, Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy::Never,
            /*useVirtualAddressing=*/true, Aws::S3::US_EAST_1_REGIONAL_ENDPOINT_OPTION::NOT_SET);
        auto client = std::make_shared<Aws::S3::S3Client>(credentials_, nullptr, s3Config);
        clients_.emplace(id, client);
        return client;
    }

    const KnownPlugin& plugin_;
    Aws::Auth::AWSCredentials credentials_;
    std::string endpoint_;
    std::string region_;
    std::string fallbackRegion_;
    bool quick_;
    std::map<std::string, std::string> bucketRegions_;
    std::map<std::string, std::shared_ptr<Aws::S3::S3Client>> clients_;
};

DirectClient::DirectClient(const KnownPlugin& plugin, const ParameterSet& parameters,
                           const std::string& configuredEndpoint, bool quick) {
    InitializeOnce();
    clients_ = std::make_unique<Clients>(plugin, parameters, configuredEndpoint, quick);
}

DirectClient::~DirectClient() = default;

bool DirectClient::ListUploads(const std::string& bucket, const std::string& prefix,
                               std::vector<IncompleteUpload>& uploads, RequestError& error) {
    const std::shared_ptr<Aws::S3::S3Client> client = clients_->For(bucket, error);
    if (!client) return false;
    std::string keyMarker;
    std::string uploadIdMarker;
    for (;;) {
        Aws::S3::Model::ListMultipartUploadsRequest request;
        request.SetBucket(bucket);
        if (!prefix.empty()) request.SetPrefix(prefix);
        if (!keyMarker.empty()) request.SetKeyMarker(keyMarker);
        if (!uploadIdMarker.empty()) request.SetUploadIdMarker(uploadIdMarker);
        const auto outcome = client->ListMultipartUploads(request);
        if (!outcome.IsSuccess()) {
            error = FromS3Error(outcome.GetError());
            return false;
        }
        const auto& result = outcome.GetResult();
        for (const auto& upload : result.GetUploads()) {
            IncompleteUpload entry;
            entry.key = upload.GetKey();
            entry.uploadId = upload.GetUploadId();
            entry.initiated = upload.GetInitiated().Seconds();
            uploads.push_back(entry);
        }
        if (!result.GetIsTruncated()) return true;
        const std::string nextKey = result.GetNextKeyMarker();
        const std::string nextId = result.GetNextUploadIdMarker();
        // A service that repeats the markers it was given would keep this loop going.
        if ((nextKey.empty() && nextId.empty()) ||
            (nextKey == keyMarker && nextId == uploadIdMarker))
            return true;
        keyMarker = nextKey;
        uploadIdMarker = nextId;
    }
}

bool DirectClient::Abort(const std::string& bucket, const std::string& key,
                         const std::string& uploadId, RequestError& error) {
    const std::shared_ptr<Aws::S3::S3Client> client = clients_->For(bucket, error);
    if (!client) return false;
    Aws::S3::Model::AbortMultipartUploadRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    request.SetUploadId(uploadId);
    const auto outcome = client->AbortMultipartUpload(request);
    if (outcome.IsSuccess()) return true;
    error = FromS3Error(outcome.GetError());
    return false;
}

bool DirectClient::Put(const std::string& bucket, const std::string& key, const std::string& data,
                       RequestError& error) {
    const std::shared_ptr<Aws::S3::S3Client> client = clients_->For(bucket, error);
    if (!client) return false;
    Aws::S3::Model::PutObjectRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    request.SetBody(std::make_shared<std::stringstream>(data));
    const auto outcome = client->PutObject(request);
    if (outcome.IsSuccess()) return true;
    error = FromS3Error(outcome.GetError());
    return false;
}

bool DirectClient::Delete(const std::string& bucket, const std::string& key, RequestError& error) {
    const std::shared_ptr<Aws::S3::S3Client> client = clients_->For(bucket, error);
    if (!client) return false;
    Aws::S3::Model::DeleteObjectRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    const auto outcome = client->DeleteObject(request);
    if (outcome.IsSuccess()) return true;
    error = FromS3Error(outcome.GetError());
    return false;
}

}  // namespace plughost
