#include "Report.h"

namespace plughost {

namespace {
std::string Headline(const Failure& failure) {
    return failure.operation + " of '" + failure.path + "' failed: " + failure.detail;
}
}  // namespace

std::string ResultName(int code) {
    switch (code) {
        case 0:
            return "Success (0)";
        case 1:
            return "Failure (1)";
        case 3:
            return "NotFound (3)";
        case 5:
            return "EndOfData (5)";
        case 6:
            return "NotSupported (6)";
        default:
            return "result " + std::to_string(code);
    }
}

Report::Report(Console& console) : console_(console) {}

void Report::Fail(Failure failure) {
    console_.Line("plughost: error: " + Headline(failure));
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back(std::move(failure));
}

bool Report::Ok() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_.empty();
}

std::size_t Report::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_.size();
}

void Report::PrintList() const {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool verbose = console_.Verbose();
    if (failures_.size() < 2 && !(verbose && !failures_.empty())) return;
    console_.Line("plughost: " + std::to_string(failures_.size()) +
                  (failures_.size() == 1 ? " failure:" : " failures:"));
    for (const Failure& failure : failures_) {
        console_.Line("  " + Headline(failure));
        if (!verbose) continue;
        for (const std::string& line : failure.logLines)
            console_.Line("      the plug-in logged: " + line);
    }
}

}  // namespace plughost
