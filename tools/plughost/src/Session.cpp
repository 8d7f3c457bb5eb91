#include "Session.h"

#include "Commands.h"

namespace plughost {

Session::Session(Console& console, bool verbose)
    : log_(console), link_(parameters_, console, verbose) {}

std::unique_ptr<Session> Session::Open(const GlobalOptions& options, InstanceKind kind,
                                       Console& console, int& exitCode, std::string& error) {
    std::unique_ptr<Session> session(new Session(console, options.verbose));
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
    session->library_ = PluginLibrary::Load(options.plugin, error);
    if (!session->library_) return nullptr;
    if (options.endpoint && !session->library_->SetEndpoint(*options.endpoint)) {
        exitCode = ExitUsage;
        error = "--endpoint: the plug-in " + session->library_->Path() +
                " exports no Endpoint (only libRuvast and libGolmer do)";
        return nullptr;
    }
    if (options.verbose) {
        console.Line("plughost: loaded " + session->library_->Path());
        if (session->library_->HasEndpoint())
            console.Line("plughost: Endpoint = " + session->library_->Endpoint().value_or(""));
        for (const auto& [key, shown] : session->parameters_.Printable())
            console.Line("plughost: parameter " + key + " = " + shown);
    }

    if (kind == InstanceKind::None) return session;
    // Constructing an instance already talks to the service (it lists the buckets).
    if (kind == InstanceKind::Writing) {
        session->writeInstance_ =
            session->library_->GetBackupDataWrite(&session->log_, &session->link_, error);
        session->reader_ = session->writeInstance_.get();
    } else {
        session->readInstance_ =
            session->library_->GetBackupDataRead(&session->log_, &session->link_, error);
        session->reader_ = session->readInstance_.get();
    }
    if (session->reader_ == nullptr) {
        if (error.empty()) error = "the plug-in returned no storage instance";
        return nullptr;
    }
    return session;
}

}  // namespace plughost
