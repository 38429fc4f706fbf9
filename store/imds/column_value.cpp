#include "store/imds/column_value.h"

#include <apr_strings.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "agent/log_writer.h"
#include "store/imds/qel_date_time.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

namespace {

struct TypeName {
  const char* name;
  ColumnType type;
};

// Searched in this order; the first name that matches gives the code.
constexpr std::array<TypeName, 34> kTypeNames = {{
    {"QEL_SQL_NOT_SUPPORTED_TYPE", QEL_SQL_NOT_SUPPORTED_TYPE},
    {"QEL_SQL_TINYINT", QEL_SQL_TINYINT},
    {"QEL_SQL_UNSIGNED_TINYINT", QEL_SQL_UNSIGNED_TINYINT},
    {"QEL_SQL_SMALLINT", QEL_SQL_SMALLINT},
    {"QEL_SQL_UNSIGNED_SMALLINT", QEL_SQL_UNSIGNED_SMALLINT},
    {"QEL_SQL_INT", QEL_SQL_INT},
    {"BIGINT", QEL_SQL_BIGINT},
    {"INTEGER", QEL_SQL_INT},
    {"QEL_SQL_UNSIGNED_INT", QEL_SQL_UNSIGNED_INT},
    {"LONG", QEL_SQL_INT},
    {"QEL_SQL_UNSIGNED_LONG_INT", QEL_SQL_UNSIGNED_LONG_INT},
    {"QEL_SQL_FLOAT", QEL_SQL_FLOAT},
    {"FLOAT", QEL_SQL_FLOAT},
    {"QEL_SQL_DOUBLE", QEL_SQL_DOUBLE},
    {"QEL_SQL_REAL", QEL_SQL_REAL},
    {"QEL_SQL_DECIMAL", QEL_SQL_DECIMAL},
    {"QEL_SQL_NUMERIC", QEL_SQL_NUMERIC},
    {"QEL_SQL_CHAR", QEL_SQL_CHAR},
    {"CHAR", QEL_SQL_VARCHAR},
    {"NCHAR", QEL_SQL_VARCHAR},
    {"QEL_SQL_TEXT", QEL_SQL_TEXT},
    {"TEXT", QEL_SQL_TEXT},
    {"QEL_SQL_DATE", QEL_SQL_DATE},
    {"DATE", QEL_SQL_DATE},
    {"QEL_SQL_TIME", QEL_SQL_TIME},
    {"TIME", QEL_SQL_TIME},
    {"QEL_SQL_DATETIME", QEL_SQL_DATETIME},
    {"DATETIME", QEL_SQL_DATETIME},
    {"TIMESTAMP", QEL_SQL_DATETIME},
    {"QEL_SQL_CLOB", QEL_SQL_CLOB},
    {"CLOB", QEL_SQL_CLOB},
    {"QEL_SQL_BLOB", QEL_SQL_BLOB},
    {"BLOB", QEL_SQL_BLOB},
    {"BOOLEAN", QEL_SQL_BOOLEAN},
}};

constexpr std::array<std::int32_t, 12> kFixedWidths = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 4};

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// Digits after an optional sign, accumulated with wrapping unsigned arithmetic.
template <typename Unsigned>
Unsigned ParseWrapping(const char* text) {
  if (text == nullptr) return 0;
  const char* pos = text;
  const bool negative = *pos == '-';
  if (*pos == '-' || *pos == '+') ++pos;
  Unsigned value = 0;
  for (; *pos != '\0'; ++pos) {
    if (!IsDigit(*pos)) return 0;
    value = static_cast<Unsigned>(value * 10u + static_cast<Unsigned>(*pos - '0'));
  }
  return negative ? static_cast<Unsigned>(Unsigned{0} - value) : value;
}

template <typename T>
void* NewFixed(T value, std::int32_t* length) {
  void* block = VtMalloc(sizeof(T));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &value, sizeof(T));
  *length = static_cast<std::int32_t>(sizeof(T));
  return block;
}

// The first `count` bytes of text with a terminating zero.
void* NewBytes(const char* text, std::int32_t count) {
  auto* block = static_cast<char*>(VtMalloc(static_cast<std::size_t>(count) + 1));
  if (block == nullptr) return nullptr;
  std::memcpy(block, text, static_cast<std::size_t>(count));
  block[count] = '\0';
  return block;
}

char* NewString(std::string_view text) {
  auto* copy = static_cast<char*>(VtMalloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

template <typename T>
T Read(const void* value) {
  T out;
  std::memcpy(&out, value, sizeof(T));
  return out;
}

std::string Printf(const char* format, double value) {
  int size = std::snprintf(nullptr, 0, format, value);
  if (size <= 0) return std::string();
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, value);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

// The text of a non-null value of codes 1-15, 19-22; nullopt for 0 and above 22.
// Dates are left to the caller, which alone knows whether they are wanted.
std::optional<std::string> PlainValueText(const void* value, ColumnType type) {
  switch (type) {
    case QEL_SQL_TINYINT:
      return std::to_string(Read<std::int8_t>(value));
    case QEL_SQL_UNSIGNED_TINYINT:
      return std::to_string(Read<std::uint8_t>(value));
    case QEL_SQL_SMALLINT:
      return std::to_string(Read<std::int16_t>(value));
    case QEL_SQL_UNSIGNED_SMALLINT:
      return std::to_string(Read<std::uint16_t>(value));
    case QEL_SQL_INT:
      return std::to_string(Read<std::int32_t>(value));
    case QEL_SQL_UNSIGNED_INT:
      return std::to_string(Read<std::uint32_t>(value));
    case QEL_SQL_BIGINT:
      return std::to_string(Read<std::int64_t>(value));
    case QEL_SQL_UNSIGNED_LONG_INT:
      return std::to_string(Read<std::uint64_t>(value));
    case QEL_SQL_FLOAT:
    case QEL_SQL_REAL:
      return Printf("%f", static_cast<double>(Read<float>(value)));
    case QEL_SQL_DOUBLE:
      return Printf("%f", Read<double>(value));
    case QEL_SQL_DECIMAL:
    case QEL_SQL_NUMERIC:
    case QEL_SQL_CHAR:
    case QEL_SQL_VARCHAR:
    case QEL_SQL_BLOB:
    case QEL_SQL_CLOB:
    case QEL_SQL_TEXT:
      return std::string(static_cast<const char*>(value));
    case QEL_SQL_BOOLEAN:
      return std::string(Read<std::uint8_t>(value) == 1 ? "'t'" : "'f'");
    default:
      return std::nullopt;
  }
}

bool IsTemporal(ColumnType type) { return type == QEL_SQL_DATE || type == QEL_SQL_TIME || type == QEL_SQL_DATETIME; }

}  // namespace

ColumnType GetColumnTypeFromName(const char* typeName) {
  if (typeName == nullptr) {
    LogError("Column data type not supported - Error while creating column definition.\n");
    return QEL_SQL_NOT_SUPPORTED_TYPE;
  }
  for (const TypeName& entry : kTypeNames) {
    if (CompareNoCase(typeName, entry.name) == 0) return entry.type;
  }
  return QEL_SQL_NOT_SUPPORTED_TYPE;
}

std::int32_t GetFixedColumnWidth(ColumnType type) {
  return type < kFixedWidths.size() ? kFixedWidths[type] : 0;
}

std::int32_t ParseIntegerValue(const char* text) {
  return static_cast<std::int32_t>(ParseWrapping<std::uint32_t>(text));
}

std::int64_t ParseBigIntValue(const char* text) {
  return static_cast<std::int64_t>(ParseWrapping<std::uint64_t>(text));
}

double ParseDoubleValue(const char* text) {
  if (text == nullptr) return 0;
  std::string_view rest(text);
  const bool negative = !rest.empty() && rest.front() == '-';
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) rest.remove_prefix(1);
  bool sawDigit = false;
  bool sawPoint = false;
  for (char ch : rest) {
    if (IsDigit(ch)) {
      sawDigit = true;
    } else if (ch == '.' && !sawPoint) {
      sawPoint = true;
    } else {
      return 0;
    }
  }
  if (!sawDigit) return 0;
  double value = 0;
  auto result = std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::fixed);
  if (result.ec == std::errc::result_out_of_range) value = std::numeric_limits<double>::infinity();
  return negative ? -value : value;
}

void* ConvertStringToColumnValue(const char* text, std::int32_t* length, ColumnType type) {
  if (text == nullptr || length == nullptr) return nullptr;
  switch (type) {
    case QEL_SQL_TINYINT:
      return NewFixed(static_cast<std::int8_t>(ParseIntegerValue(text)), length);
    case QEL_SQL_UNSIGNED_TINYINT:
      return NewFixed(static_cast<std::uint8_t>(ParseIntegerValue(text)), length);
    case QEL_SQL_SMALLINT:
      return NewFixed(static_cast<std::int16_t>(ParseIntegerValue(text)), length);
    case QEL_SQL_UNSIGNED_SMALLINT:
      return NewFixed(static_cast<std::uint16_t>(ParseIntegerValue(text)), length);
    case QEL_SQL_INT:
      return NewFixed(ParseIntegerValue(text), length);
    case QEL_SQL_UNSIGNED_INT:
      return NewFixed(static_cast<std::uint32_t>(ParseIntegerValue(text)), length);
    case QEL_SQL_BIGINT:
      return NewFixed(ParseBigIntValue(text), length);
    case QEL_SQL_UNSIGNED_LONG_INT:
      return NewFixed(static_cast<std::uint64_t>(ParseBigIntValue(text)), length);
    case QEL_SQL_FLOAT:
    case QEL_SQL_REAL:
      return NewFixed(static_cast<float>(ParseDoubleValue(text)), length);
    case QEL_SQL_DOUBLE:
      return NewFixed(ParseDoubleValue(text), length);
    case QEL_SQL_NOT_SUPPORTED_TYPE:
    case QEL_SQL_DECIMAL:
    case QEL_SQL_NUMERIC:
    case QEL_SQL_BLOB:
    case QEL_SQL_CLOB:
      return *length < 0 ? nullptr : NewBytes(text, *length);
    case QEL_SQL_CHAR:
    case QEL_SQL_VARCHAR:
    case QEL_SQL_TEXT: {
      const std::size_t size = std::strlen(text);
      if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return nullptr;
      *length = static_cast<std::int32_t>(size);
      return NewBytes(text, *length);
    }
    case QEL_SQL_DATE:
    case QEL_SQL_TIME:
    case QEL_SQL_DATETIME:
      *length = kQelDateTimeValueLength;
      return ConvertStringToQelDateTime(text);
    case QEL_SQL_BOOLEAN:
      *length = 1;
      if (CompareNoCase(text, "TRUE") == 0) return NewFixed(std::uint8_t{1}, length);
      if (CompareNoCase(text, "FALSE") == 0) return NewFixed(std::uint8_t{0}, length);
      return nullptr;
  }
  return nullptr;
}

char* ConvertColumnValueToString(const void* value, ColumnType type) {
  if (value == nullptr) return NewString("NULL");
  if (IsTemporal(type)) return QelDateTimeToString(static_cast<const QelDateTime*>(value));
  std::optional<std::string> text = PlainValueText(value, type);
  return text ? NewString(*text) : nullptr;
}

char* ConvertColumnValueToPoolString(const void* value, ColumnType type, apr_pool_t* pool) {
  if (pool == nullptr || type == QEL_SQL_NOT_SUPPORTED_TYPE || IsTemporal(type) || type >= QEL_SQL_BLOB) {
    return nullptr;
  }
  if (value == nullptr) return apr_pstrdup(pool, "NULL");
  std::optional<std::string> text = PlainValueText(value, type);
  return text ? apr_pstrmemdup(pool, text->data(), text->size()) : nullptr;
}

void FreeColumnValue(void* value, ColumnType type) {
  if (IsTemporal(type)) {
    FreeQelDateTime(static_cast<QelDateTime*>(value));
  } else {
    std::free(value);
  }
}
