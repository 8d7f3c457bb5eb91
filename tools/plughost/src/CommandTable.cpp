#include "CommandTable.h"

#include "CommandHandlers.h"

namespace plughost {

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = {
        {"info", "[PLUGIN]", "show the plug-in's descriptor and the parameters it reads",
         "Loads the plug-in and prints what its descriptor reports: name, version, features,\n"
         "file-system type, category (each number with its meaning), whether seeking, moving\n"
         "and configuration are supported, and the exported Endpoint where it has one; then the\n"
         "parameters the plug-in reads, in the order it reads them, and what each is. No\n"
         "storage instance is created, so nothing is sent over the network. PLUGIN may be given\n"
         "here instead of with --plugin.\n",
         0, 1, InstanceKind::None, NoOptions, -1, PathNeed::None, Info},
        {"ls", "[-R] [STORAGE_PATH]", "list a folder (the buckets when no path is given) or a file",
         "Prints one line per entry: 'd' for a bucket or folder, '-' for a file, the size, the\n"
         "modification time (UTC) and the name. With -R (--recursive) every folder below is\n"
         "listed too, each entry with its path relative to STORAGE_PATH. A STORAGE_PATH that\n"
         "names a file lists that file; one that is not there is reported as not found (exit\n"
         "status 1).\n",
         0, 1, InstanceKind::Reading, RecursiveOption, 0, PathNeed::None, List},
        {"stat", "STORAGE_PATH", "show the attributes of a bucket, folder or file",
         "Prints what GetElementAttributes answers: type, size in bytes, modification time,\n"
         "attribute bits. A name stored both as a file and as a folder is shown both ways.\n"
         "Exits with 1 when the element is not found.\n",
         1, 1, InstanceKind::Reading, NoOptions, 0, PathNeed::None, Stat},
        {"mkdir", "[--parents] STORAGE_PATH", "create a folder",
         "Creates the folder with CreateFolder. With --parents each folder on the way below the\n"
         "bucket is created first. Buckets cannot be created through a plug-in.\n",
         1, 1, InstanceKind::Writing, ParentsOption, 0, PathNeed::None, MakeFolder},
        {"rm", "STORAGE_PATH", "delete a file",
         "Deletes one stored file with DeleteFile and says so. A file that is not there is an\n"
         "error (exit status 1), as is a folder (use rmdir); of a name stored both as a file and\n"
         "as a folder, the file is deleted.\n",
         1, 1, InstanceKind::Writing, NoOptions, 0, PathNeed::File, RemoveFile},
        {"rmdir", "STORAGE_PATH", "delete a folder and everything in it",
         "Deletes the folder with DeleteFolder, which removes every object below it (as far as\n"
         "one listing of the service reaches), not only an empty folder, and says how many\n"
         "files and folders went with it.\n",
         1, 1, InstanceKind::Writing, NoOptions, 0, PathNeed::FolderBelow, RemoveFolder},
        {"put", "LOCAL_FILE STORAGE_PATH", "upload one file ('-' for standard input)",
         "Streams LOCAL_FILE into STORAGE_PATH in blocks of --block-size; LOCAL_FILE '-' reads\n"
         "standard input (give STORAGE_PATH in full). A STORAGE_PATH ending in '/' stores the\n"
         "file under its own name in that folder; one that names a stored folder is refused\n"
         "(end it with '/'). The bucket and the name are checked before anything is read.\n"
         "Interrupted (Ctrl-C, SIGTERM, SIGHUP), it stores nothing, aborts the incomplete upload\n"
         "it began, and says whether the service keeps any.\n",
         2, 2, InstanceKind::Writing, NoOptions, 1, PathNeed::PutTarget, Put},
        {"get", "STORAGE_PATH LOCAL_FILE", "download one file",
         "Reads STORAGE_PATH into LOCAL_FILE ('-' for standard output). When LOCAL_FILE is an\n"
         "existing folder or ends in '/', the file goes into it under its stored name; missing\n"
         "folders on the way are created. The file appears only once it is complete. When the\n"
         "manifest of a backup (in the file's folder or the nearest one above) has the file, it\n"
         "must arrive with the recorded size and SHA-256, else nothing is written (exit status\n"
         "1), and it gets the recorded mode, modification time and, run as root, owner. Of a\n"
         "name stored both as a file and as a folder, the file is read.\n",
         2, 2, InstanceKind::Reading, NoOptions, 0, PathNeed::File, Get},
        {"backup", "[--checksum] [--delete] [--max-delete N] [--dry-run] LOCAL_DIR STORAGE_PATH",
         "back up a folder tree",
         "Creates every folder of LOCAL_DIR below STORAGE_PATH with CreateFolder and uploads\n"
         "every file, then stores a manifest (.plughost-manifest: type, mode, size, modification\n"
         "time, SHA-256, owner and group, link target and path of each entry) in STORAGE_PATH.\n"
         "STORAGE_PATH is a bucket, or a folder in one that is created when missing. A later\n"
         "backup sends only what changed: a file still stored with the manifest's size, whose\n"
         "size and modification time match the manifest, is skipped.\n"
         "  --checksum      compare SHA-256 hashes instead of modification times (reads every\n"
         "                  such file)\n"
         "  --delete        delete stored files and folders that are gone from LOCAL_DIR\n"
         "  --max-delete N  delete nothing when the run would delete more than N stored entries\n"
         "                  (replacements and entries below a deleted folder count); no limit\n"
         "                  by default\n"
         "  --dry-run       print what would be sent, created and deleted, and send nothing\n"
         "Deletions (--delete, and a name stored as a file where a folder now is, or the reverse)\n"
         "go after every upload, and not at all when anything in the run failed: the run then\n"
         "says 'deleted nothing' and exits with 1, as it does above --max-delete.\n"
         "Symbolic links are recorded in the manifest, never followed, and no object is stored\n"
         "for them. Hard links are stored as separate files; extended attributes and ACLs are\n"
         "not kept; special files (devices, fifos, sockets) are skipped and listed.\n"
         "One backup of STORAGE_PATH runs at a time: it keeps a lock (.plughost-lock) there,\n"
         "renewed hourly, and another backup refuses to start; a lock not renewed for 6 hours,\n"
         "or left by a process of this host that is gone, is taken over. Stopped (Ctrl-C,\n"
         "SIGTERM, SIGHUP), a backup stores the manifest of what it stored so far, marked\n"
         "partial; after a crash, its journal under $XDG_STATE_HOME/plughost/ (default\n"
         "~/.local/state/plughost/) lets the next run skip what was already stored.\n",
         2, 2, InstanceKind::Writing, BackupOptions | ChecksumOption, 1, PathNeed::BucketOrFolder,
         Backup},
        {"restore", "[--overwrite WHEN] [--checksum] STORAGE_PATH LOCAL_DIR",
         "restore a folder tree",
         "Recreates the tree below STORAGE_PATH (or the one file it names) in LOCAL_DIR (created\n"
         "when missing) and gives files, folders and symbolic links the modes, modification\n"
         "times and, run as root, owners of the backup's manifest: the one in STORAGE_PATH, or\n"
         "the nearest above it. Links are made after every file. Each file is hashed as it\n"
         "arrives and put in place only when its size and SHA-256 are those the manifest\n"
         "records; a file of the manifest that is not stored, or arrives otherwise, is named,\n"
         "a local file in its place is left as it was, and the exit status is 1. A stored file\n"
         "the manifest lacks is restored and named extra. A backup that did not finish (a\n"
         "partial manifest) restores what it holds, says so and exits with 1. A tree stored\n"
         "without a manifest restores with default modes and the modification times the\n"
         "listing gives, and says so. Nothing below LOCAL_DIR is reached through a symbolic\n"
         "link, and nothing in it is deleted.\n"
         "  --overwrite WHEN  a file already in LOCAL_DIR: 'changed' (default) downloads it when\n"
         "                    it is not the backed-up one, 'always' downloads it, 'never' leaves\n"
         "                    it as it is\n"
         "  --checksum        a local file is the backed-up one when its size and SHA-256 match\n"
         "                    (reads it), not its size and modification time\n",
         2, 2, InstanceKind::Reading, ChecksumOption | OverwriteOption, 0, PathNeed::BucketOrFolder,
         Restore},
        {"verify", "LOCAL_DIR STORAGE_PATH", "compare a stored tree with a local one",
         "Reads every stored file back block by block, in memory, and compares it with the file\n"
         "in LOCAL_DIR and with the size and SHA-256 that the backup's manifest recorded. Prints\n"
         "every difference on standard output, one per line:\n"
         "  missing: PATH   in LOCAL_DIR but not stored\n"
         "  extra: PATH     stored but not in LOCAL_DIR\n"
         "  type: PATH      a folder on one side, a file on the other\n"
         "  size: PATH      the sizes differ\n"
         "  content: PATH   the bytes differ (the first differing offset is given)\n"
         "  manifest: PATH  the stored file is not what the manifest recorded, or only one of\n"
         "                  them has it\n"
         "A local symbolic link is compared with the manifest's ('missing' when it has none,\n"
         "'content' when the target differs). Modes, times and owners are not compared. Exits\n"
         "with 0 only when the trees are equal, every read succeeded and the manifest is not\n"
         "that of a backup that did not finish.\n",
         2, 2, InstanceKind::Reading, NoOptions, 1, PathNeed::BucketOrFolder, Verify},
        {"uploads", "STORAGE_PATH", "list incomplete multipart uploads",
         "Lists the multipart uploads that were begun under STORAGE_PATH (a bucket, or a key or\n"
         "folder in one) and neither completed nor aborted: start time (UTC), upload id, path.\n"
         "The plug-in interface cannot see them, so plughost asks the service with an S3 client\n"
         "of its own, at the plug-in's endpoint and with its credentials.\n",
         1, 1, InstanceKind::Direct, NoOptions, 0, PathNeed::BucketOrFolder, ListUploads},
        {"abort-uploads", "[--upload-id ID] STORAGE_PATH", "abort incomplete multipart uploads",
         "Aborts the incomplete multipart uploads under STORAGE_PATH (only upload ID with\n"
         "--upload-id), which frees the parts the service keeps for them, and names each one.\n"
         "Like 'uploads', it uses plughost's own S3 client.\n",
         1, 1, InstanceKind::Direct, UploadIdOption, 0, PathNeed::BucketOrFolder, AbortUploads},
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
    "                         $PLUGHOST_PLUGIN_PATH, the installed plug-ins' folder, the current\n"
    "                         folder and the loader's path (\"Mardel\" finds libMardel.so); not\n"
    "                         found, it says where it looked\n"
    "  -p, --param KEY=VALUE  a parameter the plug-in reads through ILink (repeatable);\n"
    "                         VALUE @env:NAME takes the value of environment variable NAME\n"
    "      --params FILE      parameters from FILE: KEY=VALUE lines, '#' starts a comment;\n"
    "                         -p given on the command line wins\n"
    "      --endpoint HOST    set the plug-in's exported Endpoint (libRuvast, libGolmer); without\n"
    "                         http:// or https:// the SDK uses HTTPS\n"
    "      --retries N        attempts per request (the SDK's standard retry mode with\n"
    "                         AWS_MAX_ATTEMPTS=N; the default mode makes 11 over about 51 s)\n"
    "      --timeout SECONDS  give up when one plug-in call has moved no data for SECONDS;\n"
    "                         without it, a call silent for 10 s is named every 10 s\n"
    "      --log FILE         append the plug-in's log lines to FILE as well\n"
    "      --block-size SIZE  bytes per WriteFile/ReadFile block (default 1M; K, M, G suffixes)\n"
    "      --transfers N      instances that backup, restore, verify and rmdir work on at once,\n"
    "                         each on a thread of its own (default 16, at most 64)\n"
    "      --memory SIZE      file data those instances may hold at once (default 448M)\n"
    "      --progress MODE    auto (default: a bar on a terminal, lines otherwise), bar, lines,\n"
    "                         none\n"
    "  -q, --quiet            print only errors and the summary\n"
    "  -v, --verbose          one line per file, the plug-in's whole log, each parameter the\n"
    "                         plug-in asks for (secrets masked)\n"
    "  -h, --help             this help; 'plughost COMMAND --help' for one command\n"
    "      --version          the tool's version\n";

const char ExitStatus[] =
    "Exit status: 0 when every operation succeeded; 1 when one failed, verify found a\n"
    "difference, a backup held its deletions back or --timeout gave up; 2 for a usage error;\n"
    "130 when interrupted (Ctrl-C), 143 on SIGTERM or SIGHUP.\n";
}  // namespace

std::string GeneralHelp() {
    std::string text =
        "usage: plughost [OPTIONS] COMMAND [ARGS]\n"
        "\n"
        "Loads a storage plug-in and drives it through the host interfaces, as the backup\n"
        "application does. Storage paths are 'bucket/folder/file' or 's3://bucket/folder/file'\n"
        "('/' or '\\' separators).\n"
        "\n"
        "Commands:\n";
    for (const CommandSpec& command : Commands()) {
        std::string left = std::string("  ") + command.name + " " + command.operands;
        if (left.size() < 34)
            left.resize(34, ' ');
        else
            left += "\n" + std::string(34, ' ');
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
