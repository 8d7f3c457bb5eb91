#include "HostLog.h"

#include <ctime>

#include "torvik/Strings.h"

namespace plughost {

std::wstring ExpandHostFormat(const wchar_t* format, va_list arguments) {
    std::wstring result;
    if (format == nullptr) return result;
    for (const wchar_t* p = format; *p != L'\0'; ++p) {
        if (*p != L'%') {
            result += *p;
            continue;
        }
        const wchar_t conversion = p[1];
        if (conversion == L's') {
            const wchar_t* text = va_arg(arguments, const wchar_t*);
            result += text != nullptr ? text : L"(null)";
            ++p;
        } else if (conversion == L'd') {
            result += std::to_wstring(va_arg(arguments, int));
            ++p;
        } else if (conversion == L'%') {
            result += L'%';
            ++p;
        } else {
            result += L'%';
        }
    }
    return result;
}

HostLog::HostLog(Console& console) : console_(console) {}

bool HostLog::OpenFile(const std::string& path, std::string& error) {
    file_.open(path, std::ios::out | std::ios::app);
    if (!file_) {
        error = "cannot open log file '" + path + "' for appending";
        return false;
    }
    return true;
}

void HostLog::Write(int severity, const wchar_t* text) {
    Emit(severity, text != nullptr ? std::wstring(text) : std::wstring(L"(null)"));
}

void HostLog::WriteFormatted(int severity, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::wstring text = ExpandHostFormat(format, arguments);
    va_end(arguments);
    Emit(severity, text);
}

std::size_t HostLog::Mark() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return firstKept_ + kept_.size();
}

std::vector<std::string> HostLog::LinesSince(std::size_t mark) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    const std::size_t start = mark > firstKept_ ? mark - firstKept_ : 0;
    for (std::size_t i = start; i < kept_.size(); ++i) lines.push_back(kept_[i]);
    return lines;
}

void HostLog::Emit(int severity, const std::wstring& text) {
    const std::string utf8 = Torvik::strings::WstrToUTF8(text);
    const std::string line = "[" + std::to_string(severity) + "] " + utf8;
    std::lock_guard<std::mutex> lock(mutex_);
    console_.Detail("plug-in log " + line);
    if (file_.is_open()) {
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
        file_ << stamp << ' ' << line << '\n';
        file_.flush();
    }
    kept_.push_back(line);
    if (kept_.size() > MaxKept) {
        kept_.pop_front();
        ++firstKept_;
    }
}

}  // namespace plughost
