#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace plughost {

namespace {

constexpr double MiB = 1024.0 * 1024.0;
constexpr auto BarInterval = std::chrono::milliseconds(200);
constexpr auto LineInterval = std::chrono::seconds(5);

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
    return static_cast<int>(100.0 * static_cast<double>(state.doneBytes) /
                            static_cast<double>(state.totalBytes));
}

std::size_t TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col - 1;
    return 79;
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
    const int barWidth = 20;
    const int filled = percent * barWidth / 100;
    std::string bar = "[" + std::string(filled, '#') + std::string(barWidth - filled, '-') + "]";
    char figures[64];
    std::snprintf(figures, sizeof figures, " %3d%%  ", percent);
    std::string line = bar + figures + FormatBytes(state.doneBytes) + "/" +
                       FormatBytes(state.totalBytes) + "  " +
                       FormatRate(state.doneBytes, state.elapsedSeconds) + "  ETA " + Eta(state) +
                       "  " + std::to_string(state.doneFiles) + "/" +
                       std::to_string(state.totalFiles) + " " + state.currentName;
    if (line.size() > width) {
        line.resize(width);
        // Do not leave half a UTF-8 sequence at the cut.
        while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80)
            line.pop_back();
        if (!line.empty() && (static_cast<unsigned char>(line.back()) & 0x80) != 0) line.pop_back();
    }
    return line;
}

std::string RenderLine(const ProgressState& state) {
    return "progress: " + std::to_string(Percent(state)) + "% (" + FormatBytes(state.doneBytes) +
           " of " + FormatBytes(state.totalBytes) + "), " + std::to_string(state.doneFiles) +
           " of " + std::to_string(state.totalFiles) + " files, " +
           FormatRate(state.doneBytes, state.elapsedSeconds) + ", ETA " + Eta(state);
}

Progress::Progress(Console& console, ProgressMode mode, Clock clock)
    : console_(console), mode_(mode), clock_(std::move(clock)) {
    if (mode_ == ProgressMode::Auto)
        mode_ = console_.IsTerminal() ? ProgressMode::Bar : ProgressMode::Lines;
    if (mode_ == ProgressMode::Bar && !console_.IsTerminal()) mode_ = ProgressMode::Lines;
    start_ = lastShown_ = clock_();
}

void Progress::Begin(std::uint64_t totalFiles, std::uint64_t totalBytes) {
    state_ = ProgressState{};
    state_.totalFiles = totalFiles;
    state_.totalBytes = totalBytes;
    start_ = lastShown_ = clock_();
    Update(true);
}

void Progress::StartFile(const std::string& name) {
    state_.currentName = name;
    Update(false);
}

void Progress::AddBytes(std::uint64_t bytes) {
    state_.doneBytes += bytes;
    Update(false);
}

void Progress::FinishFile() {
    ++state_.doneFiles;
    Update(false);
}

void Progress::End() {
    state_.elapsedSeconds = ElapsedSeconds();
    if (mode_ == ProgressMode::Bar) console_.ClearStatus();
}

double Progress::ElapsedSeconds() const {
    return std::chrono::duration<double>(clock_() - start_).count();
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
    state_.elapsedSeconds = std::chrono::duration<double>(now - start_).count();
    if (mode_ == ProgressMode::Bar) {
        console_.Status(RenderBar(state_, TerminalWidth()));
    } else if (!force) {
        // Plain lines only once there is something to say: a short job prints none.
        console_.Line(RenderLine(state_));
    }
}

}  // namespace plughost
