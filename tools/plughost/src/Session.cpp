#include "Session.h"

#include <sys/stat.h>

#include <cstdlib>

#include "Commands.h"
#include "StoragePath.h"

namespace plughost {

namespace {

// The SDK's standard retry mode is the one that honours AWS_MAX_ATTEMPTS.
void SetRetries(int attempts, Console& console) {
    const char* mode = std::getenv("AWS_RETRY_MODE");
    if (mode == nullptr || std::string(mode) != "standard") setenv("AWS_RETRY_MODE", "standard", 1);
    setenv("AWS_MAX_ATTEMPTS", std::to_string(attempts).c_str(), 1);
    console.Detail("plughost: --retries " + std::to_string(attempts) +
                   ": AWS_RETRY_MODE=standard, AWS_MAX_ATTEMPTS=" + std::to_string(attempts));
}

void WarnAboutSecrets(const GlobalOptions& options, const ParameterSet& parameters,
                      Console& console) {
    bool fromFile = false;
    for (const auto& [key, origin] : parameters.LiteralSecrets()) {
        if (origin == "-p")
            console.Note("plughost: warning: -p " + key +
                         "=... shows in the process list; give it as -p " + key +
                         "=@env:NAME or in a --params file");
        else
            fromFile = true;
    }
    struct stat status {};
    if (fromFile && ::stat(options.parametersFile.c_str(), &status) == 0 &&
        (status.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        console.Note("plughost: warning: " + options.parametersFile +
                     " holds secrets and can be read by others (mode " + mode + "); chmod 600 " +
                     options.parametersFile);
    }
}

}  // namespace

Session::Session(Console& console, bool verbose)
    : log_(console), link_(parameters_, console, verbose) {}

Worker::Worker(Console& console, const ParameterSet& parameters, Activity& activity)
    : log_(console), link_(parameters, console, false), activity_(activity) {}

Worker::~Worker() {
    if (!instance_ || !activity_.HasOpenWrites(instance_.get())) return;
    (void)writeInstance_.release();
    (void)readInstance_.release();
}

std::unique_ptr<Worker> Session::CreateWorker(InstanceKind kind, std::string& error) {
    auto worker = std::make_unique<Worker>(log_.GetConsole(), parameters_, *activity_);
    if (!logFile_.empty() && !worker->log_.OpenFile(logFile_, error)) return nullptr;
    IBackupDataRead* reader = nullptr;
    {
        const Activity::Call call(*activity_, "creating an instance");
        if (kind == InstanceKind::Writing) {
            worker->writeInstance_ =
                library_->GetBackupDataWrite(&worker->log_, &worker->link_, error);
            reader = worker->writeInstance_.get();
        } else {
            worker->readInstance_ =
                library_->GetBackupDataRead(&worker->log_, &worker->link_, error);
            reader = worker->readInstance_.get();
        }
    }
    if (reader == nullptr) {
        if (error.empty()) error = "the plug-in returned no storage instance";
        return nullptr;
    }
    worker->instance_ =
        std::make_unique<Instance>(*activity_, *reader, worker->writeInstance_.get());
    return worker;
}

Session::~Session() {
    if (activity_ == nullptr || activity_->OpenWrites().empty()) return;
    // Destroying the instance would complete the uploads still open with what they hold; the
    // instance is left as it is (and the library loaded, as the instance lives in it).
    (void)writeInstance_.release();
    (void)readInstance_.release();
    (void)library_.release();
}

std::unique_ptr<Session> Session::Open(const GlobalOptions& options, InstanceKind kind,
                                       Console& console, Activity& activity, int& exitCode,
                                       std::string& error) {
    std::unique_ptr<Session> session(new Session(console, options.verbose));
    session->activity_ = &activity;
    exitCode = ExitUsage;
    if (!options.parametersFile.empty()) {
        error = session->parameters_.LoadFile(options.parametersFile);
        if (!error.empty()) return nullptr;
    }
    for (const std::string& assignment : options.parameters) {
        error = session->parameters_.Assign(assignment, "-p");
        if (!error.empty()) return nullptr;
    }

    exitCode = ExitFailed;
    if (!options.logFile.empty() && !session->log_.OpenFile(options.logFile, error)) return nullptr;
    session->logFile_ = options.logFile;
    session->library_ = PluginLibrary::Load(options.plugin, error);
    if (!session->library_) return nullptr;
    {
        // The descriptor says which plug-in this is; it sends nothing.
        std::string infoError;
        PluginInfoPtr info = session->library_->GetPluginInfo(infoError);
        if (info) session->displayName_ = FromHostName(info->GetPluginName());
    }
    session->known_ = FindKnownPlugin(session->displayName_);
    if (options.endpoint && !session->library_->SetEndpoint(*options.endpoint)) {
        exitCode = ExitUsage;
        error = "--endpoint: the plug-in " + session->library_->Path() +
                " exports no Endpoint (only libRuvast and libGolmer do)";
        return nullptr;
    }
    if (options.verbose) {
        console.Line("plughost: loaded " + session->library_->Path() + " (" +
                     session->displayName_ + ")");
        if (session->library_->HasEndpoint())
            console.Line("plughost: Endpoint = " + session->library_->Endpoint().value_or(""));
        for (const auto& [key, shown] : session->parameters_.Printable())
            console.Line("plughost: parameter " + key + " = " + shown);
    }
    if (kind == InstanceKind::None) return session;

    if (session->known_ == nullptr) {
        console.Detail("plughost: '" + session->displayName_ +
                       "' is not a plug-in plughost knows; its parameters are not checked");
    } else {
        const std::string problem = ParameterProblem(*session->known_, session->parameters_);
        if (!problem.empty()) {
            exitCode = ExitUsage;
            error = problem;
            return nullptr;
        }
        session->endpoint_ =
            ResolveEndpoint(*session->known_, session->parameters_, session->library_->Endpoint());
        const EndpointFacts& endpoint = session->endpoint_;
        if (endpoint.url.empty())
            console.Detail("plughost: requests go to " + endpoint.source);
        else
            console.Detail("plughost: requests go to " + endpoint.url + " (" + endpoint.source +
                           ")");
        if (endpoint.schemeAdded)
            console.Detail("plughost: '" + endpoint.configured +
                           "' has no scheme: the SDK takes it as HTTPS, " + endpoint.url);
    }
    WarnAboutSecrets(options, session->parameters_, console);
    if (options.retries > 0) SetRetries(options.retries, console);
    return session;
}

bool Session::CreateInstance(InstanceKind kind, std::string& error) {
    if (kind != InstanceKind::Reading && kind != InstanceKind::Writing) return true;
    // Constructing an instance already talks to the service (it lists the buckets).
    const std::size_t mark = log_.Mark();
    IBackupDataRead* reader = nullptr;
    {
        const Activity::Call call(*activity_, "creating the instance");
        if (kind == InstanceKind::Writing) {
            writeInstance_ = library_->GetBackupDataWrite(&log_, &link_, error);
            reader = writeInstance_.get();
        } else {
            readInstance_ = library_->GetBackupDataRead(&log_, &link_, error);
            reader = readInstance_.get();
        }
    }
    if (reader == nullptr) {
        if (error.empty()) error = "the plug-in returned no storage instance";
        return false;
    }
    creationCause_ = DescribeLoggedCause(log_.LinesSince(mark), endpoint_);
    instance_ = std::make_unique<Instance>(*activity_, *reader, writeInstance_.get());
    return true;
}

std::string Session::CauseSince(std::size_t mark) const {
    const std::string cause = DescribeLoggedCause(log_.LinesSince(mark), endpoint_);
    if (!cause.empty()) return cause;
    if (!creationCause_.empty()) return "the bucket list could not be read: " + creationCause_;
    return "";
}

std::unique_ptr<DirectClient> Session::MakeDirectClient(bool quick, std::string& error) const {
    if (known_ == nullptr) {
        error = "plughost does not know where '" + displayName_ + "' sends its requests";
        return nullptr;
    }
    std::string configured;
    switch (known_->endpoint) {
        case EndpointSource::ServerNameParameter:
        case EndpointSource::Fixed:
            configured = endpoint_.configured;
            break;
        case EndpointSource::Exported:
            configured = library_->Endpoint().value_or("");
            break;
        case EndpointSource::PerRegion:
            break;
    }
    return std::make_unique<DirectClient>(*known_, parameters_, configured, quick);
}

}  // namespace plughost
