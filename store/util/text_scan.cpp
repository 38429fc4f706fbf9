#include "store/util/text_scan.h"

#include <cctype>
#include <cstddef>
#include <limits>

namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
  }

  bool Number(std::int32_t& value) {
    SkipBlanks();
    std::size_t from = at_;
    bool negative = false;
    if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) negative = text_[at_++] == '-';
    std::int64_t magnitude = 0;
    std::size_t digits = 0;
    for (; at_ < text_.size() && IsDigit(text_[at_]); ++at_, ++digits) {
      magnitude = magnitude * 10 + (text_[at_] - '0');
      if (magnitude > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) {
        at_ = from;
        return false;
      }
    }
    std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (digits == 0 || signedValue > std::numeric_limits<std::int32_t>::max()) {
      at_ = from;
      return false;
    }
    value = static_cast<std::int32_t>(signedValue);
    return true;
  }

  bool Word(std::string& word, std::size_t maxLength) {
    SkipBlanks();
    std::size_t from = at_;
    while (at_ < text_.size() && !IsBlank(text_[at_]) && at_ - from < maxLength) ++at_;
    if (at_ == from) return false;
    word.assign(text_.substr(from, at_ - from));
    return true;
  }

  bool Character(char& c) {
    if (at_ >= text_.size()) return false;
    c = text_[at_++];
    return true;
  }

  bool Literal(char c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// Reads the width digits of a conversion starting at format[i]; 0 when there are none.
std::size_t Width(std::string_view format, std::size_t& i) {
  std::size_t width = 0;
  while (i < format.size() && IsDigit(format[i])) width = width * 10 + static_cast<std::size_t>(format[i++] - '0');
  return width;
}

// Reads one conversion (format[i] is the letter after "%" and any width). False on a
// mismatch or an unknown conversion.
bool Convert(Reader& reader, char conversion, std::size_t width, std::vector<ScannedField>& fields) {
  ScannedField field;
  bool read = false;
  switch (conversion) {
    case 'd': read = reader.Number(field.number); break;
    case 's': read = reader.Word(field.word, width == 0 ? std::string::npos : width); break;
    case 'c': read = reader.Character(field.character); break;
    default: return false;
  }
  if (read) fields.push_back(std::move(field));
  return read;
}

}  // namespace

std::vector<ScannedField> ScanText(std::string_view text, std::string_view format) {
  std::vector<ScannedField> fields;
  Reader reader(text);
  for (std::size_t i = 0; i < format.size(); ++i) {
    char f = format[i];
    if (IsBlank(f)) {
      reader.SkipBlanks();
    } else if (f == '%' && i + 1 < format.size()) {
      ++i;
      std::size_t width = Width(format, i);
      if (i >= format.size() || !Convert(reader, format[i], width, fields)) break;
    } else if (!reader.Literal(f)) {
      break;
    }
  }
  return fields;
}
