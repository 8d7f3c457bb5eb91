#include "testhost/PluginLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>

namespace testhost {
namespace {

template <class Function>
Function Resolve(void* handle, const char* name, const std::string& path) {
    void* address = dlsym(handle, name);
    if (address == nullptr) throw std::runtime_error(path + " does not export " + name);
    return reinterpret_cast<Function>(address);
}

}  // namespace

std::string PluginLibrary::PathOf(const std::string& name) {
    // The deliverables live next to each other; the loopback test variants are built with the
    // harness.
    const std::string file = "lib" + name + ".so";
    const std::string inPlugins = std::string(PLUGINS_DIR) + "/" + file;
    const std::string inHarness = std::string(TEST_PLUGINS_DIR) + "/" + file;
    if (access(inPlugins.c_str(), F_OK) != 0 && access(inHarness.c_str(), F_OK) == 0) {
        return inHarness;
    }
    return inPlugins;
}

PluginLibrary::PluginLibrary(const std::string& name)
    : path_(PathOf(name)), handle_(dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load " + path_ + ": " + (reason ? reason : "?"));
    }
}

PluginLibrary::~PluginLibrary() { dlclose(handle_); }

IPluginInfo* PluginLibrary::GetPluginInfo() const {
    return Resolve<GetPluginInfoFunction>(handle_, "GetPluginInfo", path_)();
}

IBackupDataWrite* PluginLibrary::GetBackupDataWrite(ILog* log, ILink* link) const {
    return Resolve<GetBackupDataWriteFunction>(handle_, "GetBackupDataWrite", path_)(log, link);
}

IBackupDataRead* PluginLibrary::GetBackupDataRead(ILog* log, ILink* link) const {
    return Resolve<GetBackupDataReadFunction>(handle_, "GetBackupDataRead", path_)(log, link);
}

void* PluginLibrary::RawSymbol(const char* name) const { return dlsym(handle_, name); }

int FixedEndpointPort() { return PLUGINS_TEST_FIXED_PORT; }

int FixedEndpointTlsPort() { return PLUGINS_TEST_FIXED_TLS_PORT; }

}  // namespace testhost
