// One plug-in library, loaded by file name and bound by its exported symbol names, exactly as
// the backup application binds it; and owning pointers that end host objects with Destroy().
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"

namespace plughost {

template <class Interface>
struct DestroyObject {
    void operator()(Interface* object) const {
        if (object != nullptr) object->Destroy();
    }
};
using PluginInfoPtr = std::unique_ptr<IPluginInfo, DestroyObject<IPluginInfo>>;
using WriteInstancePtr = std::unique_ptr<IBackupDataWrite, DestroyObject<IBackupDataWrite>>;
using ReadInstancePtr = std::unique_ptr<IBackupDataRead, DestroyObject<IBackupDataRead>>;

// The file names tried for a plug-in given as `name`, in order. A name with a '/' is a path
// and used as it stands. Otherwise each directory of `searchPath` (colon-separated, as
// PLUGHOST_PLUGIN_PATH) and then `installedFolder` (when not empty) is tried with the name
// itself and with "lib<name>.so", then the current directory, and last the bare name, which the
// dynamic loader looks up in its own search path.
std::vector<std::string> PluginCandidates(const std::string& name, const std::string& searchPath,
                                          const std::string& installedFolder);

// The folder an installed plughost's plug-ins are in: the path from the program's folder to the
// plug-ins' is fixed when the package is built, so the installed tree may be moved as a whole.
// In the build tree that folder does not exist, and is passed over. Empty when the program's
// own path cannot be read.
std::string InstalledPluginFolder();

class PluginLibrary {
  public:
    // Loads the library (RTLD_NOW | RTLD_LOCAL) and resolves its three entry points. Returns
    // null with `error` set when that fails.
    static std::unique_ptr<PluginLibrary> Load(const std::string& name, std::string& error);

    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& Path() const { return path_; }

    // The exported Endpoint, for plug-ins that have one.
    bool HasEndpoint() const { return endpoint_ != nullptr; }
    std::optional<std::string> Endpoint() const;
    // Points the exported Endpoint at a copy of `host`, which this object keeps alive; the
    // plug-in reads it whenever it configures a client. Returns false without an Endpoint.
    bool SetEndpoint(const std::string& host);

    // The entry points. An exception escaping a plug-in is caught and reported in `error`
    // (the instance constructors may let one through); the result is then null.
    PluginInfoPtr GetPluginInfo(std::string& error) const;
    WriteInstancePtr GetBackupDataWrite(ILog* log, ILink* link, std::string& error) const;
    ReadInstancePtr GetBackupDataRead(ILog* log, ILink* link, std::string& error) const;

  private:
    PluginLibrary(void* handle, std::string path);

    void* handle_;
    std::string path_;
    GetPluginInfoFunction getPluginInfo_ = nullptr;
    GetBackupDataWriteFunction getBackupDataWrite_ = nullptr;
    GetBackupDataReadFunction getBackupDataRead_ = nullptr;
    char** endpoint_ = nullptr;
    char* originalEndpoint_ = nullptr;
    std::vector<char> endpointText_;
};

}  // namespace plughost
