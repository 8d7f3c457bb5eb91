#include "testhost/RecordingLog.h"

#include <cstdarg>
#include <cwchar>

#include "torvik/Strings.h"

namespace testhost {

void RecordingLog::Write(int severity, const wchar_t* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({severity, Torvik::strings::WstrToUTF8(text ? text : L"")});
}

void RecordingLog::WriteFormatted(int severity, const wchar_t* format, ...) {
    // Only the conversions the host documents are expanded; anything else stays as written,
    // so a plug-in passing an unsupported one shows up in the recorded text.
    std::wstring text;
    va_list args;
    va_start(args, format);
    for (const wchar_t* p = format ? format : L""; *p != L'\0'; ++p) {
        if (*p != L'%' || p[1] == L'\0') {
            text.push_back(*p);
            continue;
        }
        const wchar_t conversion = *++p;
        if (conversion == L's') {
            const wchar_t* argument = va_arg(args, const wchar_t*);
            text += argument ? argument : L"(null)";
        } else if (conversion == L'd') {
            text += std::to_wstring(va_arg(args, int));
        } else if (conversion == L'%') {
            text.push_back(L'%');
        } else {
            text.push_back(L'%');
            text.push_back(conversion);
        }
    }
    va_end(args);
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({severity, Torvik::strings::WstrToUTF8(text)});
}

std::vector<std::string> RecordingLog::Texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const Line& line : lines_) texts.push_back(line.text);
    return texts;
}

bool RecordingLog::Contains(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Line& line : lines_) {
        if (line.text.find(text) != std::string::npos) return true;
    }
    return false;
}

void RecordingLog::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

}  // namespace testhost
