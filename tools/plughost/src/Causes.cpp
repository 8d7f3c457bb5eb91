#include "Causes.h"

#include <cstdlib>

namespace plughost {

namespace {

// "[2] text" → "text".
std::string Text(const std::string& line) {
    if (!line.empty() && line[0] == '[') {
        const std::string::size_type close = line.find("] ");
        if (close != std::string::npos) return line.substr(close + 2);
    }
    return line;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

const char* const FieldPrefixes[] = {"ErrorType: ", "ExceptionName: ",       "Message: ",
                                     "RequestId: ", "RemoteHostIpAddress: ", "ResponseCode: "};

bool IsField(const std::string& text) {
    for (const char* prefix : FieldPrefixes)
        if (StartsWith(text, prefix)) return true;
    return false;
}

std::string Where(const EndpointFacts& endpoint) {
    return endpoint.url.empty() ? std::string("the service") : endpoint.url;
}

std::string HostOf(const std::string& url) {
    std::string rest = url;
    const std::string::size_type scheme = rest.find("://");
    if (scheme != std::string::npos) rest = rest.substr(scheme + 3);
    return rest.substr(0, rest.find_first_of("/:"));
}

// The libcurl code in a message "curlCode: 7, Couldn't connect to server", or -1.
int CurlCode(const std::string& message, std::string& text) {
    if (!StartsWith(message, "curlCode: ")) return -1;
    const char* digits = message.c_str() + 10;
    char* end = nullptr;
    const long code = std::strtol(digits, &end, 10);
    if (end == digits) return -1;
    text = end;
    if (StartsWith(text, ", ")) text = text.substr(2);
    return static_cast<int>(code);
}

std::string SchemeHint(const EndpointFacts& endpoint) {
    if (!endpoint.schemeAdded) return "";
    return "; " + endpoint.source + " '" + endpoint.configured +
           "' has no scheme, so HTTPS was used (write http://" + endpoint.configured +
           " for a plain-HTTP service)";
}

std::string NoAnswer(const RequestError& error, const EndpointFacts& endpoint) {
    std::string text;
    const int curl = CurlCode(error.message, text);
    const std::string where = Where(endpoint);
    switch (curl) {
        case 6:
            return "host not found: " + HostOf(endpoint.url) + " (" + where + ")";
        case 7:
            return "connection to " + where + " failed (refused or unreachable)" +
                   SchemeHint(endpoint);
        case 28:
            return "timeout: " + where + " did not answer in time" + SchemeHint(endpoint);
        case 35:
            return "TLS handshake with " + where + " failed (" + text + ")" + SchemeHint(endpoint);
        case 51:
        case 58:
        case 60:
            // The certificate may be trusted and yet be another host's.
            if (text.find("subject name") != std::string::npos ||
                text.find("host name") != std::string::npos)
                return "TLS verification of " + where + " failed: the certificate does not name " +
                       HostOf(endpoint.url) + " (" + text + ")";
            [[fallthrough]];
        case 77:
        case 83:
        case 90:
        case 91:
            return "TLS verification of " + where + " failed (" + text +
                   "); the certificate is not trusted (AWS_CA_BUNDLE names a CA file)";
        case 52:
        case 55:
        case 56:
            return "the connection to " + where + " broke (" + text + ")" + SchemeHint(endpoint);
        default:
            break;
    }
    return "no answer from " + where + " (" + (error.message.empty() ? "unknown" : error.message) +
           ")" + SchemeHint(endpoint);
}

}  // namespace

RequestError FindRequestError(const std::vector<std::string>& lines) {
    RequestError error;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string text = Text(lines[i]);
        if (!StartsWith(text, "ErrorType: ")) continue;
        error.found = true;
        error.errorType = std::atoi(text.c_str() + 11);
        if (i > 0 && !IsField(Text(lines[i - 1]))) error.context = Text(lines[i - 1]);
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            const std::string field = Text(lines[j]);
            if (StartsWith(field, "ErrorType: ")) break;
            if (StartsWith(field, "ExceptionName: "))
                error.exceptionName = field.substr(15);
            else if (StartsWith(field, "Message: "))
                error.message = field.substr(9);
            else if (StartsWith(field, "ResponseCode: "))
                error.responseCode = std::atol(field.c_str() + 14);
        }
        break;
    }
    return error;
}

std::string FindPlainMessage(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string text = Text(lines[i]);
        const bool opensBlock =
            i + 1 < lines.size() && StartsWith(Text(lines[i + 1]), "ErrorType: ");
        if (!text.empty() && !IsField(text) && !opensBlock && text.find(": ") == std::string::npos)
            return text;
    }
    return "";
}

std::string DescribeRequestError(const RequestError& error, const EndpointFacts& endpoint) {
    if (error.responseCode <= 0) return NoAnswer(error, endpoint);
    const std::string& code = error.exceptionName;
    const std::string detail =
        (code.empty() ? "HTTP " + std::to_string(error.responseCode) : code) +
        (error.message.empty() ? "" : ": " + error.message);
    if (code == "NoSuchBucket")
        return "bucket not found at " + Where(endpoint) + " (" + detail + ")";
    if (code == "NoSuchKey" || (error.responseCode == 404 && code.empty()))
        return "not found (" + detail + ")";
    if (error.responseCode == 403 || code == "SignatureDoesNotMatch" ||
        code == "InvalidAccessKeyId") {
        std::string hint;
        if (code == "SignatureDoesNotMatch") hint = "; check the secret key";
        if (code == "InvalidAccessKeyId") hint = "; check the access key id";
        return "access denied by " + Where(endpoint) + " (" + detail + ")" + hint;
    }
    if (error.responseCode == 301 || error.responseCode == 307 || code == "PermanentRedirect" ||
        code == "AuthorizationHeaderMalformed")
        return "the bucket is served elsewhere, in another region or at another endpoint (" +
               detail + ")";
    if (error.responseCode >= 500)
        return "the service failed (HTTP " + std::to_string(error.responseCode) +
               (code.empty() ? "" : " " + code) +
               (error.message.empty() ? "" : ": " + error.message) + ")";
    return "the service refused the request (HTTP " + std::to_string(error.responseCode) +
           (code.empty() ? "" : " " + code) + (error.message.empty() ? "" : ": " + error.message) +
           ")";
}

bool MeetsEveryRequest(const RequestError& error) {
    if (!error.found) return false;
    if (error.responseCode <= 0) {
        std::string text;
        switch (CurlCode(error.message, text)) {
            case 6:   // host not found
            case 7:   // connection refused
            case 35:  // TLS handshake
            case 51:
            case 58:
            case 60:
            case 77:
            case 83:
            case 90:
            case 91:  // certificate verification
                return true;
            default:
                return false;
        }
    }
    const std::string& code = error.exceptionName;
    return code == "NoSuchBucket" || code == "InvalidAccessKeyId" ||
           code == "SignatureDoesNotMatch" || code == "AccessDenied" || code == "InvalidToken" ||
           code == "ExpiredToken";
}

std::string DescribeLoggedCause(const std::vector<std::string>& lines,
                                const EndpointFacts& endpoint) {
    const RequestError error = FindRequestError(lines);
    if (error.found) return DescribeRequestError(error, endpoint);
    const std::string plain = FindPlainMessage(lines);
    if (!plain.empty()) return "the plug-in says: " + plain;
    return "";
}

}  // namespace plughost
