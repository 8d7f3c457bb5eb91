// plughost's own S3 client, for what the plug-in interface cannot give: the multipart uploads
// that were begun and never completed, and the manifest of a backup that was stopped while the
// instance is parked in a call. It is configured from the same parameters and endpoint
// as the plug-in configures its clients (the same addressing, signing and region), so it sees
// what the plug-in's requests see.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Causes.h"
#include "KnownPlugins.h"
#include "Parameters.h"

namespace plughost {

struct IncompleteUpload {
    std::string key;
    std::string uploadId;
    std::int64_t initiated = 0;  // seconds since 1970, UTC
};

class DirectClient {
  public:
    // `quick`: one attempt and short timeouts, for a stop that must not hang on the service.
    // `configuredEndpoint` is the endpoint exactly as the plug-in hands it to the SDK (empty:
    // none, the SDK chooses).
    DirectClient(const KnownPlugin& plugin, const ParameterSet& parameters,
                 const std::string& configuredEndpoint, bool quick);
    ~DirectClient();
    DirectClient(const DirectClient&) = delete;
    DirectClient& operator=(const DirectClient&) = delete;

    // The uploads in `bucket` whose key starts with `prefix`, all pages. False with `error`
    // set when a request failed.
    bool ListUploads(const std::string& bucket, const std::string& prefix,
                     std::vector<IncompleteUpload>& uploads, RequestError& error);
    bool Abort(const std::string& bucket, const std::string& key, const std::string& uploadId,
               RequestError& error);
    // Stores `data` as one object (the manifest written while a stopped instance is parked).
    bool Put(const std::string& bucket, const std::string& key, const std::string& data,
             RequestError& error);
    bool Delete(const std::string& bucket, const std::string& key, RequestError& error);

  private:
    class Clients;
    std::unique_ptr<Clients> clients_;
};

}  // namespace plughost
