// Everything one command needs of a plug-in: the loaded library, the host objects handed to
// the instance (parameters through ILink, the log), and the instance itself. Members are
// declared so that the instance is destroyed first (it may still write to the log while it
// finishes) and the library is unloaded last.
#pragma once

#include <memory>
#include <string>

#include "Arguments.h"
#include "Console.h"
#include "HostLog.h"
#include "Parameters.h"
#include "Plugin.h"

namespace plughost {

class Session {
  public:
    // Reads the parameters, loads the plug-in, sets its Endpoint, and creates an instance of
    // the kind asked for. Returns null with `error` and `exitCode` set when a step fails.
    static std::unique_ptr<Session> Open(const GlobalOptions& options, InstanceKind kind,
                                         Console& console, int& exitCode, std::string& error);

    ~Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    PluginLibrary& Library() { return *library_; }
    HostLog& Log() { return log_; }
    IBackupDataRead& Reader() { return *reader_; }
    // Only for a session opened with InstanceKind::Writing.
    IBackupDataWrite& Writer() { return *writeInstance_; }

  private:
    explicit Session(Console& console, bool verbose);

    std::unique_ptr<PluginLibrary> library_;
    ParameterSet parameters_;
    HostLog log_;
    ParameterLink link_;
    WriteInstancePtr writeInstance_;
    ReadInstancePtr readInstance_;
    IBackupDataRead* reader_ = nullptr;
};

}  // namespace plughost
