// The plug-in's descriptor: constants only, the display name from the active profile.
#pragma once

#include "host/HostInterfaces.h"

class PluginInfo final : public IPluginInfo {
  public:
    std::wstring GetPluginVersion() const override;
    std::wstring GetPluginName() const override;
    AuthParamsHandle GetPluginAuthParams() const override;
    int GetPluginFeatures() const override;
    std::int32_t GetFileSystemType() const override;
    std::int32_t GetCategory() const override;
    bool IsSeekFileSupported() const override;
    bool IsMoveFileSupported() const override;
    bool IsConfigurable() const override;
};
