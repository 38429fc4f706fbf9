#include "store/util/conversions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

struct AllocationFailure {
  explicit AllocationFailure(long n) { VtFailAllocationAt(n); }
  ~AllocationFailure() { VtFailAllocationAt(0); }
};

std::optional<std::string> Take(char* text) {
  if (text == nullptr) return std::nullopt;
  std::string copy(text);
  std::free(text);
  return copy;
}

// ---------------------------------------------------------------- case copies and hex

TEST(CaseCopies, OnlyAsciiLettersChange) {
  EXPECT_EQ(Take(ToLowerCaseCopy("AbC-9\xC9z")), "abc-9\xC9z");
  EXPECT_EQ(Take(ToUpperCaseCopy("AbC-9\xE9z")), "ABC-9\xE9Z");
  EXPECT_EQ(ToLowerCaseCopy(nullptr), nullptr);
  LogCapture log;
  {
    AllocationFailure fail(1);
    EXPECT_EQ(ToUpperCaseCopy("a"), nullptr);
  }
  EXPECT_TRUE(log.HasError("Unable to allocate buffer !!! \n"));
}

TEST(Hexadecimal, DigitValuesAndOtherCharacters) {
  struct Case {
    char ch;
    std::int32_t hex;
    std::uint8_t decimal;
  };
  const Case cases[] = {
      {'0', 0, 0}, {'9', 9, 9}, {'A', 10, 10}, {'f', 15, 15}, {'F', 15, 15},
      {'g', 'g', 0}, {'G', 'G', 0}, {' ', ' ', 0}, {'\xFF', 255, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.ch));
    EXPECT_EQ(GetHexValue(c.ch), c.hex);
    EXPECT_EQ(ConvertToDecimalFromHexa(c.ch), c.decimal);
  }
}

TEST(Hexadecimal, ConvertToHexValuePacksPairsInPlace) {
  char text[] = "0aFF7e1";
  EXPECT_EQ(ConvertToHexValue(text, 7), 3);
  EXPECT_EQ(static_cast<unsigned char>(text[0]), 0x0A);
  EXPECT_EQ(static_cast<unsigned char>(text[1]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(text[2]), 0x7E);
  EXPECT_EQ(std::string(text + 3), "F7e1");  // beyond the packed bytes nothing changes
}

TEST(Hexadecimal, ConvertToHexValueRefusesMoreThanSixtyFourDigits) {
  std::string digits(64, 'a');
  EXPECT_EQ(ConvertToHexValue(digits.data(), 64), 32);
  EXPECT_EQ(static_cast<unsigned char>(digits[31]), 0xAA);

  std::string longer(66, 'b');
  std::string before = longer;
  EXPECT_EQ(ConvertToHexValue(longer.data(), 66), -1);
  EXPECT_EQ(longer, before);
  EXPECT_EQ(ConvertToHexValue(nullptr, 2), -1);
  EXPECT_EQ(ConvertToHexValue(longer.data(), -2), -1);
}

TEST(Hexadecimal, ConvertToStringFromHexWritesNibbleValues) {
  const std::uint8_t bytes[] = {0xA5, 0x0F};
  std::uint8_t out[4] = {};
  ConvertToStringFromHex(out, bytes, 2);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{10, 5, 0, 15}));
}

// ---------------------------------------------------------------- numbers as text

TEST(NumbersAsText, SignedAndUnsignedDecimalTexts) {
  LogCapture log;
  EXPECT_EQ(Take(ConvertToStringFromInteger(-42)), "-42");
  EXPECT_EQ(Take(ConvertToStringFromInteger(INT32_MIN)), "-2147483648");
  EXPECT_TRUE(log.HasTrace("The string is -42\n"));
  std::int32_t length = -1;
  EXPECT_EQ(Take(ConvertToStringFromUnsignedInteger(4294967295u, &length)), "4294967295");
  EXPECT_EQ(length, 10);
  EXPECT_EQ(Take(ConvertToStringFromUnsignedInteger(7, &length)), "7");
  EXPECT_EQ(length, 1);
  EXPECT_TRUE(log.HasTrace("The value is 7\n"));
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ConvertToStringFromInteger() @@@@@ \n"));
}

TEST(NumbersAsText, ToStringKinds) {
  LogCapture log;
  std::int32_t value = 12;
  EXPECT_EQ(Take(ToString(&value, nullptr, 0)), "12");
  EXPECT_EQ(ToString(nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(Take(ToString(&value, nullptr, 1)), "TRUE");
  EXPECT_EQ(Take(ToString(nullptr, nullptr, 1)), "FALSE");
  EXPECT_EQ(ToString(&value, nullptr, 2), nullptr);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ToString() @@@@@\n"));
}

// ---------------------------------------------------------------- counters

TEST(Counters, SplitAndJoinSixtyFourBits) {
  Counter64 c = ConvertToCounter64FromULongLong(0x0000000100000002ull);
  EXPECT_EQ(c.high, 1u);
  EXPECT_EQ(c.low, 2u);
  EXPECT_EQ(ConvertToULongLongFromCounter64(0xFFFFFFFFu, 0xFFFFFFFEu), 0xFFFFFFFFFFFFFFFEull);
  LogCapture log;
  EXPECT_EQ(Take(ConvertToStringFromCounter64(Counter64{1, 2})), "4294967298");
  EXPECT_TRUE(log.HasDebug("The String is : 4294967298\n"));
}

TEST(Counters, ConvertToCounter64Table) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::uint32_t high, low;
  };
  const Case cases[] = {
      {{0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02}, 1, 2},  // sign byte skipped
      {{0x01, 0x02}, 0, 0x0102},
      {{0x01, 0x02, 0x03, 0x04}, 0, 0x01020304},
      {{0x05, 0x01, 0x02, 0x03, 0x04}, 5, 0x01020304},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF, 0xFFFFFFFF},
      {{0x80, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}, 0x12345678, 0x9ABCDEF0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    Counter64 counter{7, 7};
    EXPECT_EQ(ConvertToCounter64(&counter, c.bytes.data(), static_cast<int>(c.bytes.size())), c.low);
    EXPECT_EQ(counter.high, c.high);
    EXPECT_EQ(counter.low, c.low);
  }
  const std::uint8_t ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  Counter64 untouched{7, 7};
  EXPECT_EQ(ConvertToCounter64(&untouched, ten, 10), 0u);
  EXPECT_EQ(untouched.high, 7u);
  EXPECT_EQ(untouched.low, 7u);
  EXPECT_EQ(ConvertToCounter64(nullptr, ten, 2), 0u);
}

// ---------------------------------------------------------------- date and time octets

TEST(DateTimeOctets, ToTextTable) {
  struct Case {
    std::vector<std::uint8_t> octets;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {{0x07, 0xE2, 0x0C, 0x09, 0x10, 0x0E, 0x29, 0x05}, "2018-12-9,16:14:41.5"},
      {{0x07, 0xE2, 0x0C, 0x09, 0x10, 0x0E, 0x29, 0x05, '+', 0x05, 0x1E}, "2018-12-9,16:14:41.5,+5:30"},
      {{0x07, 0xEA, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, '-', 0x08, 0x00, 0x63}, "2026-1-1,0:0:0.0,-8:0"},
      {{0x07, 0xE2, 0x0C}, std::nullopt},
      {{0x07, 0xE2, 0x0C, 0x09, 0x10, 0x0E, 0x29, 0x05, '+', 0x05}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.octets.size());
    // An exact-size heap copy, so that ASan sees any read beyond the given length.
    std::vector<std::uint8_t> exact(c.octets);
    std::int32_t length = static_cast<std::int32_t>(exact.size());
    std::optional<std::string> text = Take(ConvertToStringFromDateTime(exact.data(), &length));
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(length, text ? static_cast<std::int32_t>(text->size()) : static_cast<std::int32_t>(c.octets.size()));
  }
}

TEST(DateTimeOctets, FromTextTable) {
  struct Case {
    const char* text;
    std::vector<std::uint8_t> octets;  // empty: null expected
  };
  const Case cases[] = {
      {"2018-12-9,16:14:41.5", {0x07, 0xE2, 0x0C, 0x09, 0x10, 0x0E, 0x29, 0x05}},
      {"2018-12-9,16:14:41.5,+5:30", {0x07, 0xE2, 0x0C, 0x09, 0x10, 0x0E, 0x29, 0x05, '+', 0x05, 0x1E}},
      {"2018-12-9,16:14:41.5,-8:0", {0x07, 0xE2, 0x0C, 0x09, 0x10, 0x0E, 0x29, 0x05, '-', 0x08, 0x00}},
      {"2018-12-9,16:14:41", {}},      // six fields
      {"2018-12-9,16:14:41.5,+5", {}},  // nine fields
      {"2018-12-9,16:14:41.5,+", {}},   // eight fields
      {"", {}},
      {"99999999999-1-1,1:1:1.1", {}},  // the year does not fit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::int32_t length = -7;
    std::uint8_t* octets = ConvertToDateTimeFromString(c.text, &length);
    if (c.octets.empty()) {
      EXPECT_EQ(octets, nullptr);
      EXPECT_EQ(length, -7);
      continue;
    }
    ASSERT_NE(octets, nullptr);
    EXPECT_EQ(length, static_cast<std::int32_t>(c.octets.size()));
    EXPECT_EQ(std::vector<std::uint8_t>(octets, octets + length), c.octets);
    std::free(octets);
  }
}

TEST(DateTimeOctets, RoundTripAndTraces) {
  LogCapture log;
  const std::uint8_t octets[] = {0x07, 0xE2, 0x0C, 0x09, 0x10, 0x0E, 0x29, 0x05, '+', 0x05, 0x1E};
  std::int32_t length = 11;
  char* text = ConvertToStringFromDateTime(octets, &length);
  ASSERT_NE(text, nullptr);
  std::int32_t back = 0;
  std::uint8_t* again = ConvertToDateTimeFromString(text, &back);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(std::vector<std::uint8_t>(again, again + back), std::vector<std::uint8_t>(octets, octets + 11));
  std::free(text);
  std::free(again);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ConvertToStringFromDateTime() @@@@@\n"));
  EXPECT_TRUE(log.HasTrace("The retVal is 2018-12-9,16:14:41.5,+5:30\n"));
  EXPECT_TRUE(log.HasTrace("e2\n"));
  EXPECT_TRUE(log.HasTrace("2b\n"));
}

TEST(DateTimeOctets, OverlongTextGivesNull) {
  std::string text = "2018-12-9,16:14:41.5,+5:30" + std::string(300, ' ');
  std::int32_t length = 0;
  EXPECT_EQ(ConvertToDateTimeFromString(text.c_str(), &length), nullptr);
  text.resize(255);
  std::uint8_t* octets = ConvertToDateTimeFromString(text.c_str(), &length);
  EXPECT_NE(octets, nullptr);  // 255 characters still fit
  std::free(octets);
}

// ---------------------------------------------------------------- date texts

TEST(DateTexts, ParseMonthNames) {
  struct Case {
    const char* name;
    std::int32_t month;
  };
  const Case cases[] = {{"Jan", 0}, {"feb", 1}, {"DEC", 11}, {"Sep", 8}, {"Foo", -1}, {"January", -1}, {"", -1}};
  for (const Case& c : cases) EXPECT_EQ(ParseMonth(c.name), c.month) << c.name;
  EXPECT_EQ(ParseMonth(nullptr), -1);
}

TEST(DateTexts, ParseDateTimeTable) {
  struct Case {
    const char* text;
    bool parsed;
    int mday, mon, year, hour, min, sec;
  };
  const Case cases[] = {
      {"Tue 09 Dec 2026 16:14:41 UTC", true, 9, 11, 126, 16, 14, 41},
      {"Tue 09-Dec-2026 16:14:41 UTC", true, 9, 11, 126, 16, 14, 41},
      {"Tue Dec 9 16:14:41 2026", true, 9, 11, 126, 16, 14, 41},
      {"Mon 1 jan 1999 0:0:0 GMT", true, 1, 0, 99, 0, 0, 0},
      {"Tue 09 Xyz 2026 16:14:41 UTC", false, 0, 0, 0, 0, 0, 0},  // unknown month
      {"Tue 09 Dec 2026 16:14:41", false, 0, 0, 0, 0, 0, 0},      // seven of eight fields
      {"Tue Dec 9 16:14:41", false, 0, 0, 0, 0, 0, 0},
      {"", false, 0, 0, 0, 0, 0, 0},
      {"Tue 09 Dec 99999999999 16:14:41 UTC", false, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::tm* time = ParseDateTime(c.text);
    if (!c.parsed) {
      EXPECT_EQ(time, nullptr);
      continue;
    }
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->tm_mday, c.mday);
    EXPECT_EQ(time->tm_mon, c.mon);
    EXPECT_EQ(time->tm_year, c.year);
    EXPECT_EQ(time->tm_hour, c.hour);
    EXPECT_EQ(time->tm_min, c.min);
    EXPECT_EQ(time->tm_sec, c.sec);
    std::free(time);
  }
}

TEST(DateTexts, ParseDateTimeSurvivesLongWordsAndLongTexts) {
  LogCapture log;
  // Words longer than any fixed buffer could hold must neither overrun nor crash.
  std::string longWeekday = std::string(400, 'W') + " Dec 9 16:14:41 2026";
  EXPECT_EQ(ParseDateTime(longWeekday.c_str()), nullptr);  // longer than 255 characters
  std::string wideWord = std::string(200, 'W') + " Dec 9 16:14:41 2026";
  std::tm* time = ParseDateTime(wideWord.c_str());
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->tm_year, 126);
  std::free(time);
  std::string longMonth = "Tue 09 " + std::string(100, 'D') + " 2026 16:14:41 UTC";
  EXPECT_EQ(ParseDateTime(longMonth.c_str()), nullptr);
  EXPECT_EQ(ParseDateTime(nullptr), nullptr);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ParseDateTime() @@@@@\n"));
}

TEST(DateTexts, CompareTimeIsLaterOrEqual) {
  std::tm a{};
  a.tm_year = 126;
  a.tm_mon = 11;
  a.tm_mday = 9;
  a.tm_hour = 16;
  std::tm b = a;
  EXPECT_EQ(CompareTime(&a, &b), 1);
  b.tm_sec = 1;
  EXPECT_EQ(CompareTime(&a, &b), 0);
  b = a;
  b.tm_year = 125;
  b.tm_mon = 12;
  EXPECT_EQ(CompareTime(&a, &b), 1);  // the year decides before the month
  EXPECT_EQ(CompareTime(&b, &a), 0);
  EXPECT_EQ(CompareTime(nullptr, &a), 0);
}

// ---------------------------------------------------------------- directories and keys

TEST(Files, IsDirectory) {
  auto dir = std::filesystem::temp_directory_path();
  EXPECT_EQ(IsDirectory(dir.string().c_str()), 1);
  auto file = dir / ("store-util-isdir-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".txt");
  { std::FILE* f = std::fopen(file.string().c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
  EXPECT_EQ(IsDirectory(file.string().c_str()), 0);
  std::filesystem::remove(file);
  EXPECT_EQ(IsDirectory(file.string().c_str()), 0);
  EXPECT_EQ(IsDirectory(nullptr), 0);
}

TEST(Keys, EncryptDecryptKeyTable) {
  struct Case {
    std::int32_t seed;
    std::uint8_t mask;
  };
  const Case cases[] = {
      {0, 9},
      {10, 19},
      {246, 255},        // k = 255
      {247, 256 % 255},  // k = 256 becomes 1
      {300, 309 % 255},
      {-9, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    std::uint8_t buffer[] = {0x00, 0xFF, 'a'};
    EncryptDecryptKey(buffer, 3, c.seed);
    EXPECT_EQ(buffer[0], c.mask);
    EXPECT_EQ(buffer[1], static_cast<std::uint8_t>(0xFF ^ c.mask));
    EncryptDecryptKey(buffer, 3, c.seed);
    EXPECT_EQ(buffer[2], 'a');
    EXPECT_EQ(buffer[1], 0xFF);
  }
  LogCapture log;
  EncryptDecryptKey(nullptr, 3, 1);
  EXPECT_TRUE(log.HasTrace("\t\t@@@@@ Inside EncryptDecryptKey() @@@@@\n"));
}

}  // namespace
