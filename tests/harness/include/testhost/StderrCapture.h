// Captures what the process writes to its standard error: the deliverables that report upload
// failures as plain text write them there rather than to the host's log.
#pragma once

#include <string>

namespace testhost {

class StderrCapture {
  public:
    // Starts capturing: from here on, file descriptor 2 goes to an unlinked temporary file.
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Restores standard error and returns everything written meanwhile; later calls return the
    // same text.
    std::string Stop();

  private:
    int file = -1;
    int saved = -1;
    std::string text;
};

}  // namespace testhost
