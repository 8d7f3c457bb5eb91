// Everything one command needs of a plug-in: the loaded library, what plughost knows of it,
// the host objects handed to the instance (parameters through ILink, the log), and the
// instance itself. Members are declared so that the instance is destroyed first (it may still
// write to the log while it finishes) and the library is unloaded last; an instance that still
// has a file open for writing is never destroyed, as that would complete the upload.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Activity.h"
#include "Arguments.h"
#include "Console.h"
#include "DirectClient.h"
#include "HostLog.h"
#include "Instance.h"
#include "KnownPlugins.h"
#include "Parameters.h"
#include "Plugin.h"

namespace plughost {

// A further storage instance of the session's plug-in, for a thread of its own: its own log
// (so that a failure collects only what its instance said) and its own parameter link.
class Worker {
  public:
    Worker(Console& console, const ParameterSet& parameters, Activity& activity);
    // An instance with an upload still open is left as it is: destroying it would complete
    // the upload with what it holds.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    HostLog& Log() { return log_; }
    Instance& Storage() { return *instance_; }

  private:
    friend class Session;
    HostLog log_;
    ParameterLink link_;
    Activity& activity_;
    WriteInstancePtr writeInstance_;
    ReadInstancePtr readInstance_;
    std::unique_ptr<Instance> instance_;
};

class Session {
  public:
    // Reads the parameters, loads the plug-in, sets its Endpoint and checks the parameters
    // against what the plug-in reads (for a kind that needs them). Returns null with `error`
    // and `exitCode` set when a step fails. Nothing is sent.
    static std::unique_ptr<Session> Open(const GlobalOptions& options, InstanceKind kind,
                                         Console& console, Activity& activity, int& exitCode,
                                         std::string& error);

    // Creates the storage instance of a Reading or Writing kind (nothing for the others),
    // which already talks to the service. False with `error` set when there is none.
    bool CreateInstance(InstanceKind kind, std::string& error);

    // Another instance of `kind` (Reading or Writing), as CreateInstance makes it; may be
    // called on any thread. Null with `error` set when there is none.
    std::unique_ptr<Worker> CreateWorker(InstanceKind kind, std::string& error);

    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    PluginLibrary& Library() { return *library_; }
    HostLog& Log() { return log_; }
    Instance& Storage() { return *instance_; }
    // Null for a plug-in plughost does not know.
    const KnownPlugin* Known() const { return known_; }
    const std::string& DisplayName() const { return displayName_; }
    const EndpointFacts& Endpoint() const { return endpoint_; }
    const ParameterSet& Parameters() const { return parameters_; }

    // What the plug-in logged while the instance was created (it lists the buckets then),
    // described; "" when that went well.
    const std::string& CreationCause() const { return creationCause_; }

    // The cause of a failure from what the plug-in logged since `mark`, else from the
    // instance's creation, else "".
    std::string CauseSince(std::size_t mark) const;

    // plughost's own S3 client for this plug-in; null with `error` set for a plug-in it does
    // not know.
    std::unique_ptr<DirectClient> MakeDirectClient(bool quick, std::string& error) const;

  private:
    explicit Session(Console& console, bool verbose);

    std::unique_ptr<PluginLibrary> library_;
    ParameterSet parameters_;
    HostLog log_;
    ParameterLink link_;
    Activity* activity_ = nullptr;
    const KnownPlugin* known_ = nullptr;
    std::string displayName_;
    EndpointFacts endpoint_;
    std::string creationCause_;
    std::string logFile_;
    WriteInstancePtr writeInstance_;
    ReadInstancePtr readInstance_;
    std::unique_ptr<Instance> instance_;
};

}  // namespace plughost
