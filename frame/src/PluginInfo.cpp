#include "frame/PluginInfo.h"

#include "base/ProviderProfile.h"
#include "host/Export.h"

namespace {
// Values of host enumerations that the plug-ins report without using them.
constexpr std::int32_t kObjectStorageFileSystem = 3;
constexpr std::int32_t kCloudStorageCategory = 4;
}  // namespace

std::wstring PluginInfo::GetPluginVersion() const { return L"1.0"; }

std::wstring PluginInfo::GetPluginName() const { return ActiveProfile().displayName; }

AuthParamsHandle PluginInfo::GetPluginAuthParams() const { return nullptr; }

int PluginInfo::GetPluginFeatures() const { return 0; }

std::int32_t PluginInfo::GetFileSystemType() const { return kObjectStorageFileSystem; }

std::int32_t PluginInfo::GetCategory() const { return kCloudStorageCategory; }

bool PluginInfo::IsSeekFileSupported() const { return false; }

bool PluginInfo::IsMoveFileSupported() const { return false; }

bool PluginInfo::IsConfigurable() const { return true; }

PLUGIN_EXPORT IPluginInfo* GetPluginInfo() { return new PluginInfo(); }
