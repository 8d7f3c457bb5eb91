#include "CommandTable.h"

namespace plughost {

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = {
        {"info", "[PLUGIN]", "show the plug-in's descriptor",
         "Loads the plug-in and prints what its descriptor reports: name, version, features,\n"
         "file-system type, category, whether seeking, moving and configuration are supported,\n"
         "and the exported Endpoint where it has one. No storage instance is created, so nothing\n"
         "is sent over the network. PLUGIN may be given here instead of with --plugin.\n",
         0, 1, InstanceKind::None, NoOptions},
        {"ls", "[-R] [STORAGE_PATH]", "list a folder (the buckets when no path is given)",
         "Prints one line per entry: 'd' for a bucket or folder, '-' for a file, the size, the\n"
         "modification time (UTC) and the name. With -R (--recursive) every folder below is\n"
         "listed too, each entry with its path relative to STORAGE_PATH.\n",
         0, 1, InstanceKind::Reading, RecursiveOption},
        {"stat", "STORAGE_PATH", "show the attributes of a bucket, folder or file",
         "Prints what GetElementAttributes answers: type, size, modification time, attribute\n"
         "bits. Exits with 1 when the element is not found.\n",
         1, 1, InstanceKind::Reading, NoOptions},
        {"mkdir", "[--parents] STORAGE_PATH", "create a folder",
         "Creates the folder with CreateFolder. With --parents each folder on the way below the\n"
         "bucket is created first. Buckets cannot be created through a plug-in.\n",
         1, 1, InstanceKind::Writing, ParentsOption},
        {"rm", "STORAGE_PATH", "delete a file", "Deletes one stored file with DeleteFile.\n", 1, 1,
         InstanceKind::Writing, NoOptions},
        {"rmdir", "STORAGE_PATH", "delete a folder and everything in it",
         "Deletes the folder with DeleteFolder, which removes every object below it (as far as\n"
         "one listing of the service reaches), not only an empty folder.\n",
         1, 1, InstanceKind::Writing, NoOptions},
        {"put", "LOCAL_FILE STORAGE_PATH", "upload one file",
         "Streams LOCAL_FILE into STORAGE_PATH in blocks of --block-size. A STORAGE_PATH ending\n"
         "in '/' stores the file under its own name in that folder.\n",
         2, 2, InstanceKind::Writing, NoOptions},
        {"get", "STORAGE_PATH LOCAL_FILE", "download one file",
         "Reads STORAGE_PATH into LOCAL_FILE ('-' for standard output; an existing folder\n"
         "receives the file under its stored name). The file appears only once it is complete.\n",
         2, 2, InstanceKind::Reading, NoOptions},
        {"backup", "LOCAL_DIR STORAGE_PATH", "back up a folder tree",
         "Creates every folder of LOCAL_DIR below STORAGE_PATH with CreateFolder and uploads "
         "every\n"
         "file. STORAGE_PATH is a bucket, or a folder in one that is created when missing.\n"
         "Symbolic links and special files are skipped and reported.\n",
         2, 2, InstanceKind::Writing, NoOptions},
        {"restore", "STORAGE_PATH LOCAL_DIR", "restore a folder tree",
         "Recreates the tree below STORAGE_PATH in LOCAL_DIR (created when missing), downloading\n"
         "every file. Files already in LOCAL_DIR are replaced.\n",
         2, 2, InstanceKind::Reading, NoOptions},
        {"verify", "LOCAL_DIR STORAGE_PATH", "compare a stored tree with a local one",
         "Reads every stored file back block by block, in memory, and compares it with the file\n"
         "in LOCAL_DIR. Prints every difference on standard output, one per line:\n"
         "  missing: PATH   in LOCAL_DIR but not stored\n"
         "  extra: PATH     stored but not in LOCAL_DIR\n"
         "  type: PATH      a folder on one side, a file on the other\n"
         "  size: PATH      the sizes differ\n"
         "  content: PATH   the bytes differ (the first differing offset is given)\n"
         "Exits with 0 only when the trees are equal and every read succeeded.\n",
         2, 2, InstanceKind::Reading, NoOptions},
    };
    return commands;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& command : Commands())
        if (name == command.name) return &command;
    return nullptr;
}

std::string UsageLine(const CommandSpec& command) {
    return std::string("usage: plughost [OPTIONS] ") + command.name + " " + command.operands;
}

namespace {
const char GlobalOptions[] =
    "Options (anywhere on the line):\n"
    "  -P, --plugin PATH      the plug-in library: a path, or a file name looked up in\n"
    "                         $PLUGHOST_PLUGIN_PATH, the current folder and the loader's path\n"
    "                         (\"Mardel\" finds libMardel.so)\n"
    "  -p, --param KEY=VALUE  a parameter the plug-in reads through ILink (repeatable);\n"
    "                         VALUE @env:NAME takes the value of environment variable NAME\n"
    "      --params FILE      parameters from FILE: KEY=VALUE lines, '#' starts a comment;\n"
    "                         -p given on the command line wins\n"
    "      --endpoint HOST    set the plug-in's exported Endpoint (libRuvast, libGolmer)\n"
    "      --log FILE         append the plug-in's log lines to FILE as well\n"
    "      --block-size SIZE  bytes per WriteFile/ReadFile block (default 1M; K and M suffixes)\n"
    "      --progress MODE    auto (default: a bar on a terminal, lines otherwise), bar, lines,\n"
    "                         none\n"
    "  -v, --verbose          show each parameter the plug-in asks for (secrets masked)\n"
    "  -h, --help             this help; 'plughost COMMAND --help' for one command\n"
    "      --version          the tool's version\n";

const char ExitStatus[] =
    "Exit status: 0 when every operation succeeded, 1 when one failed (or verify found a\n"
    "difference), 2 for a usage error.\n";
}  // namespace

std::string GeneralHelp() {
    std::string text =
        "usage: plughost [OPTIONS] COMMAND [ARGS]\n"
        "\n"
        "Loads a storage plug-in and drives it through the host interfaces, as the backup\n"
        "application does. Storage paths are 'bucket/folder/file' ('/' or '\\' separators).\n"
        "\n"
        "Commands:\n";
    for (const CommandSpec& command : Commands()) {
        std::string left = std::string("  ") + command.name + " " + command.operands;
        if (left.size() < 34) left.resize(34, ' ');
        text += left + " " + command.summary + "\n";
    }
    text += "\n";
    text += GlobalOptions;
    text += "\n";
    text += ExitStatus;
    text +=
        "\nExample:\n"
        "  plughost -P build/profiles/libMardel.so -p ServerName=http://127.0.0.1:9000 \\\n"
        "      -p AccessKeyID=@env:S3_KEY -p SecretAccessKey=@env:S3_SECRET -p Region=us-east-1 "
        "\\\n"
        "      backup ~/documents mybucket/documents\n";
    return text;
}

std::string CommandHelp(const CommandSpec& command) {
    return UsageLine(command) + "\n\n" + command.summary + ".\n\n" + command.details + "\n" +
           GlobalOptions + "\n" + ExitStatus;
}

}  // namespace plughost
