#include "store/imds/qel_date_time.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

#include "agent/log_writer.h"
#include "store/util/alloc.h"
#include "store/imds/scan_date_time.h"

namespace {

constexpr const char* kCalendarFormat = "%Y-%m-%d %H:%M:%S";
constexpr int kTmYearBase = 1900;

// A new malloc'd copy of `text`; null when out of memory.
char* CopyToHeap(const std::string& text) {
  char* copy = static_cast<char*>(VtMalloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

std::string Format(const char* format, int a, int b, int c) {
  std::array<char, 64> buffer{};
  int n = std::snprintf(buffer.data(), buffer.size(), format, a, b, c);
  return std::string(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string DateText(const QelDate& date) { return Format("%04d-%02d-%02d", date.year, date.month, date.day); }
std::string TimeText(const QelTime& time) { return Format("%02d:%02d:%02d", time.hour, time.minute, time.second); }

bool IsSpace(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

// Reads numbers as sscanf would under a pattern of 'd' (a number: blanks, an optional
// sign, digits; 32-bit wrapping), blanks (any run of blanks) and literal characters.
// Stops at the first mismatch; the numbers not reached stay 0.
std::array<std::int32_t, 6> ReadNumbers(const char* text, const char* pattern) {
  std::array<std::int32_t, 6> numbers{};
  std::size_t next = 0;
  const char* pos = text;
  for (const char* p = pattern; *p != '\0' && next < numbers.size(); ++p) {
    if (*p == ' ') {
      while (IsSpace(*pos)) ++pos;
    } else if (*p == 'd') {
      while (IsSpace(*pos)) ++pos;
      bool negative = *pos == '-';
      if (*pos == '-' || *pos == '+') ++pos;
      if (*pos < '0' || *pos > '9') break;
      std::uint32_t value = 0;
      for (; *pos >= '0' && *pos <= '9'; ++pos) value = value * 10u + static_cast<std::uint32_t>(*pos - '0');
      if (negative) value = 0u - value;
      numbers[next++] = static_cast<std::int32_t>(value);
    } else {
      if (*pos != *p) break;
      ++pos;
    }
  }
  return numbers;
}

enum class Shape { kNone, kDateTime, kDate, kTime };

Shape ShapeOf(const char* text) {
  const bool dash = std::strchr(text, '-') != nullptr;
  const bool colon = std::strchr(text, ':') != nullptr;
  if (dash && colon) return Shape::kDateTime;
  if (dash) return Shape::kDate;
  if (colon) return Shape::kTime;
  return Shape::kNone;
}

// The six numbers of a text of the given shape: year, month, day, hour, minute, second.
std::array<std::int32_t, 6> NumbersOf(const char* text, Shape shape) {
  std::array<std::int32_t, 6> out{};
  if (shape == Shape::kDateTime) return ReadNumbers(text, "d-d-d d:d:d");
  if (shape == Shape::kDate) {
    auto date = ReadNumbers(text, "d-d-d");
    out[0] = date[0];
    out[1] = date[1];
    out[2] = date[2];
  } else if (shape == Shape::kTime) {
    auto time = ReadNumbers(text, "d:d:d");
    out[3] = time[0];
    out[4] = time[1];
    out[5] = time[2];
  }
  return out;
}

// Parts are made without logging so the general parser can log once for the record.
QelDate* NewDate(std::int32_t year, std::int32_t month, std::int32_t day) {
  auto* date = static_cast<QelDate*>(VtCalloc(1, sizeof(QelDate)));
  if (date == nullptr) return nullptr;
  date->year = static_cast<std::uint16_t>(year);
  date->month = static_cast<std::uint8_t>(month);
  date->day = static_cast<std::uint8_t>(day);
  return date;
}

QelTime* NewTime(std::int32_t hour, std::int32_t minute, std::int32_t second) {
  auto* time = static_cast<QelTime*>(VtCalloc(1, sizeof(QelTime)));
  if (time == nullptr) return nullptr;
  time->hour = static_cast<std::uint8_t>(hour);
  time->minute = static_cast<std::uint8_t>(minute);
  time->second = static_cast<std::uint8_t>(second);
  return time;
}

// A record with the parts asked for; null (nothing kept) when any allocation fails.
QelDateTime* NewDateTime(const std::array<std::int32_t, 6>& n, bool withDate, bool withTime) {
  auto* record = static_cast<QelDateTime*>(VtCalloc(1, sizeof(QelDateTime)));
  if (record == nullptr) return nullptr;
  if (withDate) record->date = NewDate(n[0], n[1], n[2]);
  if (withTime) record->time = NewTime(n[3], n[4], n[5]);
  if ((withDate && record->date == nullptr) || (withTime && record->time == nullptr)) {
    FreeQelDateTime(record);
    return nullptr;
  }
  return record;
}

// Adds `delta` (which may be large) to one int field of the broken-down time; false
// when the sum does not fit.
bool AddToField(int& field, long long delta) {
  long long sum = static_cast<long long>(field) + delta;
  if (sum < std::numeric_limits<int>::min() || sum > std::numeric_limits<int>::max()) return false;
  field = static_cast<int>(sum);
  return true;
}

bool ApplyUnit(std::tm& tm, long long amount, std::uint8_t unit) {
  switch (unit) {
    case kQelNanoseconds:
      return AddToField(tm.tm_sec, amount / 1000000000LL);
    case kQelMicroseconds:
      return AddToField(tm.tm_sec, amount / 1000000LL);
    case kQelMilliseconds:
      return AddToField(tm.tm_sec, amount / 1000LL);
    case kQelSeconds:
      return AddToField(tm.tm_sec, amount);
    case kQelMinutes:
      return AddToField(tm.tm_min, amount);
    case kQelHours:
      return AddToField(tm.tm_hour, amount);
    case kQelDays:
      return AddToField(tm.tm_mday, amount);
    case kQelWeeks:
      return AddToField(tm.tm_mday, 7 * amount);
    case kQelMonths:
      return AddToField(tm.tm_mon, amount);
    default:
      return true;
  }
}

// Formats, rescans, moves and renormalises; the record changes only on success.
QelDateTime* MoveQelDateTime(QelDateTime* dateTime, long long amount, std::uint8_t unit) {
  if (dateTime == nullptr || dateTime->date == nullptr || dateTime->time == nullptr) {
    LogError("Date-time arithmetic needs a date and a time part\n");
    return nullptr;
  }
  std::string text = DateText(*dateTime->date) + " " + TimeText(*dateTime->time);
  std::tm tm{};
  if (ScanDateTime(text.c_str(), kCalendarFormat, &tm) == nullptr) {
    LogError("Date-time %s is not a calendar time\n", text.c_str());
    return nullptr;
  }
  tm.tm_isdst = -1;  // whether daylight saving applies is the calendar's to decide
  if (!ApplyUnit(tm, amount, unit)) {
    LogError("Date-time %s cannot be moved that far\n", text.c_str());
    return nullptr;
  }
  tm.tm_wday = -1;  // mktime sets it on success; -1 survives only a failure
  std::mktime(&tm);
  const long long year = static_cast<long long>(tm.tm_year) + kTmYearBase;
  if (tm.tm_wday < 0 || year < 0 || year > std::numeric_limits<std::uint16_t>::max()) {
    LogError("Date-time %s cannot be moved that far\n", text.c_str());
    return nullptr;
  }
  dateTime->date->year = static_cast<std::uint16_t>(year);
  dateTime->date->month = static_cast<std::uint8_t>(tm.tm_mon + 1);
  dateTime->date->day = static_cast<std::uint8_t>(tm.tm_mday);
  dateTime->time->hour = static_cast<std::uint8_t>(tm.tm_hour);
  dateTime->time->minute = static_cast<std::uint8_t>(tm.tm_min);
  dateTime->time->second = static_cast<std::uint8_t>(tm.tm_sec);
  return dateTime;
}

}  // namespace

QelDate* CreateQelDate(std::int32_t year, std::int32_t month, std::int32_t day) {
  QelDate* date = NewDate(year, month, day);
  if (date == nullptr) LogError("QelDate creation failed");
  return date;
}

QelTime* CreateQelTime(std::int32_t hour, std::int32_t minute, std::int32_t second) {
  QelTime* time = NewTime(hour, minute, second);
  if (time == nullptr) LogError("QelTime creation failed");
  return time;
}

QelDateTime* CreateQelDateTime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                               std::int32_t minute, std::int32_t second) {
  QelDateTime* record = NewDateTime({year, month, day, hour, minute, second}, true, true);
  if (record == nullptr) LogError("QelDateTime creation failed");
  return record;
}

void FreeQelDateTime(QelDateTime* dateTime) {
  if (dateTime == nullptr) return;
  std::free(dateTime->date);
  std::free(dateTime->time);
  std::free(dateTime);
}

char* QelDateToString(const QelDate* date) { return date == nullptr ? nullptr : CopyToHeap(DateText(*date)); }

char* QelTimeToString(const QelTime* time) { return time == nullptr ? nullptr : CopyToHeap(TimeText(*time)); }

char* QelDateTimeToString(const QelDateTime* dateTime) {
  if (dateTime == nullptr) return nullptr;
  if (dateTime->date != nullptr && dateTime->time != nullptr) {
    return CopyToHeap(DateText(*dateTime->date) + " " + TimeText(*dateTime->time));
  }
  if (dateTime->time != nullptr) return QelTimeToString(dateTime->time);
  if (dateTime->date != nullptr) return QelDateToString(dateTime->date);
  return nullptr;
}

QelDateTime* ConvertStringToQelDateTime(const char* text) {
  LogTrace("Inside ConvertStringToQelDateTime \n");
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return nullptr;
  }
  Shape shape = ShapeOf(text);
  if (shape == Shape::kNone) return nullptr;
  auto n = NumbersOf(text, shape);
  return CreateQelDateTime(n[0], n[1], n[2], n[3], n[4], n[5]);
}

void* ConvertStringToQelDateOrTime(const char* text) {
  LogTrace("Inside ConvertStringToQelDateTime \n");
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return nullptr;
  }
  Shape shape = ShapeOf(text);
  auto n = NumbersOf(text, shape);
  switch (shape) {
    case Shape::kDateTime:
      return CreateQelDateTime(n[0], n[1], n[2], n[3], n[4], n[5]);
    case Shape::kDate:
      return CreateQelDate(n[0], n[1], n[2]);
    case Shape::kTime:
      return CreateQelTime(n[3], n[4], n[5]);
    case Shape::kNone:
      break;
  }
  return nullptr;
}

QelDateTime* ConvertStringToQelGenDateTime(const char* text) {
  LogTrace("Inside ConvertStringToQelGenDateTime \n");
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return nullptr;
  }
  Shape shape = ShapeOf(text);
  if (shape == Shape::kNone) {
    LogError("The String is not a datetimeStr \n");
    return nullptr;
  }
  QelDateTime* record = NewDateTime(NumbersOf(text, shape), shape != Shape::kTime, shape != Shape::kDate);
  if (record == nullptr) LogError("QelDateTime creation failed");
  return record;
}

std::uint8_t IsQelDateTimeLater(const QelDateTime* a, const QelDateTime* b) {
  if (a == nullptr || b == nullptr || a->date == nullptr || a->time == nullptr || b->date == nullptr ||
      b->time == nullptr) {
    return 0;
  }
  const std::array<int, 6> left = {a->date->year, a->date->month,  a->date->day,
                                   a->time->hour, a->time->minute, a->time->second};
  const std::array<int, 6> right = {b->date->year, b->date->month,  b->date->day,
                                    b->time->hour, b->time->minute, b->time->second};
  return left > right ? 1 : 0;
}

QelDateTime* GetCurrentQelDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  auto* record = static_cast<QelDateTime*>(VtCalloc(1, sizeof(QelDateTime)));
  if (record == nullptr) {
    LogError("MEMORY ALLOCATION FAILURE FOR dateTimePtr");
    return nullptr;
  }
  record->date = CreateQelDate(local.tm_year + kTmYearBase, local.tm_mon + 1, local.tm_mday);
  if (record->date == nullptr) {
    LogError("CreateQelDate Failed");
    FreeQelDateTime(record);
    return nullptr;
  }
  record->time = CreateQelTime(local.tm_hour, local.tm_min, local.tm_sec);
  if (record->time == nullptr) {
    LogError("CreateQelTime Failed");
    FreeQelDateTime(record);
    return nullptr;
  }
  return record;
}

char* GetCurrentDateTimeString() {
  QelDateTime* now = GetCurrentQelDateTime();
  char* text = QelDateTimeToString(now);
  FreeQelDateTime(now);
  return text;
}

QelDateTime* AddToQelDateTime(QelDateTime* dateTime, std::uint32_t amount, std::uint8_t unit) {
  return MoveQelDateTime(dateTime, static_cast<long long>(amount), unit);
}

QelDateTime* SubtractFromQelDateTime(QelDateTime* dateTime, std::uint32_t amount, std::uint8_t unit) {
  return MoveQelDateTime(dateTime, -static_cast<long long>(amount), unit);
}
