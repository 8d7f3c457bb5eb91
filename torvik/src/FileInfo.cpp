#include "torvik/FileInfo.h"

CFileAttributes::CFileAttributes()
    : creationTime(0),
      accessTime(0),
      modificationTime(0),
      size(0),
      attributes(0),
      creationTimeValid(false),
      accessTimeValid(false),
      timeValid(false),
      sizeValid(false),
      reservedFlags(0) {}

CFileInfo::CFileInfo() = default;
