#include "s3/ErrorMarshaller.h"

#include <aws/core/utils/StringUtils.h>
#include <aws/s3/S3Errors.h>

#include "s3/Xml.h"

namespace Aws {
namespace Internal {
using Aws::Client::CoreErrors;
using Aws::Client::RetryableType;
using Aws::Http::HttpResponseCode;
using Aws::Utils::StringUtils;

CoreError FindErrorByName(const Aws::String& name) {
    CoreError error = Aws::S3::S3ErrorMapper::GetErrorForName(name.c_str());
    if (error.GetErrorType() != CoreErrors::UNKNOWN) return error;
    return Aws::Client::CoreErrorsMapper::GetErrorForName(name.c_str());
}

void AttachResponse(CoreError& error, const HttpResponse& response) {
    error.SetResponseHeaders(response.headers);
    error.SetResponseCode(static_cast<HttpResponseCode>(response.statusCode));
    error.SetRemoteHostIpAddress(response.remoteIp);
}

CoreError BuildTransportError(const HttpResponse& response) {
    CoreError error(CoreErrors::NETWORK_CONNECTION, "",
                    "curlCode: " + std::to_string(response.curlCode) + ", " + response.curlMessage,
                    !response.permanentFailure);
    error.SetRemoteHostIpAddress(response.remoteIp);
    return error;
}

namespace {
const tinyxml2::XMLElement* FindErrorElement(const tinyxml2::XMLElement* root) {
    if (!root) return nullptr;
    if (Aws::String(root->Name()) == "Error") return root;
    if (const auto* child = root->FirstChildElement("Error")) return child;
    if (const auto* errors = root->FirstChildElement("Errors")) {
        return errors->FirstChildElement("Error");
    }
    return nullptr;
}

// "aws.protocol#ThrottlingException" -> "ThrottlingException"; "Code:detail" -> "Code".
Aws::String FormalName(const Aws::String& code) {
    size_t hash = code.find('#');
    if (hash != Aws::String::npos) return code.substr(hash + 1);
    size_t colon = code.find(':');
    if (colon != Aws::String::npos) return code.substr(0, colon);
    return code;
}

Aws::String RequestIdOf(const tinyxml2::XMLElement* errorElement,
                        const tinyxml2::XMLElement* root) {
    for (const auto* element : {errorElement, root}) {
        if (HasChild(element, "RequestId")) return ChildText(element, "RequestId");
        if (HasChild(element, "RequestID")) return ChildText(element, "RequestID");
    }
    return {};
}
}  // namespace

CoreError BuildHttpError(const HttpResponse& response, Aws::IOStream& body) {
    const auto status = static_cast<HttpResponseCode>(response.statusCode);
    CoreError error;
    Aws::String text = ReadWholeStream(body);
    if (text.empty()) {
        CoreErrors type = CoreErrors::UNKNOWN;
        if (status == HttpResponseCode::UNAUTHORIZED || status == HttpResponseCode::FORBIDDEN) {
            type = CoreErrors::ACCESS_DENIED;
        } else if (status == HttpResponseCode::NOT_FOUND) {
            type = CoreErrors::RESOURCE_NOT_FOUND;
        }
        error = CoreError(type, "", "No response body.",
                          Aws::Http::IsRetryableHttpResponseCode(status));
    } else {
        XmlDocument doc;
        const tinyxml2::XMLElement* errorElement = nullptr;
        if (doc.Parse(text)) errorElement = FindErrorElement(doc.Root());
        if (errorElement && HasChild(errorElement, "Code")) {
            Aws::String code = StringUtils::Trim(ChildText(errorElement, "Code").c_str());
            Aws::String message = StringUtils::Trim(ChildText(errorElement, "Message").c_str());
            Aws::String name = FormalName(code);
            error = FindErrorByName(name);
            if (error.GetErrorType() == CoreErrors::UNKNOWN) {
                error = CoreError(CoreErrors::UNKNOWN, code,
                                  "Unable to parse ExceptionName: " + code + " Message: " + message,
                                  false);
            } else {
                error.SetExceptionName(name);
                error.SetMessage(message);
            }
            error.SetRequestId(RequestIdOf(errorElement, doc.Root()));
        } else {
            error = Aws::Client::CoreErrorsMapper::GetErrorForHttpResponseCode(status);
            if (errorElement) error.SetRequestId(RequestIdOf(errorElement, doc.Root()));
        }
        error.SetErrorPayloadType(Aws::Client::ErrorPayloadType::XML);
    }
    AttachResponse(error, response);
    return error;
}

bool FindEmbeddedError(const tinyxml2::XMLElement* root, CoreError& error) {
    if (!root || Aws::String(root->Name()) != "Error") return false;
    Aws::String message = "Error in body of the response";
    if (HasChild(root, "Message")) message = ChildText(root, "Message");
    error = FindErrorByName(ChildText(root, "Code"));
    error.SetMessage(message);
    error.SetRequestId(ChildText(root, "RequestId"));
    return true;
}
}  // namespace Internal
}  // namespace Aws
