#include "agent/platform/command_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace platform {
namespace {

using Words = std::vector<std::string>;

TEST(CommandLineTest, SplitsByTheWindowsRuntimeRules) {
  struct Case {
    const char* line;
    Words words;
  } const cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"icacls.exe", {"icacls.exe"}},
      {"  icacls.exe  atmfd.dll  ", {"icacls.exe", "atmfd.dll"}},
      {"icacls.exe atmfd.dll /setowner \"NT SERVICE\\TrustedInstaller\"",
       {"icacls.exe", "atmfd.dll", "/setowner", "NT SERVICE\\TrustedInstaller"}},
      {"icacls.exe . /restore atmfd.dll.acl", {"icacls.exe", ".", "/restore", "atmfd.dll.acl"}},
      // The program: quotes group, backslashes are plain path separators.
      {"\"C:\\Program Files\\a.exe\" x", {"C:\\Program Files\\a.exe", "x"}},
      {"C:\\dir\\\"odd name\\\" x", {"C:\\dir\\odd name\\", "x"}},
      {"\"\" x", {"", "x"}},
      // Arguments: the examples of the runtime's documentation.
      {"p \"a b c\" d e", {"p", "a b c", "d", "e"}},
      {"p \"ab\\\"c\" \"\\\\\" d", {"p", "ab\"c", "\\", "d"}},
      {"p a\\\\\\b d\"e f\"g h", {"p", "a\\\\\\b", "de fg", "h"}},
      {"p a\\\\\\\"b c d", {"p", "a\\\"b", "c", "d"}},
      {"p a\\\\\\\\\"b c\" d e", {"p", "a\\\\b c", "d", "e"}},
      {"p a\"b\"\" c d", {"p", "ab\" c d"}},
      // Tabs separate, empty quotes make an empty argument, a lone quote runs to the end.
      {"p\ta\t\"\"\tb", {"p", "a", "", "b"}},
      {"p \"unterminated  text", {"p", "unterminated  text"}},
      {"p trailing\\\\", {"p", "trailing\\\\"}},
      {"p \"x\"\"\"", {"p", "x\""}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.words, SplitCommandLine(c.line)) << c.line;
}

TEST(CommandLineTest, QuotingIsMinimal) {
  EXPECT_EQ("plain", QuoteArgument("plain"));
  EXPECT_EQ("C:\\dir\\", QuoteArgument("C:\\dir\\"));
  EXPECT_EQ("\"\"", QuoteArgument(""));
  EXPECT_EQ("\"a b\"", QuoteArgument("a b"));
  EXPECT_EQ("\"C:\\a b\\\\\"", QuoteArgument("C:\\a b\\"));
  EXPECT_EQ("\"say \\\"hi\\\"\"", QuoteArgument("say \"hi\""));
  EXPECT_EQ("\"\\\\\\\"\"", QuoteArgument("\\\""));
}

TEST(CommandLineTest, QuotedArgumentsSplitBackUnchanged) {
  std::mt19937 random(20240305);
  const std::string alphabet = "ab \t\"\\";
  for (int round = 0; round < 2000; ++round) {
    Words words = {"prog"};
    std::string line = "prog";
    const int count = static_cast<int>(random() % 4);
    for (int w = 0; w < count; ++w) {
      std::string word;
      const int length = static_cast<int>(random() % 7);
      for (int k = 0; k < length; ++k) word += alphabet[random() % alphabet.size()];
      words.push_back(word);
      line += " " + QuoteArgument(word);
    }
    ASSERT_EQ(words, SplitCommandLine(line)) << line;
  }
}

}  // namespace
}  // namespace platform
