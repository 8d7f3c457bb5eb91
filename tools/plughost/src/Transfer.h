// One file streamed through a plug-in instance in host-sized blocks: OpenFile, WriteFile or
// ReadFile until EndOfData, CloseFile; every result is checked, and a failure carries what the
// plug-in logged while the file was on its way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "HostLog.h"
#include "Instance.h"
#include "Manifest.h"
#include "Progress.h"
#include "Report.h"
#include "Sinks.h"

namespace plughost {

class Transfer {
  public:
    // `blockSize` is the size of each WriteFile and ReadFile block.
    Transfer(HostLog& log, Progress& progress, std::size_t blockSize);

    // Stores the local file under `storagePath` (normalized, bucket first). With `hash`, the
    // bytes sent are hashed as they go. A local read error leaves the upload open in the
    // instance rather than closing it, since closing would store the part read so far.
    std::optional<Failure> Upload(Instance& instance, const std::filesystem::path& local,
                                  const std::string& storagePath, Sha256* hash = nullptr);

    // The same from an open stream (standard input for "put -"), named `name` in messages.
    std::optional<Failure> Upload(Instance& instance, std::FILE* file, const std::string& name,
                                  const std::string& storagePath, Sha256* hash = nullptr);

    // Stores `data` under `storagePath`.
    std::optional<Failure> UploadBytes(Instance& instance, const std::string& data,
                                       const std::string& storagePath);

    // Reads the stored file into `sink`. With `expectedSize` (the size the listing gave), a
    // different number of bytes delivered is a failure. With `hash`, the bytes are hashed.
    std::optional<Failure> Download(Instance& instance, const std::string& storagePath,
                                    std::optional<std::uint64_t> expectedSize, ByteSink& sink,
                                    Sha256* hash = nullptr);

    // The bytes the last Upload sent or the last Download delivered.
    std::uint64_t Moved() const { return moved_; }

    // Where the bytes of an upload come from.
    class Source;

  private:
    std::optional<Failure> Send(Instance& instance, Source& source, const std::string& storagePath,
                                Sha256* hash);
    Failure Make(const std::string& path, const std::string& operation, std::string detail,
                 std::size_t mark) const;

    HostLog& log_;
    Progress& progress_;
    std::vector<unsigned char> buffer_;
    std::uint64_t moved_ = 0;
};

}  // namespace plughost
