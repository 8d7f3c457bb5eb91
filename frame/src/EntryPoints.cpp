// The storage instance's entry points. Both build the same object; an exception from its
// construction reaches the host unchanged, with the memory already freed by `new`.
#include "frame/PluginImplementation.h"
#include "host/Export.h"

PLUGIN_EXPORT IBackupDataWrite* GetBackupDataWrite(ILog* log, ILink* link) {
    return new PluginImplementation(log, link);
}

PLUGIN_EXPORT IBackupDataRead* GetBackupDataRead(ILog* log, ILink* link) {
    // The read side is a virtual base: the conversion, not a cast of the address, finds it.
    IBackupDataWrite* instance = new PluginImplementation(log, link);
    return instance;
}
