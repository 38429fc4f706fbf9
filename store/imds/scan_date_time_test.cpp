#include "store/imds/scan_date_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

constexpr int kUntouched = 77;

// The fields of struct tm a row expects; kUntouched means "left as the caller had it".
struct Fields {
  int year = kUntouched;
  int mon = kUntouched;
  int mday = kUntouched;
  int hour = kUntouched;
  int min = kUntouched;
  int sec = kUntouched;
  int wday = kUntouched;
  int yday = kUntouched;
};

struct ScanCase {
  const char* text;
  const char* format;
  int consumed;  // characters consumed; -1 when the scan must fail
  Fields expect;
};

std::tm Sentinel() {
  std::tm tm{};
  tm.tm_year = tm.tm_mon = tm.tm_mday = tm.tm_hour = tm.tm_min = tm.tm_sec = kUntouched;
  tm.tm_wday = tm.tm_yday = kUntouched;
  return tm;
}

Fields Date(int year, int mon, int mday) {
  Fields f;
  f.year = year;
  f.mon = mon;
  f.mday = mday;
  return f;
}

Fields Clock(int hour, int min, int sec = kUntouched) {
  Fields f;
  f.hour = hour;
  f.min = min;
  f.sec = sec;
  return f;
}

Fields Year(int year) {
  Fields f;
  f.year = year;
  return f;
}

Fields Hour(int hour) {
  Fields f;
  f.hour = hour;
  return f;
}

Fields Month(int mon) {
  Fields f;
  f.mon = mon;
  return f;
}

Fields Weekday(int wday) {
  Fields f;
  f.wday = wday;
  return f;
}

Fields Full(int year, int mon, int mday, int hour, int min, int sec) {
  Fields f = Date(year, mon, mday);
  f.hour = hour;
  f.min = min;
  f.sec = sec;
  return f;
}

const ScanCase kCases[] = {
    // The calendar format the date-time arithmetic uses.
    {"2024-01-31 23:30:00", "%Y-%m-%d %H:%M:%S", 19, Full(124, 0, 31, 23, 30, 0)},
    {"0099-12-01 00:00:00", "%Y-%m-%d %H:%M:%S", 19, Full(99 - 1900, 11, 1, 0, 0, 0)},
    // Names: full name before abbreviation, any case, first match consumed.
    {"Wednesday", "%A", 9, Weekday(3)},
    {"wed", "%a", 3, Weekday(3)},
    {"SUNDAY!", "%a", 6, Weekday(0)},
    {"Mon", "%A", 3, Weekday(1)},
    {"Funday", "%A", -1, {}},
    {"September", "%B", 9, Month(8)},
    {"sept", "%b", 3, Month(8)},
    {"dec", "%h", 3, Month(11)},
    {"Jun 5", "%b %e", 5, [] { Fields f = Month(5); f.mday = 5; return f; }()},
    // Century and two-digit year, in both orders.
    {"2024", "%C%y", 4, Year(124)},
    {"24 20", "%y %C", 5, Year(124)},
    {"19 99", "%C %y", 5, Year(99)},
    {"21 05", "%C %y", 5, Year(205)},
    {"05 21", "%y %C", 5, Year(205)},
    {"20", "%C", 2, Year(100)},
    {"68", "%y", 2, Year(168)},
    {"69", "%y", 2, Year(69)},
    {"00", "%y", 2, Year(100)},
    // Sub-formats.
    {"12/31/99", "%D", 8, Date(99, 11, 31)},
    {"01/02/03", "%x", 8, Date(103, 0, 2)},
    {"7:05", "%R", 4, Clock(7, 5)},
    {"23:59:60", "%T", 8, Clock(23, 59, 60)},
    {"23:59:59", "%X", 8, Clock(23, 59, 59)},
    {"12/31/99 23:59:59", "%c", 17, Full(99, 11, 31, 23, 59, 59)},
    {"01:02:03 PM", "%r", 11, Clock(13, 2, 3)},
    {"12:00:00 am", "%r", 11, Clock(0, 0, 0)},
    // 12-hour clock and %p.
    {"12", "%I", 2, Hour(0)},
    {"12", "%l", 2, Hour(0)},
    {"11 PM", "%I %p", 5, Hour(23)},
    {"12 pm", "%I %p", 5, Hour(12)},
    {"13 PM", "%H %p", -1, Hour(13)},
    {"10 PMx", "%I %p", -1, Hour(10)},
    {"10 XM", "%I %p", -1, Hour(10)},
    {"13", "%I", -1, {}},
    // Number reading: stops where another digit would pass the maximum or its width.
    {"45", "%d", 1, [] { Fields f; f.mday = 4; return f; }()},
    {"20245", "%Y", 4, Year(124)},
    {"366", "%j", 3, [] { Fields f; f.yday = 365; return f; }()},
    {"367", "%j", -1, {}},
    {"61", "%S", 2, Clock(kUntouched, kUntouched, 61)},
    {"62", "%S", -1, {}},
    {"0", "%m", -1, {}},
    {"00", "%m", -1, {}},
    {"x1", "%m", -1, {}},
    {"57", "%H %M", 2, Clock(5, 7)},
    {"23", "%k", 2, Hour(23)},
    {"24", "%H", -1, {}},
    {"6", "%w", 1, Weekday(6)},
    {"7", "%w", -1, {}},
    {"53", "%U", 2, {}},
    {"54", "%W", -1, {}},
    // Modifiers: E and O only where allowed, at most one.
    {"24", "%Ey", 2, Year(124)},
    {"24", "%Oy", 2, Year(124)},
    {"2024", "%EY", 4, Year(124)},
    {"2024", "%OY", -1, {}},
    {"10", "%OH", 2, Hour(10)},
    {"10", "%EH", -1, {}},
    {"10", "%Ok", -1, {}},
    {"24", "%EEy", -1, {}},
    {"24", "%EOy", -1, {}},
    {"%", "%E%", 1, {}},
    {"%", "%%", 1, {}},
    {"x", "%%", -1, {}},
    // Unknown directives and a lone "%".
    {"1", "%Q", -1, {}},
    {"1", "%z", -1, {}},
    {"1", "%", -1, {}},
    {"1", "%E", -1, {}},
    // White space and literals.
    {"  5", " %H", 3, Hour(5)},
    {"5\t\n 7", "%H %M", 5, Clock(5, 7)},
    {"5 \t7", "%H%n%M", 4, Clock(5, 7)},
    {"5", "%H%t", 1, Hour(5)},
    {"10-30", "%H:%M", -1, Hour(10)},
    {"10:30 rest", "%H:%M", 5, Clock(10, 30)},
};

TEST(ScanDateTime, EveryDirectiveOfTheTable) {
  for (const ScanCase& c : kCases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\" format \"" + c.format + "\"");
    std::tm tm = Sentinel();
    const char* end = ScanDateTime(c.text, c.format, &tm);
    if (c.consumed < 0) {
      EXPECT_EQ(end, nullptr);
    } else {
      EXPECT_EQ(end, c.text + c.consumed);
    }
    EXPECT_EQ(tm.tm_year, c.expect.year);
    EXPECT_EQ(tm.tm_mon, c.expect.mon);
    EXPECT_EQ(tm.tm_mday, c.expect.mday);
    EXPECT_EQ(tm.tm_hour, c.expect.hour);
    EXPECT_EQ(tm.tm_min, c.expect.min);
    EXPECT_EQ(tm.tm_sec, c.expect.sec);
    EXPECT_EQ(tm.tm_wday, c.expect.wday);
    EXPECT_EQ(tm.tm_yday, c.expect.yday);
  }
}

TEST(ScanDateTime, NullArgumentsFail) {
  std::tm tm = Sentinel();
  EXPECT_EQ(ScanDateTime(nullptr, "%H", &tm), nullptr);
  EXPECT_EQ(ScanDateTime("1", nullptr, &tm), nullptr);
  EXPECT_EQ(ScanDateTime("1", "%H", nullptr), nullptr);
  EXPECT_EQ(tm.tm_hour, kUntouched);
}

TEST(ScanDateTime, EmptyFormatConsumesNothing) {
  std::tm tm = Sentinel();
  const char* text = "2024";
  EXPECT_EQ(ScanDateTime(text, "", &tm), text);
}

}  // namespace
