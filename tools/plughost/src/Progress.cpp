#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace plughost {

namespace {

constexpr double MiB = 1024.0 * 1024.0;
constexpr auto BarInterval = std::chrono::milliseconds(200);
constexpr auto LineInterval = std::chrono::seconds(5);
// A call this long with no byte moving is waiting for the service, not sending.
constexpr double WaitingAfterSeconds = 1.0;
// The name keeps at least this many columns before other fields give way.
constexpr std::size_t NameColumns = 24;

std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Eta(const ProgressState& state) {
    if (state.doneBytes == 0 || state.elapsedSeconds <= 0 || state.totalBytes < state.doneBytes)
        return FormatDuration(-1);
    const double rate = static_cast<double>(state.doneBytes) / state.elapsedSeconds;
    return FormatDuration(static_cast<double>(state.totalBytes - state.doneBytes) / rate);
}

int Percent(const ProgressState& state) {
    if (state.totalBytes == 0) return state.totalFiles == 0 ? 100 : 0;
    return static_cast<int>(100.0 *
                            static_cast<double>(std::min(state.doneBytes, state.totalBytes)) /
                            static_cast<double>(state.totalBytes));
}

std::size_t TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col - 1;
    return 79;
}

// Columns of UTF-8 text, one per character.
std::size_t Columns(const std::string& text) {
    std::size_t columns = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;
    return columns;
}

// The last `columns` characters of `text`, after an ellipsis, when it is longer.
std::string Tail(const std::string& text, std::size_t columns) {
    if (Columns(text) <= columns) return text;
    if (columns == 0) return "";
    std::size_t keep = columns - 1;  // the ellipsis takes one
    std::size_t at = text.size();
    while (keep > 0 && at > 0) {
        --at;
        while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
        --keep;
    }
    return "\u2026" + text.substr(at);
}

std::string Graphic(int percent, int width) {
    const int filled = percent * width / 100;
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
}

}  // namespace

std::string FormatBytes(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    return Printf(value < 10 ? "%.2f" : "%.1f", value) + " " + units[unit];
}

std::string FormatDuration(double seconds) {
    if (seconds < 0) return "--:--";
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string FormatRate(std::uint64_t bytes, double seconds) {
    if (seconds <= 0) return "-";
    return Printf("%.1f", static_cast<double>(bytes) / MiB / seconds) + " MiB/s";
}

std::string RenderBar(const ProgressState& state, std::size_t width) {
    const int percent = Percent(state);
    char percentText[16];
    std::snprintf(percentText, sizeof percentText, "%3d%%", percent);
    const std::string bytes = FormatBytes(state.doneBytes) + "/" + FormatBytes(state.totalBytes);
    const std::string rate = FormatRate(state.doneBytes, state.elapsedSeconds);
    const std::string eta = state.waiting.empty() ? "ETA " + Eta(state) : state.waiting;
    const std::string count =
        std::to_string(state.doneFiles) + "/" + std::to_string(state.totalFiles);

    // From the fullest layout down, the first that leaves the name its room.
    struct Layout {
        int graphic;  // 0: none
        bool rate, eta, count;
    };
    const Layout layouts[] = {{20, true, true, true},  {10, true, true, true},
                              {10, true, false, true}, {0, true, false, true},
                              {0, false, false, true}, {0, false, false, false}};
    std::string line;
    for (const Layout& layout : layouts) {
        std::vector<std::string> fields;
        if (layout.graphic > 0) fields.push_back(Graphic(percent, layout.graphic));
        fields.push_back(percentText);
        fields.push_back(bytes);
        if (layout.rate) fields.push_back(rate);
        // While waiting, the waiting is what matters, not the ETA.
        if (layout.eta || !state.waiting.empty()) fields.push_back(eta);
        if (layout.count) fields.push_back(count);
        line.clear();
        for (const std::string& field : fields) line += (line.empty() ? "" : "  ") + field;
        const std::size_t wanted = std::min(Columns(state.currentName), NameColumns);
        if (Columns(line) + 2 + wanted <= width || &layout == &layouts[5]) break;
    }
    if (!state.currentName.empty()) {
        const std::size_t used = Columns(line) + 2;
        if (used < width) line += "  " + Tail(state.currentName, width - used);
    }
    return Columns(line) <= width ? line : Tail(line, width);
}

std::string RenderLine(const ProgressState& state) {
    std::string line = "progress: " + std::to_string(Percent(state)) + "% (" +
                       FormatBytes(state.doneBytes) + " of " + FormatBytes(state.totalBytes) +
                       "), " + std::to_string(state.doneFiles) + " of " +
                       std::to_string(state.totalFiles) + " files, " +
                       FormatRate(state.doneBytes, state.elapsedSeconds) + ", ETA " + Eta(state);
    if (!state.waiting.empty()) line += ", " + state.waiting;
    return line;
}

Progress::Progress(Console& console, ProgressMode mode, Clock clock)
    : console_(console), mode_(mode), clock_(std::move(clock)) {
    if (console_.GetVerbosity() == Verbosity::Quiet) mode_ = ProgressMode::None;
    if (mode_ == ProgressMode::Auto)
        mode_ = console_.IsTerminal() ? ProgressMode::Bar : ProgressMode::Lines;
    if (mode_ == ProgressMode::Bar && !console_.IsTerminal()) mode_ = ProgressMode::Lines;
    start_ = lastShown_ = lastMoved_ = clock_();
}

void Progress::Begin(std::uint64_t totalFiles, std::uint64_t totalBytes, Direction direction) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = ProgressState{};
    state_.totalFiles = totalFiles;
    state_.totalBytes = totalBytes;
    direction_ = direction;
    finishedBytes_ = 0;
    lanes_.clear();
    start_ = lastShown_ = lastMoved_ = clock_();
    ended_ = false;
    Update(true);
}

void Progress::StartFile(const std::string& name, std::uint64_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.currentName = name;
    Lane& lane = lanes_[std::this_thread::get_id()];
    lane = Lane{};
    lane.size = size;
    lane.base = latest_;
    Update(false);
}

void Progress::AddBytes(std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    lanes_[std::this_thread::get_id()].handed += bytes;
    Update(false);
}

void Progress::FinishFile() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto lane = lanes_.find(std::this_thread::get_id());
    if (lane != lanes_.end()) {
        finishedBytes_ += lane->second.handed;
        lanes_.erase(lane);
    }
    ++state_.doneFiles;
    Update(false);
}

void Progress::FailFile() {
    std::lock_guard<std::mutex> lock(mutex_);
    lanes_.erase(std::this_thread::get_id());
    Update(false);
}

void Progress::End() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return;
    state_.elapsedSeconds = Elapsed();
    ended_ = true;
    if (mode_ == ProgressMode::Bar) console_.ClearStatus();
}

void Progress::Tick(const NetworkMeter::Totals& totals, const Activity::State& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = clock_();
    if (!haveTotals_ || totals.acknowledged != latest_.acknowledged ||
        totals.received != latest_.received)
        lastMoved_ = now;
    if (!haveTotals_)
        for (auto& [thread, lane] : lanes_) lane.base = totals;
    haveTotals_ = true;
    latest_ = totals;
    for (auto& [thread, lane] : lanes_)
        lane.wire = direction_ == Direction::Upload ? totals.acknowledged - lane.base.acknowledged
                                                    : totals.received - lane.base.received;
    const double idle = std::chrono::duration<double>(now - lastMoved_).count();
    state_.waiting.clear();
    if (call.inCall && call.seconds >= WaitingAfterSeconds && idle >= WaitingAfterSeconds)
        state_.waiting = "waiting for the service " +
                         std::to_string(static_cast<long>(std::min(idle, call.seconds))) + " s";
    if (!ended_) Update(false);
}

void Progress::AddFolder() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++folders_;
}

void Progress::AddUnchanged(std::uint64_t files) {
    std::lock_guard<std::mutex> lock(mutex_);
    unchanged_ += files;
}

void Progress::AddDeleted() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++deleted_;
}

std::uint64_t Progress::DoneBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finishedBytes_;
}

std::uint64_t Progress::DoneFiles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.doneFiles;
}

std::uint64_t Progress::Folders() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return folders_;
}

std::uint64_t Progress::Unchanged() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unchanged_;
}

std::uint64_t Progress::Deleted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deleted_;
}

double Progress::ElapsedSeconds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Elapsed();
}

double Progress::Elapsed() const {
    if (ended_) return state_.elapsedSeconds;
    return std::chrono::duration<double>(clock_() - start_).count();
}

ProgressState Progress::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    ProgressState state = state_;
    state.doneBytes = finishedBytes_ + CurrentConfirmed();
    state.elapsedSeconds = Elapsed();
    return state;
}

std::uint64_t Progress::CurrentConfirmed() const {
    // The counters are the process's: they tell one file's progress only while it is alone.
    if (lanes_.size() != 1) {
        std::uint64_t handed = 0;
        for (const auto& [thread, lane] : lanes_) handed += lane.handed;
        return handed;
    }
    const Lane& lane = lanes_.begin()->second;
    // An upload counts what the service acknowledged, never more than was handed over; a
    // download what arrived, which the plug-in may not have delivered yet.
    if (direction_ == Direction::Upload) return std::min(lane.handed, lane.wire);
    return std::max(lane.handed, std::min(lane.size, lane.wire));
}

void Progress::Update(bool force) {
    if (mode_ == ProgressMode::None) return;
    const auto now = clock_();
    const auto interval =
        mode_ == ProgressMode::Bar
            ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(BarInterval)
            : std::chrono::duration_cast<std::chrono::steady_clock::duration>(LineInterval);
    if (!force && now - lastShown_ < interval) return;
    lastShown_ = now;
    ProgressState shown = state_;
    shown.doneBytes = finishedBytes_ + CurrentConfirmed();
    shown.elapsedSeconds = std::chrono::duration<double>(now - start_).count();
    if (mode_ == ProgressMode::Bar) {
        console_.Status(RenderBar(shown, TerminalWidth()));
    } else if (!force) {
        // Plain lines only once there is something to say: a short job prints none.
        console_.Line(RenderLine(shown));
    }
}

}  // namespace plughost
