// Date, time and date-time values of the store: the QelDate, QelTime and QelDateTime
// records, their text forms, parsing, the current local time and calendar arithmetic.
// Every record and string handed out is malloc'd: the caller frees strings with free and
// date-times with FreeQelDateTime (which frees the present parts, then the record).
// No routine keeps state; all are safe from several threads.
#pragma once

#include <cstdint>

struct QelDate {
  std::uint16_t year;  // full year, such as 2024
  std::uint8_t month;  // 1-12
  std::uint8_t day;    // 1-31
};

struct QelTime {
  std::uint8_t hour;    // 0-23
  std::uint8_t minute;  // 0-59
  std::uint8_t second;  // 0-59
};

// Both parts: a full date-time. Only one part: a "general" date-time standing for a
// date or a time of day. The record owns its parts.
struct QelDateTime {
  QelDate* date;
  QelTime* time;
};

// Units of AddToQelDateTime and SubtractFromQelDateTime.
inline constexpr std::uint8_t kQelNanoseconds = 1;
inline constexpr std::uint8_t kQelMicroseconds = 2;
inline constexpr std::uint8_t kQelMilliseconds = 3;
inline constexpr std::uint8_t kQelSeconds = 4;
inline constexpr std::uint8_t kQelMinutes = 5;
inline constexpr std::uint8_t kQelHours = 6;
inline constexpr std::uint8_t kQelDays = 7;
inline constexpr std::uint8_t kQelWeeks = 8;
inline constexpr std::uint8_t kQelMonths = 9;

// The creators store each number truncated to its field's width, without range checks.
// Null, with "QelDate creation failed" / "QelTime creation failed" /
// "QelDateTime creation failed" logged, when memory runs out (nothing is then kept).
QelDate* CreateQelDate(std::int32_t year, std::int32_t month, std::int32_t day);
QelTime* CreateQelTime(std::int32_t hour, std::int32_t minute, std::int32_t second);
QelDateTime* CreateQelDateTime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                               std::int32_t minute, std::int32_t second);
// Frees the present parts, then the record; null is ignored.
void FreeQelDateTime(QelDateTime* dateTime);

// "%04d-%02d-%02d" / "%02d:%02d:%02d"; null for a null record or when out of memory.
char* QelDateToString(const QelDate* date);
char* QelTimeToString(const QelTime* time);
// "date time", the time alone or the date alone, by the parts present; null when the
// record is null, has neither part, or memory runs out.
char* QelDateTimeToString(const QelDateTime* dateTime);

// The text's separators decide its shape: both "-" and ":" read "%d-%d-%d %d:%d:%d",
// only "-" reads "%d-%d-%d", only ":" reads "%d:%d:%d"; numbers the text lacks stay 0.
// A full date-time (both parts always present); null for a null text (logged), for a
// text with neither separator (not logged) or when out of memory.
QelDateTime* ConvertStringToQelDateTime(const char* text);
// As above, but a date with a time gives a QelDateTime*, a date alone a bare QelDate*
// and a time alone a bare QelTime*: the caller knows which from the text's shape and
// frees a bare part with free.
void* ConvertStringToQelDateOrTime(const char* text);
// A QelDateTime with only the parts the text has. Null for a null text or a text with
// neither separator (both logged) or when out of memory.
QelDateTime* ConvertStringToQelGenDateTime(const char* text);

// 1 when a is strictly later than b (year down to second); 0 when equal, earlier, or
// when a record or one of its parts is missing.
std::uint8_t IsQelDateTimeLater(const QelDateTime* a, const QelDateTime* b);

// The current local date and time as a full date-time; null (logged) when out of memory.
QelDateTime* GetCurrentQelDateTime();
// Its text form "YYYY-MM-DD hh:mm:ss"; null when out of memory.
char* GetCurrentDateTimeString();

// Moves a full date-time in place by `amount` units (kQel* above) and returns it; the
// result is normalised as a local time, carrying overflow into the larger fields, with
// the daylight-saving flag left to the calendar. An unknown unit only renormalises.
// Null, with the record unchanged and an error logged, when the record lacks a part,
// its text does not scan as a calendar time, or the result leaves the years 0-65535.
QelDateTime* AddToQelDateTime(QelDateTime* dateTime, std::uint32_t amount, std::uint8_t unit);
QelDateTime* SubtractFromQelDateTime(QelDateTime* dateTime, std::uint32_t amount, std::uint8_t unit);
