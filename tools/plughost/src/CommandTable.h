// The commands of the tool, their operands and options, and the help texts built from them.
#pragma once

#include <string>
#include <vector>

namespace plughost {

enum CommandOption : unsigned {
    NoOptions = 0,
    RecursiveOption = 1,  // -R, --recursive
    ParentsOption = 2,    // --parents
    BackupOptions = 4,    // --checksum, --delete, --dry-run
    UploadIdOption = 8,   // --upload-id ID
};

enum class InstanceKind {
    None,     // needs no storage instance (info)
    Reading,  // GetBackupDataRead
    Writing,  // GetBackupDataWrite
    Direct,   // no instance: plughost's own S3 client, configured as the plug-in would be
};

struct CommandSpec {
    const char* name;
    const char* operands;  // as shown in the usage line
    const char* summary;
    const char* details;
    int minOperands;
    int maxOperands;
    InstanceKind instance;
    unsigned options;
};

const std::vector<CommandSpec>& Commands();
const CommandSpec* FindCommand(const std::string& name);

std::string UsageLine(const CommandSpec& command);
std::string GeneralHelp();
std::string CommandHelp(const CommandSpec& command);

}  // namespace plughost
