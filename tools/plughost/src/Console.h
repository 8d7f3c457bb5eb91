// Standard error as the tool shares it between messages, the plug-in's log lines and a
// progress line that is redrawn in place on a terminal. Several threads write to it (the
// command, the plug-in's log, the thread that redraws the progress and handles signals), so
// every write is one locked step and lines never interleave.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace plughost {

// How much the tool says besides errors and the summary.
enum class Verbosity {
    Quiet,    // -q: errors and the summary only
    Normal,   // notes, warnings and progress as well
    Verbose,  // -v: one line per file, every line the plug-in logs, parameters asked for
};

class Console {
  public:
    // `stream` is borrowed; `isTerminal` decides whether a status line may be redrawn in place.
    Console(std::FILE* stream, bool isTerminal, Verbosity verbosity = Verbosity::Normal);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool IsTerminal() const { return isTerminal_; }
    Verbosity GetVerbosity() const { return verbosity_; }
    void SetVerbosity(Verbosity verbosity) { verbosity_ = verbosity; }
    bool Verbose() const { return verbosity_ == Verbosity::Verbose; }

    // One complete line, whatever the verbosity (errors, summaries); a status line on show is
    // cleared first and drawn again afterwards, so messages never end up in the middle of it.
    void Line(const std::string& text);
    // A line for the normal and verbose levels (notes, warnings).
    void Note(const std::string& text);
    // A line for the verbose level only.
    void Detail(const std::string& text);

    // Replaces the status line (terminal only; ignored otherwise).
    void Status(const std::string& text);
    void ClearStatus();

    // Removes the status line and keeps every later write from any thread but the caller's
    // out, so that what an emergency stop prints last stays last. Not undone.
    void Seal();

  private:
    bool Allowed() const;
    void EraseStatus();
    void DrawStatus();

    mutable std::recursive_mutex mutex_;
    std::FILE* stream_;
    bool isTerminal_;
    Verbosity verbosity_;
    std::string status_;
    bool statusShown_ = false;
    bool sealed_ = false;
    std::thread::id sealedFor_;
};

}  // namespace plughost
