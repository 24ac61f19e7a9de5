// Creation dates of the document writers.
#include "imaging/formats/VLDocumentDate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

TVLDocumentClock CurrentClock = nullptr;

// The broken-down date and time of a TDateTime (days since 30 December 1899): rounded to the
// millisecond, the seconds then truncated, as the class library decodes it.
struct TDateParts {
    int32_t Year, Month, Day, WeekDay, Hour, Minute, Second;
};

TDateParts DecodeDateTime(TDateTime Value) {
    // Years 1 to 9999, the class library's range.
    const double days0 = std::isfinite(Value) ? std::clamp(Value, -693593.0, 2958466.0) : 0.0;
    const double ms = std::round(days0 * 86400000.0);
    const auto seconds = static_cast<int64_t>(std::floor(ms / 1000.0));
    const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const int64_t secondOfDay = seconds - days * 86400;
    // Days since 1 March of year 0 in the proleptic Gregorian calendar, then the civil date.
    const int64_t z = days + 693899; // 30 December 1899 is day 693899 after 1 March 0000
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    // 30 December 1899 was a Saturday (6 with Sunday 0).
    const int64_t weekDay = ((days + 6) % 7 + 7) % 7;
    return {static_cast<int32_t>(year),
            static_cast<int32_t>(month),
            static_cast<int32_t>(day),
            static_cast<int32_t>(weekDay),
            static_cast<int32_t>(secondOfDay / 3600),
            static_cast<int32_t>(secondOfDay / 60 % 60),
            static_cast<int32_t>(secondOfDay % 60)};
}

} // namespace

void SetDocumentClock(TVLDocumentClock Clock) {
    CurrentClock = Clock;
}

TDateTime DocumentNow() {
    return CurrentClock != nullptr ? CurrentClock() : Now();
}

AnsiString PSDateText(TDateTime Value) {
    static const char* const dayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const TDateParts d = DecodeDateTime(Value);
    char text[64];
    std::snprintf(text, sizeof(text), "%s %s %02d %02d:%02d:%02d %04d", dayNames[d.WeekDay],
                  monthNames[d.Month - 1], d.Day, d.Hour, d.Minute, d.Second, d.Year);
    return text;
}

AnsiString PDFDateText(TDateTime Value) {
    const TDateParts d = DecodeDateTime(Value);
    char text[64];
    std::snprintf(text, sizeof(text), "%04d%02d%02d%02d%02d%02d", d.Year, d.Month, d.Day, d.Hour,
                  d.Minute, d.Second);
    return text;
}
