// The table behind the fault matrix: what kind of S3 request a recorded request is, the fault
// kinds and the proxy rule each becomes, what a deliverable reports when a request of a kind
// fails, and the Markdown rendering of the cells.
#pragma once

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "testhost/Testhost.h"

namespace faultmatrix {

using testhost::FaultAction;
using testhost::FaultRule;
using testhost::RecordedRequest;

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The S3 operation behind a path-style request.
inline std::string RequestKind(const RecordedRequest& r) {
    const std::string& t = r.target;
    const std::string path = t.substr(0, t.find('?'));
    const bool objectPath = path.find('/', 1) != std::string::npos;
    if (r.method == "GET" && t == "/") return "ListBuckets";
    if (r.method == "GET" && Has(t, "?location")) return "GetBucketLocation";
    if (r.method == "GET" && Has(t, "list-type=2")) return "ListObjectsV2";
    if (r.method == "POST" && Has(t, "?uploads")) return "CreateMultipartUpload";
    if (r.method == "PUT" && Has(t, "partNumber=")) return "UploadPart";
    if (r.method == "POST" && Has(t, "uploadId=")) return "CompleteMultipartUpload";
    if (r.method == "DELETE" && Has(t, "uploadId=")) return "AbortMultipartUpload";
    if (r.method == "PUT" && objectPath) return "PutObject";
    if (r.method == "DELETE" && objectPath) return "DeleteObject";
    if (r.method == "GET" && objectPath) return "GetObject";
    return r.method + " " + path;
}

// A regular expression that matches `target` again in a later run: literal, except for the
// upload id, which the service chooses anew each time.
inline std::string TargetPattern(const std::string& target) {
    std::string pattern = "^";
    for (char c : target) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern.push_back('\\');
        pattern.push_back(c);
    }
    static const std::regex uploadId("uploadId=[^&]*");
    pattern = std::regex_replace(pattern, uploadId, "uploadId=[^&]*");
    return pattern + "$";
}

enum class Fault {
    None,
    Recovery,
    Persistent5xx,
    Forbidden,
    Reset,
    Truncate,
    Stall,
    Malformed,
    Error200,
    Empty200,
    Page200,
    RepeatedToken
};

inline const std::vector<Fault>& AllFaults() {
    static const std::vector<Fault> faults = {
        Fault::Recovery, Fault::Persistent5xx, Fault::Forbidden,    Fault::Reset,
        Fault::Truncate, Fault::Stall,         Fault::Malformed,    Fault::Error200,
        Fault::Empty200, Fault::Page200,       Fault::RepeatedToken};
    return faults;
}

inline const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::None:
            return "none (clean run)";
        case Fault::Recovery:
            return "503 once, retried";
        case Fault::Persistent5xx:
            return "500 persistent";
        case Fault::Forbidden:
            return "403 persistent";
        case Fault::Reset:
            return "connection reset";
        case Fault::Truncate:
            return "truncated body";
        case Fault::Stall:
            return "stall past timeout";
        case Fault::Malformed:
            return "malformed XML";
        case Fault::Error200:
            return "200 with <Error>";
        case Fault::Empty200:
            return "200 with no body";
        case Fault::Page200:
            return "200 with a sign-in page";
        case Fault::RepeatedToken:
            return "listing repeats its token";
    }
    return "?";
}

// The requests whose successful answer is an XML document of the operation's result. An empty
// 200 is a complete answer of the others (a stored object, a deleted key), so that fault is
// only for these; a repeated continuation token only for listings of objects.
inline bool FaultApplies(Fault fault, const std::string& kind) {
    const bool document = kind == "ListBuckets" || kind == "ListObjectsV2" ||
                          kind == "GetBucketLocation" || kind == "CreateMultipartUpload" ||
                          kind == "CompleteMultipartUpload";
    if (fault == Fault::Empty200) return document;
    if (fault == Fault::RepeatedToken) return kind == "ListObjectsV2";
    return true;
}

// The SDK's default request timeout is 3 s of a stalled transfer; the stall outlasts it.
constexpr int kStallMs = 4500;

// The proxy rule that gives the `nth` request matching `method` and `pattern` the fault. Only
// the persistent kinds go on failing the requests after it.
inline FaultRule RuleFor(Fault fault, const std::string& method, const std::string& pattern,
                         int nth) {
    FaultRule rule;
    rule.method = method;
    rule.pathRegex = pattern;
    rule.nth = nth;
    rule.count = 1;
    switch (fault) {
        case Fault::None:
            break;
        case Fault::Recovery:
            rule.status = 503;
            rule.errorCode = "SlowDown";
            rule.errorMessage = "Please reduce your request rate.";
            break;
        case Fault::Persistent5xx:
            rule.count = -1;
            break;
        case Fault::Forbidden:
            rule.count = -1;
            rule.status = 403;
            rule.errorCode = "AccessDenied";
            rule.errorMessage = "Access Denied";
            break;
        case Fault::Reset:
            rule.action = FaultAction::Reset;
            break;
        case Fault::Truncate:
            rule.action = FaultAction::Truncate;
            rule.truncateAfter = 20;
            break;
        case Fault::Stall:
            rule.action = FaultAction::Delay;
            rule.delayMs = kStallMs;
            break;
        case Fault::Malformed:
            rule.action = FaultAction::MalformedXml;
            break;
        case Fault::Error200:
            rule.action = FaultAction::Error200;
            rule.errorCode = "InternalError";
            rule.errorMessage = "We encountered an internal error.";
            break;
        case Fault::Empty200:
            rule.action = FaultAction::Empty200;
            break;
        case Fault::Page200:
            rule.action = FaultAction::Page200;
            break;
        case Fault::RepeatedToken:
            // Every page hands back the token it was asked with; the request for the next page
            // is the same one with the token appended.
            rule.count = -1;
            rule.action = FaultAction::RepeatToken;
            if (!rule.pathRegex.empty() && rule.pathRegex.back() == '$') rule.pathRegex.pop_back();
            break;
    }
    return rule;
}

// What a deliverable writes when a request of `kind`, sent by scenario `scenario`, fails:
// one of `contexts` in the host log (any, when empty), the error's fields after it when
// `errorFields`, or one of `stderrTexts` on standard error. All empty: nothing is written.
struct Report {
    std::vector<std::string> contexts;
    bool errorFields = false;
    std::vector<std::string> stderrTexts;
    bool Silent() const { return contexts.empty() && !errorFields && stderrTexts.empty(); }
};

inline bool ReportsUploadsToLog(const std::string& deliverable) {
    return deliverable == "Mardel" || deliverable == "PennatLoopback";
}

inline Report ExpectedReport(const std::string& deliverable, const std::string& scenario,
                             const std::string& kind, bool partAtClose, Fault fault) {
    const bool toLog = ReportsUploadsToLog(deliverable);
    Report report;
    if (kind == "ListBuckets") return Report{{"Cannot get buckets listing."}, true, {}};
    if (kind == "GetBucketLocation") return Report{{"Cannot get bucket region "}, true, {}};
    if (kind == "ListObjectsV2") {
        // A folder deletion reports a failed listing to no one, but a service whose listing
        // never ends is worth telling of.
        if ((scenario == "delete-folder" || scenario == "delete-bucket") &&
            fault != Fault::RepeatedToken) {
            return report;
        }
        return Report{{"Cannot get folder listing "}, true, {}};
    }
    if (kind == "DeleteObject") {
        if (scenario == "delete-folder") return report;
        return Report{{"Cannot delete file "}, true, {}};
    }
    if (kind == "PutObject") {
        if (scenario == "create-folder") return Report{{"Cannot create folder "}, true, {}};
        if (toLog) return Report{{}, true, {}};
        return Report{{}, false, {"Error occured during file upload"}};
    }
    if (kind == "CreateMultipartUpload") {
        if (toLog) return Report{{"Cannot initialize multipart upload."}, true, {}};
        return report;
    }
    if (kind == "UploadPart") {
        if (toLog) return Report{{"Cannot upload part."}, true, {}};
        if (partAtClose) return Report{{}, false, {"Can't upload part"}};
        return report;
    }
    if (kind == "CompleteMultipartUpload") {
        if (toLog) {
            return Report{{"Cannot complete the multipart upload.",
                           "Multipart upload failed and cannot be canceled."},
                          true,
                          {}};
        }
        return Report{
            {},
            false,
            {"Can't complete Multipart Upload", "Multipart Upload failed and can't be canceled"}};
    }
    if (kind == "GetObject") {
        // A body of the wrong length is no S3 error: the context line comes alone then.
        if (toLog) return Report{{"Cannot download part"}, false, {}};
        return report;
    }
    return report;
}

// How many AbortMultipartUpload requests an upload scenario sends when request `kind` fails:
// exactly one when the upload fails after its multipart upload was created (a part or the
// completion failed), none when the host heard Success, for a single PutObject, or when the
// creation failed and there is no upload id to abort.
inline int ExpectedAborts(const std::string& scenario, const std::string& kind, bool succeeded) {
    if (succeeded || scenario != "upload-multipart") return 0;
    return kind == "UploadPart" || kind == "CompleteMultipartUpload" ? 1 : 0;
}

// One cell of the matrix and what was observed.
struct Cell {
    std::string deliverable;
    std::string scenario;
    std::string operation;  // the host call that sends the request
    std::string request;    // kind and occurrence, e.g. "ListObjectsV2 #2"
    Fault fault = Fault::None;
    std::string observed;  // result code of the first call that did not succeed, or Success
    std::string dataCheck;
    std::string logCheck;
    bool faultHit = false;
    double seconds = 0;
    std::vector<std::string> problems;  // empty: the invariant held
    bool Passed() const { return problems.empty(); }
};

inline std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') {
            out += "\\|";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '\n') {
            out += ' ';
        } else {
            out.push_back(c);
        }
    }
    return out;
}

inline std::string Markdown(const std::vector<Cell>& cells, const std::string& header) {
    std::string out = header;
    out +=
        "\n| Deliverable | Scenario | Operation | Request | Fault | Hit | Result | Data check | "
        "Log check | Seconds | Verdict |\n|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (const Cell& c : cells) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f", c.seconds);
        std::string verdict = "pass";
        if (!c.Passed()) {
            verdict = "FAIL:";
            for (const auto& p : c.problems) verdict += " " + p + ";";
        }
        out += "| " + c.deliverable + " | " + c.scenario + " | " + Escape(c.operation) + " | " +
               Escape(c.request) + " | " + Escape(FaultName(c.fault)) + " | " +
               (c.fault == Fault::None ? "-" : (c.faultHit ? "yes" : "no")) + " | " + c.observed +
               " | " + Escape(c.dataCheck) + " | " + Escape(c.logCheck) + " | " + seconds + " | " +
               Escape(verdict) + " |\n";
    }
    return out;
}

}  // namespace faultmatrix
