#include "testhost/HostedStorage.h"

#include <stdexcept>

#include "torvik/Strings.h"

namespace testhost {

HostedStorage::HostedStorage(const std::string& deliverable, const std::string& url,
                             const std::string& accessKey, const std::string& secretKey)
    : name(deliverable), lib(deliverable), endpoint(url) {
    const std::wstring key = Torvik::strings::UTF8toWstr(accessKey);
    const std::wstring secret = Torvik::strings::UTF8toWstr(secretKey);
    link.Set(L"AccessKeyID", key);
    link.Set(L"SecretAccessKey", secret);
    link.Set(L"UserName", key);
    link.Set(L"Password", secret);
    link.Set(L"ServerName", Torvik::strings::UTF8toWstr(url));
    link.Set(L"Region", L"us-east-1");
    link.Set(L"FallbackRegion", L"us-east-1");
    if (deliverable == "Tresko") env.emplace("AWS_ENDPOINT_URL_S3", url);
    endpointSlot = lib.Symbol<char*>("Endpoint");
    if (endpointSlot != nullptr) {
        previousEndpoint = *endpointSlot;
        *endpointSlot = &endpoint[0];
    }
}

HostedStorage::~HostedStorage() {
    Close();
    if (endpointSlot != nullptr) *endpointSlot = previousEndpoint;
}

IBackupDataWrite& HostedStorage::Open() {
    Close();
    instance = lib.GetBackupDataWrite(&log, &link);
    if (instance == nullptr) throw std::runtime_error("no instance of " + name);
    return *instance;
}

void HostedStorage::Close() {
    if (instance != nullptr) instance->Destroy();
    instance = nullptr;
}

void HostedStorage::SetEndpoint(const std::string& url) {
    endpoint = url;
    if (endpointSlot != nullptr) *endpointSlot = &endpoint[0];
}

ResultCode HostedStorage::Write(const std::wstring& path, const std::string& data) {
    unsigned int handle = 0;
    const ResultCode opened = instance->OpenFile(path, FileAccessMode::Write, handle);
    if (opened != Success) return opened;
    unsigned int length = static_cast<unsigned int>(data.size());
    const ResultCode written =
        instance->WriteFile(reinterpret_cast<const unsigned char*>(data.data()), length, handle);
    const ResultCode closed = instance->CloseFile(handle);
    return written != Success ? written : closed;
}

std::optional<std::string> HostedStorage::Read(const std::wstring& path) {
    unsigned int handle = 0;
    if (instance->OpenFile(path, FileAccessMode::Read, handle) != Success) return std::nullopt;
    std::string content;
    unsigned char block[4096];
    for (;;) {
        unsigned int length = sizeof block;
        const ResultCode result = instance->ReadFile(block, length, handle);
        if (result == EndOfData) break;
        if (result != Success) {
            instance->CloseFile(handle);
            return std::nullopt;
        }
        content.append(reinterpret_cast<char*>(block), length);
    }
    if (instance->CloseFile(handle) != Success) return std::nullopt;
    return content;
}

}  // namespace testhost
