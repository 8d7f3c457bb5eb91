#include "Console.h"

namespace plughost {

Console::Console(std::FILE* stream, bool isTerminal) : stream_(stream), isTerminal_(isTerminal) {}

Console::~Console() { ClearStatus(); }

void Console::Line(const std::string& text) {
    EraseStatus();
    std::fputs(text.c_str(), stream_);
    std::fputc('\n', stream_);
    DrawStatus();
    std::fflush(stream_);
}

void Console::Status(const std::string& text) {
    if (!isTerminal_) return;
    status_ = text;
    EraseStatus();
    DrawStatus();
    std::fflush(stream_);
}

void Console::ClearStatus() {
    EraseStatus();
    status_.clear();
    std::fflush(stream_);
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
