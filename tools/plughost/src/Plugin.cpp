#include "Plugin.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

namespace plughost {

namespace {

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

template <class Call>
auto Guarded(Call call, const char* entryPoint, std::string& error) -> decltype(call()) {
    try {
        return call();
    } catch (const std::exception& exception) {
        error = std::string(entryPoint) + " threw an exception: " + exception.what();
    } catch (...) {
        error = std::string(entryPoint) + " threw an exception of unknown type";
    }
    return nullptr;
}

}  // namespace

std::vector<std::string> PluginCandidates(const std::string& name, const std::string& searchPath,
                                          const std::string& installedFolder) {
    if (name.find('/') != std::string::npos) return {name};
    std::vector<std::string> names = {name};
    if (name.find(".so") == std::string::npos) names.push_back("lib" + name + ".so");
    std::vector<std::string> candidates;
    std::string::size_type start = 0;
    while (start <= searchPath.size() && !searchPath.empty()) {
        std::string::size_type end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        const std::string directory = searchPath.substr(start, end - start);
        if (!directory.empty())
            for (const std::string& file : names) candidates.push_back(directory + "/" + file);
        start = end + 1;
    }
    if (!installedFolder.empty())
        for (const std::string& file : names) candidates.push_back(installedFolder + "/" + file);
    for (const std::string& file : names) candidates.push_back("./" + file);
    candidates.push_back(name);
    return candidates;
}

std::string InstalledPluginFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "";
    return (program.parent_path() / PLUGHOST_PLUGIN_FOLDER).lexically_normal().string();
}

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::string& name, std::string& error) {
    if (name.empty()) {
        error = "no plug-in given (use --plugin PATH)";
        return nullptr;
    }
    const char* searchPath = std::getenv("PLUGHOST_PLUGIN_PATH");
    const std::vector<std::string> candidates =
        PluginCandidates(name, searchPath != nullptr ? searchPath : "", InstalledPluginFolder());
    std::string chosen;
    for (const std::string& candidate : candidates) {
        // The last candidate is left to the dynamic loader's own search.
        if (Exists(candidate) || &candidate == &candidates.back()) {
            chosen = candidate;
            break;
        }
    }
    dlerror();
    void* handle = dlopen(chosen.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = "cannot load plug-in '" + name + "': " + (reason != nullptr ? reason : "unknown");
        if (chosen == candidates.back() && candidates.size() > 1 && !Exists(chosen)) {
            // Not found anywhere: say where it was looked for.
            error = "plug-in '" + name + "' not found; looked for";
            for (std::size_t i = 0; i + 1 < candidates.size(); ++i)
                error += (i == 0 ? " " : ", ") + candidates[i];
            error += ", and '" + name +
                     "' in the loader's path (set PLUGHOST_PLUGIN_PATH, or give a path)";
        }
        return nullptr;
    }
    std::unique_ptr<PluginLibrary> library(new PluginLibrary(handle, chosen));
    library->getPluginInfo_ =
        reinterpret_cast<GetPluginInfoFunction>(dlsym(handle, "GetPluginInfo"));
    library->getBackupDataWrite_ =
        reinterpret_cast<GetBackupDataWriteFunction>(dlsym(handle, "GetBackupDataWrite"));
    library->getBackupDataRead_ =
        reinterpret_cast<GetBackupDataReadFunction>(dlsym(handle, "GetBackupDataRead"));
    library->endpoint_ = static_cast<char**>(dlsym(handle, "Endpoint"));
    if (library->endpoint_ != nullptr) library->originalEndpoint_ = *library->endpoint_;
    std::string missing;
    if (library->getPluginInfo_ == nullptr) missing += " GetPluginInfo";
    if (library->getBackupDataWrite_ == nullptr) missing += " GetBackupDataWrite";
    if (library->getBackupDataRead_ == nullptr) missing += " GetBackupDataRead";
    if (!missing.empty()) {
        error = "'" + chosen + "' is not a storage plug-in: it does not export" + missing;
        return nullptr;
    }
    return library;
}

PluginLibrary::PluginLibrary(void* handle, std::string path)
    : handle_(handle), path_(std::move(path)) {}

PluginLibrary::~PluginLibrary() {
    // The library may stay mapped (it can be in use elsewhere in the process), so it must not
    // keep a pointer into this object.
    if (endpoint_ != nullptr) *endpoint_ = originalEndpoint_;
    dlclose(handle_);
}

std::optional<std::string> PluginLibrary::Endpoint() const {
    if (endpoint_ == nullptr) return std::nullopt;
    return std::string(*endpoint_ != nullptr ? *endpoint_ : "");
}

bool PluginLibrary::SetEndpoint(const std::string& host) {
    if (endpoint_ == nullptr) return false;
    endpointText_.assign(host.begin(), host.end());
    endpointText_.push_back('\0');
    *endpoint_ = endpointText_.data();
    return true;
}

PluginInfoPtr PluginLibrary::GetPluginInfo(std::string& error) const {
    return PluginInfoPtr(Guarded([&] { return getPluginInfo_(); }, "GetPluginInfo", error));
}

WriteInstancePtr PluginLibrary::GetBackupDataWrite(ILog* log, ILink* link,
                                                   std::string& error) const {
    return WriteInstancePtr(
        Guarded([&] { return getBackupDataWrite_(log, link); }, "GetBackupDataWrite", error));
}

ReadInstancePtr PluginLibrary::GetBackupDataRead(ILog* log, ILink* link, std::string& error) const {
    return ReadInstancePtr(
        Guarded([&] { return getBackupDataRead_(log, link); }, "GetBackupDataRead", error));
}

}  // namespace plughost
