// The function behind each row of the command table, by the file that holds it.
#pragma once

#include <string>
#include <vector>

namespace plughost {

struct Context;

// InfoCommand.cpp
int Info(Context& context);
// ListCommands.cpp: ls, stat
int List(Context& context);
int Stat(Context& context);
// FolderCommands.cpp: mkdir, rm, rmdir
int MakeFolder(Context& context);
int RemoveFile(Context& context);
int RemoveFolder(Context& context);
// FileCommands.cpp: put, get
int Put(Context& context);
int Get(Context& context);
// BackupCommand.cpp, RestoreCommand.cpp, VerifyCommand.cpp
int Backup(Context& context);
int Restore(Context& context);
int Verify(Context& context);
// UploadCommands.cpp: uploads, abort-uploads
int ListUploads(Context& context);
int AbortUploads(Context& context);

}  // namespace plughost
