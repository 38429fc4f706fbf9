#include "store/imds/scan_date_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 7> kDayAbbreviations = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonthNames = {"January", "February", "March",     "April",
                                                          "May",     "June",     "July",      "August",
                                                          "September", "October", "November", "December"};
constexpr std::array<std::string_view, 12> kMonthAbbreviations = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr int kTmYearBase = 1900;

bool IsSpace(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }
char FoldCase(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch; }

// True when `text` starts with `word`, ASCII letters compared without regard to case.
bool StartsWithNoCase(const char* text, std::string_view word) {
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (text[i] == '\0' || FoldCase(text[i]) != FoldCase(word[i])) return false;
  }
  return true;
}

// True when `text` is exactly `word`, compared without regard to case.
bool EqualsNoCase(const char* text, std::string_view word) {
  return StartsWithNoCase(text, word) && text[word.size()] == '\0';
}

int DigitCount(int value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

enum class Modifier { kNone, kE, kO };

// Walks one format over the text. The split-year flag lives across sub-formats, so a
// century read by %C pairs with a two-digit year read by %y in either order.
class Scanner {
 public:
  Scanner(const char* text, std::tm* tm) : pos_(text), tm_(tm) {}

  const char* Run(const char* format) { return Scan(format) ? pos_ : nullptr; }

 private:
  bool Scan(const char* format) {
    for (const char* f = format; *f != '\0'; ++f) {
      if (IsSpace(*f)) {
        SkipSpace();
      } else if (*f != '%') {
        if (*pos_ != *f) return false;
        ++pos_;
      } else {
        Modifier modifier = Modifier::kNone;
        ++f;
        if (*f == 'E' || *f == 'O') {
          modifier = *f == 'E' ? Modifier::kE : Modifier::kO;
          ++f;
        }
        if (*f < '%' || *f > 'y') return false;
        if (!Directive(*f, modifier)) return false;
      }
    }
    return true;
  }

  void SkipSpace() {
    while (IsSpace(*pos_)) ++pos_;
  }

  // Digits one at a time, stopping where one more digit would pass `max` or would be
  // more digits than `max` has; the value must then lie in min..max.
  bool Number(int min, int max, int& value) {
    if (!IsDigit(*pos_)) return false;
    const int maxDigits = DigitCount(max);
    value = 0;
    for (int digits = 1;; ++digits) {
      value = value * 10 + (*pos_ - '0');
      ++pos_;
      if (value * 10 > max || digits >= maxDigits || !IsDigit(*pos_)) break;
    }
    return value >= min && value <= max;
  }

  bool StoreNumber(int min, int max, int& field, int offset = 0) {
    int value = 0;
    if (!Number(min, max, value)) return false;
    field = value + offset;
    return true;
  }

  // For each entry in turn the full name, then its abbreviation; the first match wins.
  template <std::size_t N>
  bool Name(const std::array<std::string_view, N>& full, const std::array<std::string_view, N>& shortNames,
            int& field) {
    for (std::size_t i = 0; i < N; ++i) {
      for (std::string_view word : {full[i], shortNames[i]}) {
        if (StartsWithNoCase(pos_, word)) {
          pos_ += word.size();
          field = static_cast<int>(i);
          return true;
        }
      }
    }
    return false;
  }

  std::int64_t FullYear() const { return static_cast<std::int64_t>(tm_->tm_year) + kTmYearBase; }

  bool Century() {
    int century = 0;
    if (!Number(0, 99, century)) return false;
    std::int64_t year = 100 * static_cast<std::int64_t>(century);
    if (splitYear_) year += FullYear() % 100;
    tm_->tm_year = static_cast<int>(year - kTmYearBase);
    splitYear_ = true;
    return true;
  }

  bool TwoDigitYear() {
    int yy = 0;
    if (!Number(0, 99, yy)) return false;
    std::int64_t year = 0;
    if (splitYear_) {
      year = FullYear() / 100 * 100 + yy;
    } else {
      year = yy <= 68 ? 2000 + yy : 1900 + yy;
      splitYear_ = true;
    }
    tm_->tm_year = static_cast<int>(year - kTmYearBase);
    return true;
  }

  bool AmPm() {
    const bool am = EqualsNoCase(pos_, "AM");
    const bool pm = EqualsNoCase(pos_, "PM");
    if ((!am && !pm) || tm_->tm_hour > 11) return false;
    if (pm) tm_->tm_hour += 12;
    pos_ += 2;
    return true;
  }

  static bool ModifierAllowed(char directive, Modifier modifier) {
    constexpr std::string_view kWithE = "%CcxXYy";
    constexpr std::string_view kWithO = "%deHIMmSUwWy";
    switch (modifier) {
      case Modifier::kNone:
        return true;
      case Modifier::kE:
        return kWithE.find(directive) != std::string_view::npos;
      case Modifier::kO:
        return kWithO.find(directive) != std::string_view::npos;
    }
    return false;
  }

  bool Directive(char directive, Modifier modifier) {
    if (!ModifierAllowed(directive, modifier)) return false;
    switch (directive) {
      case '%':
        if (*pos_ != '%') return false;
        ++pos_;
        return true;
      case 'A':
      case 'a':
        return Name(kDayNames, kDayAbbreviations, tm_->tm_wday);
      case 'B':
      case 'b':
      case 'h':
        return Name(kMonthNames, kMonthAbbreviations, tm_->tm_mon);
      case 'C':
        return Century();
      case 'D':
      case 'x':
        return Scan("%m/%d/%y");
      case 'H':
      case 'k':
        return StoreNumber(0, 23, tm_->tm_hour);
      case 'I':
      case 'l': {
        int hour = 0;
        if (!Number(1, 12, hour)) return false;
        tm_->tm_hour = hour == 12 ? 0 : hour;
        return true;
      }
      case 'M':
        return StoreNumber(0, 59, tm_->tm_min);
      case 'S':
        return StoreNumber(0, 61, tm_->tm_sec);
      case 'R':
        return Scan("%H:%M");
      case 'T':
      case 'X':
        return Scan("%H:%M:%S");
      case 'c':
        return Scan("%x %X");
      case 'r':
        return Scan("%I:%M:%S %p");
      case 'U':
      case 'W': {
        int week = 0;
        return Number(0, 53, week);
      }
      case 'w':
        return StoreNumber(0, 6, tm_->tm_wday);
      case 'Y':
        return StoreNumber(0, 9999, tm_->tm_year, -kTmYearBase);
      case 'y':
        return TwoDigitYear();
      case 'd':
      case 'e':
        return StoreNumber(1, 31, tm_->tm_mday);
      case 'j':
        return StoreNumber(1, 366, tm_->tm_yday, -1);
      case 'm':
        return StoreNumber(1, 12, tm_->tm_mon, -1);
      case 'n':
      case 't':
        SkipSpace();
        return true;
      case 'p':
        return AmPm();
      default:
        return false;
    }
  }

  const char* pos_;
  std::tm* tm_;
  bool splitYear_ = false;
};

}  // namespace

const char* ScanDateTime(const char* text, const char* format, std::tm* brokenDown) {
  if (text == nullptr || format == nullptr || brokenDown == nullptr) return nullptr;
  return Scanner(text, brokenDown).Run(format);
}
