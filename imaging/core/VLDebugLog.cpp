// The library's debug log.
#include "imaging/core/VLDebugLog.h"

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

String DebugLogFileName;
bool DebugLogToStdErr = false;

namespace {

// "yyyy-mm-dd hh:nn:ss" of a TDateTime (days since 30 December 1899).
std::string DateTimeText(TDateTime Value) {
    const auto days = static_cast<int64_t>(std::floor(Value));
    auto seconds = static_cast<int64_t>(std::llround((Value - static_cast<double>(days)) * 86400));
    // Civil date from a day count, counted from 1 March of year 0 so that leap days come last.
    const int64_t z = days - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    seconds = std::min<int64_t>(seconds, 86399);
    char text[96];
    std::snprintf(text, sizeof(text), "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

void AppendToFile(const String& FileName, const std::string& Line) {
    try {
        TFileStream file(FileName, FileExists(FileName) ? fmOpenWrite : fmCreate);
        file.Seek(0, soEnd);
        file.WriteBuffer(Line.data(), static_cast<int64_t>(Line.size()));
    } catch (const Exception&) {
        // A log that cannot be written must not stop the work being logged.
    }
}

std::mutex& LogLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

void DebugLog(const String& Msg) {
    if (DebugLogFileName.empty() && !DebugLogToStdErr) return;
    const std::string line = DateTimeText(Now()) + " " + Utf8FromStr(Msg) + "\n";
    std::lock_guard guard(LogLock());
    if (DebugLogToStdErr) {
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
    if (!DebugLogFileName.empty()) AppendToFile(DebugLogFileName, line);
}
