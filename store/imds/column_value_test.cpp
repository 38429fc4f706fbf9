#include "store/imds/column_value.h"

#include <apr_general.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "store/imds/qel_date_time.h"
#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

std::string Take(char* text) {
  if (text == nullptr) return "<null>";
  std::string copy(text);
  std::free(text);
  return copy;
}

std::string Hex(const void* data, std::int32_t length) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::int32_t i = 0; i < length; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

TEST(ColumnType, NamesMapToCodesWithoutRegardToCase) {
  struct Row {
    const char* name;
    int code;
  };
  const Row rows[] = {
      {"QEL_SQL_NOT_SUPPORTED_TYPE", 0}, {"QEL_SQL_TINYINT", 1},  {"qel_sql_unsigned_tinyint", 2},
      {"QEL_SQL_SMALLINT", 3},           {"QEL_SQL_UNSIGNED_SMALLINT", 4},
      {"QEL_SQL_INT", 5},                {"Integer", 5},          {"LONG", 5},
      {"QEL_SQL_UNSIGNED_INT", 6},       {"bigint", 7},           {"QEL_SQL_UNSIGNED_LONG_INT", 8},
      {"QEL_SQL_FLOAT", 9},              {"float", 9},            {"QEL_SQL_DOUBLE", 10},
      {"QEL_SQL_REAL", 11},              {"QEL_SQL_DECIMAL", 12}, {"QEL_SQL_NUMERIC", 13},
      {"QEL_SQL_CHAR", 14},              {"CHAR", 15},            {"char", 15},
      {"NChar", 15},                     {"QEL_SQL_DATE", 16},    {"Date", 16},
      {"QEL_SQL_TIME", 17},              {"time", 17},            {"QEL_SQL_DATETIME", 18},
      {"DateTime", 18},                  {"TIMESTAMP", 18},       {"Boolean", 19},
      {"QEL_SQL_BLOB", 20},              {"blob", 20},            {"QEL_SQL_CLOB", 21},
      {"Clob", 21},                      {"QEL_SQL_TEXT", 22},    {"text", 22},
      // Not in the table: code 0 without a message.
      {"VARCHAR", 0},                    {"SMALLINT", 0},         {"QEL_SQL_VARCHAR", 0},
      {"QEL_SQL_BOOLEAN", 0},            {"", 0},                 {" INT", 0},
  };
  LogCapture log;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(GetColumnTypeFromName(row.name), row.code);
  }
  EXPECT_FALSE(log.HasError("Column data type not supported - Error while creating column definition.\n"));
  EXPECT_EQ(GetColumnTypeFromName(nullptr), 0);
  EXPECT_TRUE(log.HasError("Column data type not supported - Error while creating column definition.\n"));
}

TEST(ColumnType, FixedWidths) {
  const std::int32_t widths[] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 4};
  for (int code = 0; code <= 22; ++code) {
    SCOPED_TRACE(code);
    EXPECT_EQ(GetFixedColumnWidth(static_cast<ColumnType>(code)), code < 12 ? widths[code] : 0);
  }
}

struct CodecCase {
  int type;
  const char* text;
  std::int32_t inLength;  // -1: strlen(text)
  const char* bytes;      // hexadecimal of the value (with its terminator where one is added)
  std::int32_t outLength;
  const char* back;       // ConvertColumnValueToString
};

// Every type code, both ways.
const CodecCase kCodecCases[] = {
    {1, "-7", -1, "F9", 1, "-7"},
    {1, "300", -1, "2C", 1, "44"},
    {2, "255", -1, "FF", 1, "255"},
    {2, "-1", -1, "FF", 1, "255"},
    {3, "-32768", -1, "0080", 2, "-32768"},
    {4, "65535", -1, "FFFF", 2, "65535"},
    {5, "12x", -1, "00000000", 4, "0"},
    {5, "+17", -1, "11000000", 4, "17"},
    {5, "2147483648", -1, "00000080", 4, "-2147483648"},
    {5, "", -1, "00000000", 4, "0"},
    {5, "-", -1, "00000000", 4, "0"},
    {6, "4294967295", -1, "FFFFFFFF", 4, "4294967295"},
    {7, "5000000000", -1, "00F2052A01000000", 8, "5000000000"},
    {7, "-9223372036854775808", -1, "0000000000000080", 8, "-9223372036854775808"},
    {8, "18446744073709551615", -1, "FFFFFFFFFFFFFFFF", 8, "18446744073709551615"},
    {9, "2.5", -1, "00002040", 4, "2.500000"},
    {10, "1.5e3", -1, "0000000000000000", 8, "0.000000"},
    {10, "-.5", -1, "000000000000E0BF", 8, "-0.500000"},
    {11, "-0.25", -1, "000080BE", 4, "-0.250000"},
    {12, "12.50", 3, "31322E00", 3, "12."},
    {13, "007", -1, "30303700", 3, "007"},
    {14, "abc", 1, "61626300", 3, "abc"},
    {15, "", -1, "00", 0, ""},
    {19, "true", -1, "01", 1, "'t'"},
    {19, "False", -1, "00", 1, "'f'"},
    {20, "a\0b", 3, "61006200", 3, "a"},
    {21, "clob", -1, "636C6F6200", 4, "clob"},
    {22, "long text", -1, "6C6F6E67207465787400", 9, "long text"},
    {0, "xyz", 2, "787900", 2, "<null>"},
};

TEST(ColumnValue, ConvertsEveryTypeBothWays) {
  for (const CodecCase& c : kCodecCases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " text \"" + c.text + "\"");
    std::int32_t length = c.inLength >= 0 ? c.inLength : static_cast<std::int32_t>(std::strlen(c.text));
    auto type = static_cast<ColumnType>(c.type);
    void* value = ConvertStringToColumnValue(c.text, &length, type);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(length, c.outLength);
    const std::int32_t stored = static_cast<std::int32_t>(std::strlen(c.bytes) / 2);
    EXPECT_EQ(Hex(value, stored), c.bytes);
    EXPECT_EQ(Take(ConvertColumnValueToString(value, type)), c.back);
    FreeColumnValue(value, type);
  }
}

TEST(ColumnValue, DatesAlwaysGetBothParts) {
  const struct {
    int type;
    const char* text;
    const char* back;
  } rows[] = {
      {16, "2024-05-01", "2024-05-01 00:00:00"},
      {17, "10:30:00", "0000-00-00 10:30:00"},
      {18, "2024-05-01 10:30:00", "2024-05-01 10:30:00"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    std::int32_t length = 0;
    auto type = static_cast<ColumnType>(row.type);
    auto* value = static_cast<QelDateTime*>(ConvertStringToColumnValue(row.text, &length, type));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(length, kQelDateTimeValueLength);
    EXPECT_NE(value->date, nullptr);
    EXPECT_NE(value->time, nullptr);
    EXPECT_EQ(Take(ConvertColumnValueToString(value, type)), row.back);
    FreeColumnValue(value, type);
  }
  // A date-only record keeps its own form.
  QelDate date{2024, 5, 1};
  QelDateTime dateOnly{&date, nullptr};
  EXPECT_EQ(Take(ConvertColumnValueToString(&dateOnly, QEL_SQL_DATE)), "2024-05-01");
}

TEST(ColumnValue, RefusedConversions) {
  std::int32_t length = 3;
  EXPECT_EQ(ConvertStringToColumnValue("yes", &length, QEL_SQL_BOOLEAN), nullptr);
  EXPECT_EQ(ConvertStringToColumnValue("noon", &length, QEL_SQL_DATE), nullptr);
  EXPECT_EQ(ConvertStringToColumnValue(nullptr, &length, QEL_SQL_INT), nullptr);
  EXPECT_EQ(ConvertStringToColumnValue("1", nullptr, QEL_SQL_INT), nullptr);
  EXPECT_EQ(ConvertStringToColumnValue("1", &length, static_cast<ColumnType>(23)), nullptr);
  length = -1;
  EXPECT_EQ(ConvertStringToColumnValue("abc", &length, QEL_SQL_BLOB), nullptr);

  EXPECT_EQ(Take(ConvertColumnValueToString(nullptr, QEL_SQL_INT)), "NULL");
  EXPECT_EQ(Take(ConvertColumnValueToString(nullptr, QEL_SQL_DATE)), "NULL");
  const std::int32_t number = 5;
  EXPECT_EQ(Take(ConvertColumnValueToString(&number, static_cast<ColumnType>(23))), "<null>");
  const std::uint8_t two = 2;
  EXPECT_EQ(Take(ConvertColumnValueToString(&two, QEL_SQL_BOOLEAN)), "'f'");
}

TEST(ColumnValue, NumberParsers) {
  const struct {
    const char* text;
    std::int32_t integer;
    std::int64_t bigint;
    double real;
  } rows[] = {
      {"0", 0, 0, 0.0},
      {"42", 42, 42, 42.0},
      {"+42", 42, 42, 42.0},
      {"-42", -42, -42, -42.0},
      {"4294967297", 1, 4294967297LL, 4294967297.0},
      {"9223372036854775808", 0, INT64_MIN, 9223372036854775808.0},
      {"1.25", 0, 0, 1.25},
      {"-1.25", 0, 0, -1.25},
      {"5.", 0, 0, 5.0},
      {".", 0, 0, 0.0},
      {"1.2.3", 0, 0, 0.0},
      {"1e3", 0, 0, 0.0},
      {" 1", 0, 0, 0.0},
      {"1 ", 0, 0, 0.0},
      {"", 0, 0, 0.0},
      {"+", 0, 0, 0.0},
      {"--1", 0, 0, 0.0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(ParseIntegerValue(row.text), row.integer);
    EXPECT_EQ(ParseBigIntValue(row.text), row.bigint);
    EXPECT_DOUBLE_EQ(ParseDoubleValue(row.text), row.real);
  }
  EXPECT_EQ(ParseIntegerValue(nullptr), 0);
  EXPECT_EQ(ParseBigIntValue(nullptr), 0);
  EXPECT_EQ(ParseDoubleValue(nullptr), 0.0);
  EXPECT_TRUE(std::isinf(ParseDoubleValue(std::string(400, '9').c_str())));
}

class PoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(apr_initialize(), APR_SUCCESS);
    ASSERT_EQ(apr_pool_create(&pool_, nullptr), APR_SUCCESS);
  }
  void TearDown() override {
    apr_pool_destroy(pool_);
    apr_terminate();
  }
  apr_pool_t* pool_ = nullptr;
};

TEST_F(PoolTest, PoolTextsMatchHeapTextsForSqlTypes) {
  for (const CodecCase& c : kCodecCases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " text \"" + c.text + "\"");
    std::int32_t length = c.inLength >= 0 ? c.inLength : static_cast<std::int32_t>(std::strlen(c.text));
    auto type = static_cast<ColumnType>(c.type);
    void* value = ConvertStringToColumnValue(c.text, &length, type);
    ASSERT_NE(value, nullptr);
    const char* pooled = ConvertColumnValueToPoolString(value, type, pool_);
    const bool expected = (c.type >= 1 && c.type <= 15) || c.type == 19;
    if (expected) {
      ASSERT_NE(pooled, nullptr);
      EXPECT_EQ(std::string(pooled), c.back);
    } else {
      EXPECT_EQ(pooled, nullptr);
    }
    FreeColumnValue(value, type);
  }
  std::int32_t length = 0;
  void* date = ConvertStringToColumnValue("2024-05-01", &length, QEL_SQL_DATE);
  EXPECT_EQ(ConvertColumnValueToPoolString(date, QEL_SQL_DATE, pool_), nullptr);
  FreeColumnValue(date, QEL_SQL_DATE);

  const char* null = ConvertColumnValueToPoolString(nullptr, QEL_SQL_INT, pool_);
  ASSERT_NE(null, nullptr);
  EXPECT_STREQ(null, "NULL");
  const std::int32_t number = 7;
  EXPECT_EQ(ConvertColumnValueToPoolString(&number, QEL_SQL_INT, nullptr), nullptr);
}

TEST(ColumnValue, AllocationFailureGivesNull) {
  for (int code = 0; code <= 22; ++code) {
    SCOPED_TRACE(code);
    auto type = static_cast<ColumnType>(code);
    const char* text = code == 19 ? "true" : (code >= 16 && code <= 18) ? "2024-05-01 10:00:00" : "12";
    std::int32_t length = 2;
    VtFailAllocationAt(1);
    EXPECT_EQ(ConvertStringToColumnValue(text, &length, type), nullptr);
    VtFailAllocationAt(0);
  }
  const std::int32_t number = 7;
  VtFailAllocationAt(1);
  EXPECT_EQ(ConvertColumnValueToString(&number, QEL_SQL_INT), nullptr);
  VtFailAllocationAt(0);
}

}  // namespace
