// Column type codes, the dictionary names for them, and the value codec: how a value
// of each type is held (an untyped buffer with a byte length; null is SQL NULL) and its
// conversions from and to text. Values and texts handed out come from VtMalloc and are
// the caller's (values of types 16-18 are QelDateTime records: free them with
// FreeColumnValue); pool texts live in the caller's APR pool. No state; thread-safe.
#pragma once

#include <apr_pools.h>

#include <cstdint>

enum ColumnType : std::uint8_t {
  QEL_SQL_NOT_SUPPORTED_TYPE = 0,
  QEL_SQL_TINYINT = 1,
  QEL_SQL_UNSIGNED_TINYINT = 2,
  QEL_SQL_SMALLINT = 3,
  QEL_SQL_UNSIGNED_SMALLINT = 4,
  QEL_SQL_INT = 5,
  QEL_SQL_UNSIGNED_INT = 6,
  QEL_SQL_BIGINT = 7,
  QEL_SQL_UNSIGNED_LONG_INT = 8,
  QEL_SQL_FLOAT = 9,
  QEL_SQL_DOUBLE = 10,
  QEL_SQL_REAL = 11,
  QEL_SQL_DECIMAL = 12,
  QEL_SQL_NUMERIC = 13,
  QEL_SQL_CHAR = 14,
  QEL_SQL_VARCHAR = 15,
  QEL_SQL_DATE = 16,
  QEL_SQL_TIME = 17,
  QEL_SQL_DATETIME = 18,
  QEL_SQL_BOOLEAN = 19,
  QEL_SQL_BLOB = 20,
  QEL_SQL_CLOB = 21,
  QEL_SQL_TEXT = 22,
};

// The highest type code; the set is closed.
inline constexpr std::uint8_t kMaxColumnType = QEL_SQL_TEXT;
// The length recorded for a date, time or date-time value (a QelDateTime record).
inline constexpr std::int32_t kQelDateTimeValueLength = 11;

// The code for a dictionary type name, compared without regard to case; 0 for names
// not in the table. A null name gives 0 and logs
// "Column data type not supported - Error while creating column definition.\n".
ColumnType GetColumnTypeFromName(const char* typeName);
// The fixed width in bytes of codes 0-11 (0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 4); 0 for
// the types held by length.
std::int32_t GetFixedColumnWidth(ColumnType type);

// A new value from text. `length` is in-out: on entry the byte count of `text` for the
// types copied as bytes (0, 12, 13, 20, 21), on return the value's length. Null for a
// null text or length, a negative length, a boolean other than TRUE/FALSE (any case),
// an unknown code or when out of memory; *length is then unspecified.
void* ConvertStringToColumnValue(const char* text, std::int32_t* length, ColumnType type);
// A new text of a value: "NULL" for a null value; null for code 0, codes above 22 or
// when out of memory. Booleans give "'t'" / "'f'", dates their QelDateTime text.
char* ConvertColumnValueToString(const void* value, ColumnType type);
// The same texts allocated from `pool` (released with it), for codes 1-15 and 19; null
// for the other codes, a null pool or when the pool has no memory.
char* ConvertColumnValueToPoolString(const void* value, ColumnType type, apr_pool_t* pool);
// Frees a value made by the conversions above (a QelDateTime with its parts for 16-18).
void FreeColumnValue(void* value, ColumnType type);

// An optional sign and decimal digits, wrapping on overflow; 0 when anything else
// occurs, for an empty text, a lone sign or a null text.
std::int32_t ParseIntegerValue(const char* text);
std::int64_t ParseBigIntValue(const char* text);
// An optional sign, digits, optionally "." and more digits (no exponent); 0 when
// anything else occurs or no digit is present. Digits beyond a double's range give
// an infinity of the sign.
double ParseDoubleValue(const char* text);
