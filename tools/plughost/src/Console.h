// Standard error as the tool shares it between messages, the plug-in's log lines and a
// progress line that is redrawn in place on a terminal.
#pragma once

#include <cstdio>
#include <string>

namespace plughost {

class Console {
  public:
    // `stream` is borrowed; `isTerminal` decides whether a status line may be redrawn in place.
    Console(std::FILE* stream, bool isTerminal);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool IsTerminal() const { return isTerminal_; }

    // One complete line; a status line on show is cleared first and drawn again afterwards,
    // so messages never end up in the middle of it.
    void Line(const std::string& text);

    // Replaces the status line (terminal only; ignored otherwise).
    void Status(const std::string& text);
    void ClearStatus();

  private:
    void EraseStatus();
    void DrawStatus();

    std::FILE* stream_;
    bool isTerminal_;
    std::string status_;
    bool statusShown_ = false;
};

}  // namespace plughost
