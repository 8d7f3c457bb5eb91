#include "torvik/OpenedFile.h"

#include <limits>

OpenedFile::OpenedFile(const FileAccessMode::ID& mode) : mode_(mode) {}

OpenedFile::~OpenedFile() = default;

AllOpenedFiles::AllOpenedFiles() : nextHandle_(1) {}

AllOpenedFiles::~AllOpenedFiles() {
    // Release in handle order so that the outcome of tearing down a table does not depend on
    // the map's internals.
    while (!files.empty()) files.erase(files.begin());
}

unsigned int AllOpenedFiles::add(OpenedFile* file) {
    std::shared_ptr<OpenedFile> owned(file);
    // Handles count upwards and skip 0 and any number still in use, so a closed handle is not
    // handed out again until the counter wraps.
    while (nextHandle_ == 0 || files.count(nextHandle_) != 0) ++nextHandle_;
    const unsigned int handle = nextHandle_++;
    files.emplace(handle, std::move(owned));
    return handle;
}
