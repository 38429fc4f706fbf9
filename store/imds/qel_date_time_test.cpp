#include "store/imds/qel_date_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

struct DateTimeDeleter {
  void operator()(QelDateTime* record) const { FreeQelDateTime(record); }
};
using DateTimePtr = std::unique_ptr<QelDateTime, DateTimeDeleter>;

// The text form of a record (or "<null>"), freeing the string.
std::string Text(const QelDateTime* record) {
  char* text = QelDateTimeToString(record);
  if (text == nullptr) return "<null>";
  std::string copy(text);
  std::free(text);
  return copy;
}

DateTimePtr Make(int year, int month, int day, int hour, int minute, int second) {
  return DateTimePtr(CreateQelDateTime(year, month, day, hour, minute, second));
}

// Runs a test body with TZ set to a zone, restoring the previous setting afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(QelDateTime, CreatorsTruncateToFieldWidths) {
  QelDate* date = CreateQelDate(70000, 300, 257);
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->year, 70000 % 65536);
  EXPECT_EQ(date->month, 300 % 256);
  EXPECT_EQ(date->day, 1);
  std::free(date);

  QelTime* time = CreateQelTime(-1, 61, 256);
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->hour, 255);
  EXPECT_EQ(time->minute, 61);
  EXPECT_EQ(time->second, 0);
  std::free(time);
}

TEST(QelDateTime, TextFormsFollowThePartsPresent) {
  DateTimePtr full = Make(99, 5, 1, 7, 5, 9);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(Text(full.get()), "0099-05-01 07:05:09");

  QelDateTime dateOnly{full->date, nullptr};
  EXPECT_EQ(Text(&dateOnly), "0099-05-01");
  QelDateTime timeOnly{nullptr, full->time};
  EXPECT_EQ(Text(&timeOnly), "07:05:09");
  QelDateTime neither{nullptr, nullptr};
  EXPECT_EQ(Text(&neither), "<null>");
  EXPECT_EQ(Text(nullptr), "<null>");
  EXPECT_EQ(QelDateToString(nullptr), nullptr);
  EXPECT_EQ(QelTimeToString(nullptr), nullptr);

  DateTimePtr wide = Make(12345, 12, 31, 23, 59, 59);
  EXPECT_EQ(Text(wide.get()), "12345-12-31 23:59:59");
}

struct ParseCase {
  const char* text;
  const char* full;     // ConvertStringToQelDateTime, as text
  const char* general;  // ConvertStringToQelGenDateTime, as text
};

TEST(QelDateTime, ParsingFollowsTheShapeOfTheText) {
  const ParseCase cases[] = {
      {"2024-05-01 10:30:15", "2024-05-01 10:30:15", "2024-05-01 10:30:15"},
      {"10:30:00", "0000-00-00 10:30:00", "10:30:00"},
      {"2024-05-01", "2024-05-01 00:00:00", "2024-05-01"},
      {"2024-05", "2024-05-00 00:00:00", "2024-05-00"},
      {"7:5", "0000-00-00 07:05:00", "07:05:00"},
      {"2024-05-01T10:30:00", "2024-05-01 00:00:00", "2024-05-01 00:00:00"},
      {"2024-13-45 99:99:99", "2024-13-45 99:99:99", "2024-13-45 99:99:99"},
      {"-", "0000-00-00 00:00:00", "0000-00-00"},
      {"abc", "<null>", "<null>"},
      {"", "<null>", "<null>"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    DateTimePtr full(ConvertStringToQelDateTime(c.text));
    EXPECT_EQ(Text(full.get()), c.full);
    if (full != nullptr) {
      EXPECT_NE(full->date, nullptr);
      EXPECT_NE(full->time, nullptr);
    }
    DateTimePtr general(ConvertStringToQelGenDateTime(c.text));
    EXPECT_EQ(Text(general.get()), c.general);
  }
}

TEST(QelDateTime, DateOrTimeGivesBarePartsForBareTexts) {
  auto* both = static_cast<QelDateTime*>(ConvertStringToQelDateOrTime("2024-05-01 10:30:15"));
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(Text(both), "2024-05-01 10:30:15");
  FreeQelDateTime(both);

  auto* date = static_cast<QelDate*>(ConvertStringToQelDateOrTime("2024-05-01"));
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->year, 2024);
  EXPECT_EQ(date->month, 5);
  EXPECT_EQ(date->day, 1);
  std::free(date);

  auto* time = static_cast<QelTime*>(ConvertStringToQelDateOrTime("10:30:15"));
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->hour, 10);
  EXPECT_EQ(time->minute, 30);
  EXPECT_EQ(time->second, 15);
  std::free(time);

  EXPECT_EQ(ConvertStringToQelDateOrTime("noon"), nullptr);
  EXPECT_EQ(ConvertStringToQelDateOrTime(nullptr), nullptr);
}

TEST(QelDateTime, ParsersLogNullAndShapelessTexts) {
  LogCapture log;
  EXPECT_EQ(ConvertStringToQelDateTime(nullptr), nullptr);
  EXPECT_TRUE(log.HasTrace("Inside ConvertStringToQelDateTime \n"));
  EXPECT_EQ(log.Count("[ERROR]", "datetimeStr NULL \n"), 1);

  EXPECT_EQ(ConvertStringToQelDateTime("noon"), nullptr);
  EXPECT_FALSE(log.HasError("The String is not a datetimeStr \n"));

  EXPECT_EQ(ConvertStringToQelGenDateTime("noon"), nullptr);
  EXPECT_TRUE(log.HasTrace("Inside ConvertStringToQelGenDateTime \n"));
  EXPECT_TRUE(log.HasError("The String is not a datetimeStr \n"));
  EXPECT_EQ(ConvertStringToQelGenDateTime(nullptr), nullptr);
  EXPECT_EQ(log.Count("[ERROR]", "datetimeStr NULL \n"), 2);
}

TEST(QelDateTime, LaterComparesFieldByFieldAndRejectsPartialRecords) {
  struct Row {
    DateTimePtr a;
    DateTimePtr b;
    int expected;
  };
  Row rows[] = {
      {Make(2024, 1, 1, 0, 0, 1), Make(2024, 1, 1, 0, 0, 0), 1},
      {Make(2024, 1, 1, 0, 0, 0), Make(2024, 1, 1, 0, 0, 1), 0},
      {Make(2024, 1, 1, 0, 0, 0), Make(2024, 1, 1, 0, 0, 0), 0},
      {Make(2025, 1, 1, 0, 0, 0), Make(2024, 12, 31, 23, 59, 59), 1},
      {Make(2024, 2, 1, 0, 0, 0), Make(2024, 1, 31, 23, 59, 59), 1},
      {Make(2024, 1, 2, 0, 0, 0), Make(2024, 1, 1, 23, 59, 59), 1},
      {Make(2024, 1, 1, 1, 0, 0), Make(2024, 1, 1, 0, 59, 59), 1},
      {Make(2024, 1, 1, 0, 1, 0), Make(2024, 1, 1, 0, 0, 59), 1},
      {Make(2023, 12, 31, 23, 59, 59), Make(2024, 1, 1, 0, 0, 0), 0},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(Text(row.a.get()) + " vs " + Text(row.b.get()));
    EXPECT_EQ(IsQelDateTimeLater(row.a.get(), row.b.get()), row.expected);
  }
  DateTimePtr later = Make(2030, 1, 1, 0, 0, 0);
  DateTimePtr earlier = Make(2020, 1, 1, 0, 0, 0);
  QelDateTime dateOnly{later->date, nullptr};
  EXPECT_EQ(IsQelDateTimeLater(&dateOnly, earlier.get()), 0);
  EXPECT_EQ(IsQelDateTimeLater(later.get(), nullptr), 0);
  EXPECT_EQ(IsQelDateTimeLater(nullptr, earlier.get()), 0);
}

TEST(QelDateTime, CurrentDateTimeIsTheLocalClock) {
  std::time_t before = std::time(nullptr);
  DateTimePtr now(GetCurrentQelDateTime());
  std::time_t after = std::time(nullptr);
  ASSERT_NE(now, nullptr);
  bool matched = false;
  for (std::time_t t = before; t <= after && !matched; ++t) {
    std::tm local{};
    localtime_r(&t, &local);
    DateTimePtr expected = Make(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                local.tm_min, local.tm_sec);
    matched = Text(now.get()) == Text(expected.get());
  }
  EXPECT_TRUE(matched) << Text(now.get());

  char* text = GetCurrentDateTimeString();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text).size(), 19u);
  std::free(text);
}

struct MoveCase {
  const char* start;
  bool add;
  std::uint32_t amount;
  std::uint8_t unit;
  const char* expected;
};

TEST(QelDateTime, CalendarArithmeticNormalisesLikeTheCalendar) {
  const MoveCase cases[] = {
      {"2024-01-31 23:30:00", true, 40, kQelMinutes, "2024-02-01 00:10:00"},
      {"2024-01-31 00:00:00", true, 1, kQelMonths, "2024-03-02 00:00:00"},
      {"2024-03-01 00:00:00", false, 1, kQelDays, "2024-02-29 00:00:00"},
      {"2024-03-01 00:00:00", true, 1500, kQelMilliseconds, "2024-03-01 00:00:01"},
      {"2024-03-01 00:00:00", true, 999999, kQelMicroseconds, "2024-03-01 00:00:00"},
      {"2024-03-01 00:00:00", true, 2500000000u, kQelNanoseconds, "2024-03-01 00:00:02"},
      {"2024-03-01 00:00:00", false, 1, kQelSeconds, "2024-02-29 23:59:59"},
      {"2024-03-01 00:00:00", true, 86400 * 365, kQelSeconds, "2025-03-01 00:00:00"},
      {"2024-03-01 00:00:00", true, 25, kQelHours, "2024-03-02 01:00:00"},
      {"2024-12-28 00:00:00", true, 2, kQelWeeks, "2025-01-11 00:00:00"},
      {"2024-03-31 00:00:00", false, 13, kQelMonths, "2023-03-03 00:00:00"},
      {"2024-02-29 12:00:00", true, 12, kQelMonths, "2025-03-01 12:00:00"},
      {"2024-03-01 00:00:00", true, 5, 42, "2024-03-01 00:00:00"},
      {"9999-12-31 23:59:59", true, 1, kQelSeconds, "10000-01-01 00:00:00"},
  };
  ScopedTimeZone utc("UTC");
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(std::string(c.start) + (c.add ? " + " : " - ") + std::to_string(c.amount) + " unit " +
                 std::to_string(c.unit));
    DateTimePtr record(ConvertStringToQelDateTime(c.start));
    ASSERT_NE(record, nullptr);
    QelDateTime* result = c.add ? AddToQelDateTime(record.get(), c.amount, c.unit)
                                : SubtractFromQelDateTime(record.get(), c.amount, c.unit);
    EXPECT_EQ(result, record.get());
    EXPECT_EQ(Text(record.get()), c.expected);
  }
}

TEST(QelDateTime, ArithmeticKeepsTheWallClockAcrossDaylightSaving) {
  ScopedTimeZone berlin("Europe/Berlin");
  DateTimePtr spring = Make(2024, 3, 30, 12, 0, 0);
  ASSERT_NE(AddToQelDateTime(spring.get(), 1, kQelDays), nullptr);
  EXPECT_EQ(Text(spring.get()), "2024-03-31 12:00:00");
  DateTimePtr autumn = Make(2024, 10, 27, 12, 0, 0);
  ASSERT_NE(SubtractFromQelDateTime(autumn.get(), 1, kQelDays), nullptr);
  EXPECT_EQ(Text(autumn.get()), "2024-10-26 12:00:00");
}

TEST(QelDateTime, ArithmeticThatCannotWorkLeavesTheRecordAlone) {
  LogCapture log;
  ScopedTimeZone utc("UTC");
  struct Row {
    DateTimePtr record;
    std::uint32_t amount;
    std::uint8_t unit;
    const char* text;
  };
  Row rows[] = {
      {Make(2024, 13, 1, 0, 0, 0), 1, kQelDays, "2024-13-01 00:00:00"},
      {Make(10000, 1, 1, 0, 0, 0), 1, kQelDays, "10000-01-01 00:00:00"},
      {Make(2024, 1, 1, 0, 0, 0), 4294967295u, kQelDays, "2024-01-01 00:00:00"},
      {Make(2024, 1, 1, 0, 0, 0), 4294967295u, kQelMonths, "2024-01-01 00:00:00"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(AddToQelDateTime(row.record.get(), row.amount, row.unit), nullptr);
    EXPECT_EQ(Text(row.record.get()), row.text);
  }
  EXPECT_EQ(SubtractFromQelDateTime(rows[2].record.get(), 4294967295u, kQelDays), nullptr);
  EXPECT_EQ(Text(rows[2].record.get()), "2024-01-01 00:00:00");

  DateTimePtr general(ConvertStringToQelGenDateTime("2024-05-01"));
  EXPECT_EQ(AddToQelDateTime(general.get(), 1, kQelDays), nullptr);
  EXPECT_EQ(Text(general.get()), "2024-05-01");
  EXPECT_EQ(AddToQelDateTime(nullptr, 1, kQelDays), nullptr);
  EXPECT_TRUE(log.HasError("Date-time arithmetic needs a date and a time part\n"));
  EXPECT_TRUE(log.HasError("Date-time 2024-13-01 00:00:00 is not a calendar time\n"));
}

TEST(QelDateTime, CreationFailuresReleaseEverythingAndLog) {
  LogCapture log;
  for (long n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    VtFailAllocationAt(n);
    EXPECT_EQ(CreateQelDateTime(2024, 1, 1, 0, 0, 0), nullptr);  // LeakSanitizer checks the rest
    VtFailAllocationAt(0);
  }
  EXPECT_EQ(log.Count("[ERROR]", "QelDateTime creation failed"), 3);
  VtFailAllocationAt(1);
  EXPECT_EQ(CreateQelDate(2024, 1, 1), nullptr);
  VtFailAllocationAt(1);
  EXPECT_EQ(CreateQelTime(1, 2, 3), nullptr);
  VtFailAllocationAt(1);
  EXPECT_EQ(GetCurrentQelDateTime(), nullptr);
  VtFailAllocationAt(2);
  EXPECT_EQ(GetCurrentQelDateTime(), nullptr);
  VtFailAllocationAt(3);
  EXPECT_EQ(GetCurrentQelDateTime(), nullptr);
  DateTimePtr record = Make(2024, 1, 1, 0, 0, 0);
  VtFailAllocationAt(1);
  EXPECT_EQ(QelDateTimeToString(record.get()), nullptr);
  VtFailAllocationAt(0);
  EXPECT_TRUE(log.HasError("QelDate creation failed"));
  EXPECT_TRUE(log.HasError("QelTime creation failed"));
  EXPECT_TRUE(log.HasError("MEMORY ALLOCATION FAILURE FOR dateTimePtr"));
  EXPECT_TRUE(log.HasError("CreateQelDate Failed"));
  EXPECT_TRUE(log.HasError("CreateQelTime Failed"));
}

}  // namespace
