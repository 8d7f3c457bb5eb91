#include <aws/core/utils/DateTime.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace Aws {
namespace Utils {
namespace {
using Clock = std::chrono::system_clock;

const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Reads exactly `count` digits at `s[pos]`.
bool ReadDigits(const Aws::String& s, size_t& pos, int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (pos >= s.size() || !std::isdigit(static_cast<unsigned char>(s[pos]))) return false;
        value = value * 10 + (s[pos] - '0');
        ++pos;
    }
    return true;
}

bool Expect(const Aws::String& s, size_t& pos, char c) {
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

bool ValidFields(const std::tm& tm) {
    return tm.tm_mon >= 0 && tm.tm_mon < 12 && tm.tm_mday >= 1 && tm.tm_mday <= 31 &&
           tm.tm_hour >= 0 && tm.tm_hour <= 23 && tm.tm_min >= 0 && tm.tm_min <= 59 &&
           tm.tm_sec >= 0 && tm.tm_sec <= 60;
}

// Offset suffix: "Z", "+hh:mm", "-hh:mm", "+hhmm" or "-hhmm"; gives seconds east of UTC.
bool ReadZone(const Aws::String& s, size_t& pos, long& offsetSeconds) {
    offsetSeconds = 0;
    if (Expect(s, pos, 'Z')) return pos == s.size();
    if (pos >= s.size() || (s[pos] != '+' && s[pos] != '-')) return false;
    int sign = s[pos] == '-' ? -1 : 1;
    ++pos;
    int hours = 0;
    int minutes = 0;
    if (!ReadDigits(s, pos, 2, hours)) return false;
    Expect(s, pos, ':');
    if (!ReadDigits(s, pos, 2, minutes)) return false;
    offsetSeconds = sign * (hours * 3600L + minutes * 60L);
    return pos == s.size();
}

// ISO 8601, extended ("2024-01-01T00:00:00.123Z") or basic ("20240101T000000Z"). A fraction
// of 1 to 9 digits is accepted and dropped: the result is whole seconds.
bool ParseIso8601(const Aws::String& s, bool basic, std::time_t& out) {
    std::tm tm{};
    size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadDigits(s, pos, 4, year)) return false;
    if (!basic && !Expect(s, pos, '-')) return false;
    if (!ReadDigits(s, pos, 2, month)) return false;
    if (!basic && !Expect(s, pos, '-')) return false;
    if (!ReadDigits(s, pos, 2, day)) return false;
    if (!Expect(s, pos, 'T')) return false;
    if (!ReadDigits(s, pos, 2, hour)) return false;
    if (!basic && !Expect(s, pos, ':')) return false;
    if (!ReadDigits(s, pos, 2, minute)) return false;
    if (!basic && !Expect(s, pos, ':')) return false;
    if (!ReadDigits(s, pos, 2, second)) return false;
    if (Expect(s, pos, '.')) {
        size_t digits = 0;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 9) return false;
    }
    long offset = 0;
    if (!ReadZone(s, pos, offset)) return false;
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    if (!ValidFields(tm)) return false;
    out = timegm(&tm) - offset;
    return true;
}

// RFC 822 / 1123 as in HTTP dates: "Wed, 02 Oct 2002 08:05:09 GMT" (day name optional).
bool ParseRfc822(const Aws::String& s, std::time_t& out) {
    Aws::String rest = s;
    size_t comma = rest.find(',');
    if (comma != Aws::String::npos) rest = rest.substr(comma + 1);
    char monthName[4] = {0};
    char zone[8] = {0};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    int consumed = 0;
    if (std::sscanf(rest.c_str(), " %d %3s %d %d:%d:%d %7s%n", &day, monthName, &year, &hour,
                    &minute, &second, zone, &consumed) != 7) {
        return false;
    }
    if (std::strcmp(zone, "GMT") != 0 && std::strcmp(zone, "UTC") != 0 &&
        std::strcmp(zone, "Z") != 0) {
        return false;
    }
    int month = -1;
    for (int i = 0; i < 12; ++i) {
        if (std::strcmp(monthName, kMonthNames[i]) == 0) month = i;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    if (!ValidFields(tm)) return false;
    out = timegm(&tm);
    return true;
}

std::tm ToTm(Clock::time_point tp, bool localTime) {
    std::time_t t = Clock::to_time_t(tp);
    std::tm tm{};
    if (localTime) {
        localtime_r(&t, &tm);
    } else {
        gmtime_r(&t, &tm);
    }
    return tm;
}

Aws::String Format(Clock::time_point tp, const char* formatStr, bool localTime) {
    std::tm tm = ToTm(tp, localTime);
    char buffer[128];
    size_t len = std::strftime(buffer, sizeof(buffer), formatStr, &tm);
    return Aws::String(buffer, len);
}

const char* FormatFor(DateFormat format) {
    switch (format) {
        case DateFormat::RFC822:
            return "%a, %d %b %Y %H:%M:%S GMT";
        case DateFormat::ISO_8601_BASIC:
            return "%Y%m%dT%H%M%SZ";
        case DateFormat::ISO_8601:
        case DateFormat::AutoDetect:
        default:
            return "%Y-%m-%dT%H:%M:%SZ";
    }
}
}  // namespace

DateTime::DateTime() : m_time(std::chrono::milliseconds(0)), m_valid(true) {}

DateTime::DateTime(const std::chrono::system_clock::time_point& timepointToAssign)
    : m_time(timepointToAssign), m_valid(true) {}

DateTime::DateTime(int64_t millisSinceEpoch)
    : m_time(std::chrono::milliseconds(millisSinceEpoch)), m_valid(true) {}

DateTime::DateTime(double epochMillis)
    : m_time(std::chrono::milliseconds(static_cast<int64_t>(epochMillis * 1000))), m_valid(true) {}

DateTime::DateTime(const Aws::String& timestamp, DateFormat format) : m_valid(false) {
    std::time_t t = 0;
    bool ok = false;
    switch (format) {
        case DateFormat::ISO_8601:
            ok = ParseIso8601(timestamp, false, t);
            break;
        case DateFormat::ISO_8601_BASIC:
            ok = ParseIso8601(timestamp, true, t);
            break;
        case DateFormat::RFC822:
            ok = ParseRfc822(timestamp, t);
            break;
        case DateFormat::AutoDetect:
            ok = ParseIso8601(timestamp, false, t) || ParseIso8601(timestamp, true, t) ||
                 ParseRfc822(timestamp, t);
            break;
    }
    // The clock counts nanoseconds: a time beyond about 292 years either side of 1970 does not
    // fit it, so such a timestamp is no more usable than an unparsable one.
    const auto limit =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::duration::max()).count();
    if (ok && (t > limit || t < -limit)) ok = false;
    m_valid = ok;
    m_time = ok ? Clock::from_time_t(t) : Clock::time_point(std::chrono::milliseconds(0));
}

DateTime::DateTime(const char* timestamp, DateFormat format)
    : DateTime(Aws::String(timestamp ? timestamp : ""), format) {}

bool DateTime::operator==(const DateTime& other) const { return m_time == other.m_time; }
bool DateTime::operator<(const DateTime& other) const { return m_time < other.m_time; }
bool DateTime::operator>(const DateTime& other) const { return m_time > other.m_time; }
bool DateTime::operator!=(const DateTime& other) const { return m_time != other.m_time; }
bool DateTime::operator<=(const DateTime& other) const { return m_time <= other.m_time; }
bool DateTime::operator>=(const DateTime& other) const { return m_time >= other.m_time; }

DateTime DateTime::operator+(const std::chrono::milliseconds& a) const {
    return DateTime(m_time + a);
}

DateTime DateTime::operator-(const std::chrono::milliseconds& a) const {
    return DateTime(m_time - a);
}

DateTime& DateTime::operator=(double secondsSinceEpoch) {
    *this = DateTime(secondsSinceEpoch);
    return *this;
}

DateTime& DateTime::operator=(int64_t millisSinceEpoch) {
    *this = DateTime(millisSinceEpoch);
    return *this;
}

DateTime& DateTime::operator=(const std::chrono::system_clock::time_point& timepointToAssign) {
    m_time = timepointToAssign;
    m_valid = true;
    return *this;
}

Aws::String DateTime::ToLocalTimeString(DateFormat format) const {
    return Format(m_time, FormatFor(format), true);
}

Aws::String DateTime::ToLocalTimeString(const char* formatStr) const {
    return Format(m_time, formatStr, true);
}

Aws::String DateTime::ToGmtString(DateFormat format) const {
    return Format(m_time, FormatFor(format), false);
}

Aws::String DateTime::ToGmtString(const char* formatStr) const {
    return Format(m_time, formatStr, false);
}

double DateTime::SecondsWithMSPrecision() const { return static_cast<double>(Millis()) / 1000.0; }

int64_t DateTime::Seconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(m_time.time_since_epoch()).count();
}

int64_t DateTime::Millis() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_time.time_since_epoch()).count();
}

std::chrono::system_clock::time_point DateTime::UnderlyingTimestamp() const { return m_time; }

int DateTime::GetYear(bool localTime) const { return ToTm(m_time, localTime).tm_year + 1900; }
Month DateTime::GetMonth(bool localTime) const {
    return static_cast<Month>(ToTm(m_time, localTime).tm_mon);
}
int DateTime::GetDay(bool localTime) const { return ToTm(m_time, localTime).tm_mday; }
DayOfWeek DateTime::GetDayOfWeek(bool localTime) const {
    return static_cast<DayOfWeek>(ToTm(m_time, localTime).tm_wday);
}
int DateTime::GetHour(bool localTime) const { return ToTm(m_time, localTime).tm_hour; }
int DateTime::GetMinute(bool localTime) const { return ToTm(m_time, localTime).tm_min; }
int DateTime::GetSecond(bool localTime) const { return ToTm(m_time, localTime).tm_sec; }

DateTime DateTime::Now() { return DateTime(Clock::now()); }

int64_t DateTime::CurrentTimeMillis() { return Now().Millis(); }

Aws::String DateTime::CalculateLocalTimestampAsString(const char* formatStr) {
    return Now().ToLocalTimeString(formatStr);
}

Aws::String DateTime::CalculateGmtTimestampAsString(const char* formatStr) {
    return Now().ToGmtString(formatStr);
}

std::chrono::milliseconds DateTime::Diff(const DateTime& a, const DateTime& b) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(a.m_time - b.m_time);
}
}  // namespace Utils
}  // namespace Aws
