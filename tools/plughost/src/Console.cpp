#include "Console.h"

#include <thread>

namespace plughost {

Console::Console(std::FILE* stream, bool isTerminal, Verbosity verbosity)
    : stream_(stream), isTerminal_(isTerminal), verbosity_(verbosity) {}

Console::~Console() { ClearStatus(); }

bool Console::Allowed() const { return !sealed_ || std::this_thread::get_id() == sealedFor_; }

void Console::Line(const std::string& text) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!Allowed()) return;
    EraseStatus();
    std::fputs(text.c_str(), stream_);
    std::fputc('\n', stream_);
    DrawStatus();
    std::fflush(stream_);
}

void Console::Note(const std::string& text) {
    if (verbosity_ != Verbosity::Quiet) Line(text);
}

void Console::Detail(const std::string& text) {
    if (verbosity_ == Verbosity::Verbose) Line(text);
}

void Console::Status(const std::string& text) {
    if (!isTerminal_) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!Allowed()) return;
    status_ = text;
    EraseStatus();
    DrawStatus();
    std::fflush(stream_);
}

void Console::ClearStatus() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!Allowed()) return;
    EraseStatus();
    status_.clear();
    std::fflush(stream_);
}

void Console::Seal() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    EraseStatus();
    // The terminal has echoed "^C" onto the line, status or not.
    if (isTerminal_) std::fputs("\r\033[K", stream_);
    status_.clear();
    std::fflush(stream_);
    sealed_ = true;
    sealedFor_ = std::this_thread::get_id();
}

void Console::EraseStatus() {
    if (!statusShown_) return;
    // Carriage return, then erase to the end of the line.
    std::fputs("\r\033[K", stream_);
    statusShown_ = false;
}

void Console::DrawStatus() {
    if (!isTerminal_ || status_.empty()) return;
    std::fputs(status_.c_str(), stream_);
    statusShown_ = true;
}

}  // namespace plughost
