#pragma once

// Marks the few names a plug-in exports to the host; everything else is hidden.
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
