// One file streamed through a plug-in instance in host-sized blocks: OpenFile, WriteFile or
// ReadFile until EndOfData, CloseFile; every result is checked, and a failure carries what the
// plug-in logged while the file was on its way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "HostLog.h"
#include "Progress.h"
#include "Report.h"
#include "Sinks.h"
#include "frame/HostInterfaces.h"

namespace plughost {

class Transfer {
  public:
    // `blockSize` is the size of each WriteFile and ReadFile block.
    Transfer(HostLog& log, Progress& progress, std::size_t blockSize);

    // Stores the local file under `storagePath` (normalized, bucket first).
    std::optional<Failure> Upload(IBackupDataWrite& instance, const std::filesystem::path& local,
                                  const std::string& storagePath);

    // Reads the stored file into `sink`. With `expectedSize` (the size the listing gave), a
    // different number of bytes delivered is a failure.
    std::optional<Failure> Download(IBackupDataRead& instance, const std::string& storagePath,
                                    std::optional<std::uint64_t> expectedSize, ByteSink& sink);

  private:
    Failure Make(const std::string& path, const std::string& operation, std::string detail,
                 std::size_t mark) const;

    HostLog& log_;
    Progress& progress_;
    std::vector<unsigned char> buffer_;
};

}  // namespace plughost
