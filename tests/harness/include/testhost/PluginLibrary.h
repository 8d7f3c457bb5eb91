// Loads one built plug-in the way the host does: by file name, binding the entry points by
// their plain symbol names.
#pragma once

#include <string>

#include "host/HostInterfaces.h"

namespace testhost {

class PluginLibrary {
  public:
    // `name` is an add_plugin target ("Mardel", "PennatLoopback", ...); loads lib<name>.so from
    // the build tree with RTLD_NOW | RTLD_LOCAL. Throws std::runtime_error when it cannot.
    explicit PluginLibrary(const std::string& name);
    ~PluginLibrary();

    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Call the entry points. Each throws std::runtime_error when the symbol is missing.
    IPluginInfo* GetPluginInfo() const;
    IBackupDataWrite* GetBackupDataWrite(ILog* log, ILink* link) const;
    IBackupDataRead* GetBackupDataRead(ILog* log, ILink* link) const;

    // Address of an exported object or function, nullptr when the library does not define it.
    // For the exported `Endpoint` (a char*), Symbol<char*>("Endpoint") gives a char**.
    template <class T>
    T* Symbol(const char* name) const {
        return static_cast<T*>(RawSymbol(name));
    }
    void* RawSymbol(const char* name) const;

    const std::string& Path() const { return path_; }

    // Full path of lib<name>.so in the build tree, whether or not it exists.
    static std::string PathOf(const std::string& name);

  private:
    std::string path_;
    void* handle_;
};

// Port of the loopback endpoint built into the test variant of the fixed-endpoint plug-in
// (target PennatLoopback): a test starts FaultProxy(moto.Url(), FixedEndpointPort()) there.
int FixedEndpointPort();
// Port of the HTTPS loopback endpoint of target PennatLoopbackTls: a test starts
// TcpRelay(FixedEndpointTlsPort(), port of a TLS server) there.
int FixedEndpointTlsPort();

}  // namespace testhost
