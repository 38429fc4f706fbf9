#include "store/util/text_scan.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

// The fields as text: numbers as digits, words as themselves, characters in quotes.
std::vector<std::string> Render(const std::vector<ScannedField>& fields, const std::string& format) {
  std::vector<std::string> out;
  std::size_t next = 0;
  for (std::size_t i = 0; i + 1 < format.size() && next < fields.size(); ++i) {
    if (format[i] != '%') continue;
    std::size_t j = i + 1;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
    const ScannedField& f = fields[next++];
    switch (format[j]) {
      case 'd': out.push_back(std::to_string(f.number)); break;
      case 's': out.push_back(f.word); break;
      default: out.push_back(std::string("'") + f.character + "'"); break;
    }
    i = j;
  }
  return out;
}

TEST(TextScan, ReadsLikeSscanfAndStopsAtTheFirstMismatch) {
  struct Case {
    std::string text, format;
    std::vector<std::string> fields;
  };
  const std::vector<Case> cases = {
      {"12-3", "%d-%d", {"12", "3"}},
      {"  -7 +8", "%d %d", {"-7", "8"}},
      {"12x3", "%d-%d", {"12"}},
      {"Tue 09-Dec-2026", "%s %d-%3s-%d", {"Tue", "9", "Dec", "2026"}},
      {"Tue 09-Decem-2026", "%s %d-%3s-%d", {"Tue", "9", "Dec"}},
      {"a,+5", "%s", {"a,+5"}},
      {"5.1,+5:30", "%d.%d,%c%d:%d", {"5", "1", "'+'", "5", "30"}},
      {"5.1, 5", "%d.%d,%c%d", {"5", "1", "' '", "5"}},  // %c takes a blank too
      {"2147483647 -2147483648", "%d %d", {"2147483647", "-2147483648"}},
      {"2147483648", "%d", {}},  // beyond 32 bits
      {"-", "%d", {}},
      {"", "%s", {}},
      {"abc", "%q", {}},
      {"x", "x%d", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " | " + c.format);
    EXPECT_EQ(Render(ScanText(c.text, c.format), c.format), c.fields);
  }
}

TEST(TextScan, LongWordsAreReadWhole) {
  std::string word(5000, 'w');
  std::vector<ScannedField> fields = ScanText(word + " 5", "%s %d");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].word, word);
  EXPECT_EQ(fields[1].number, 5);
}

}  // namespace
