// The commands of the tool: one row each, with its operands and options, the check of its
// storage path made before anything is loaded, its help text and the function that runs it.
// The handlers live one file per command or pair of commands.
#pragma once

#include <string>
#include <vector>

namespace plughost {

struct Context;

enum CommandOption : unsigned {
    NoOptions = 0,
    RecursiveOption = 1,   // -R, --recursive
    ParentsOption = 2,     // --parents
    BackupOptions = 4,     // --delete, --dry-run, --max-delete N
    UploadIdOption = 8,    // --upload-id ID
    ChecksumOption = 16,   // --checksum
    OverwriteOption = 32,  // --overwrite WHEN
};

enum class InstanceKind {
    None,     // needs no storage instance (info)
    Reading,  // GetBackupDataRead
    Writing,  // GetBackupDataWrite
    Direct,   // no instance: plughost's own S3 client, configured as the plug-in would be
};

// What the storage path operand must name, checked before the plug-in is loaded.
enum class PathNeed {
    None,            // no storage operand, or any path (the root included)
    BucketOrFolder,  // a tree's root: a bucket, or a folder in one
    File,            // a file below a bucket
    FolderBelow,     // a folder below a bucket (a plug-in cannot delete buckets)
    PutTarget,       // a file below a bucket; a trailing separator names the local file's name
};

using CommandHandler = int (*)(Context&);

struct CommandSpec {
    const char* name;
    const char* operands;  // as shown in the usage line
    const char* summary;
    const char* details;
    int minOperands;
    int maxOperands;
    InstanceKind instance;
    unsigned options;
    int storageOperand;  // index of the storage path operand; -1 when there is none
    PathNeed need;
    CommandHandler handler;
};

const std::vector<CommandSpec>& Commands();
const CommandSpec* FindCommand(const std::string& name);

std::string UsageLine(const CommandSpec& command);
std::string GeneralHelp();
std::string CommandHelp(const CommandSpec& command);

}  // namespace plughost
