#include <gtest/gtest.h>

#include <string>

#include "agent/platform/platform.h"

namespace platform {
namespace {

TEST(SystemMessageTest, WindowsTextsOfTheCodesThisSystemMeets) {
  struct Case {
    ErrorCode code;
    const char* text;
  } const cases[] = {
      {0, "The operation completed successfully."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {18, "There are no more files."},
      {32, "The process cannot access the file because it is being used by another process."},
      {80, "The file exists."},
      {87, "The parameter is incorrect."},
      {183, "Cannot create a file when that file already exists."},
      {234, "More data is available."},
      {258, "The wait operation timed out."},
      {267, "The directory name is invalid."},
      {1060, "The specified service does not exist as an installed service."},
      {1237, "The operation could not be completed. A retry should be performed."},
  };
  for (const Case& c : cases) {
    std::string ansi;
    ASSERT_TRUE(SystemMessageAnsi(c.code, ansi)) << c.code;
    EXPECT_EQ(c.text, ansi);
    std::wstring wide;
    ASSERT_TRUE(SystemMessageWide(c.code, wide)) << c.code;
    std::string back;
    ASSERT_EQ(kSuccess, WideToUtf8(wide.c_str(), back));
    EXPECT_EQ(c.text, back);
  }
}

TEST(SystemMessageTest, ProgramCodesHaveNoSystemText) {
  for (ErrorCode code : {1508u, 10001u, 17022u, 17048u, 20001u, 0x240006u, 0xFFFFFFFFu}) {
    std::string ansi = "kept";
    std::wstring wide = L"kept";
    EXPECT_FALSE(SystemMessageAnsi(code, ansi)) << code;
    EXPECT_FALSE(SystemMessageWide(code, wide)) << code;
    EXPECT_EQ("kept", ansi);
    EXPECT_EQ(L"kept", wide);
  }
}

TEST(WideToUtf8Test, EncodesEveryPlane) {
  struct Case {
    const wchar_t* wide;
    const char* utf8;
  } const cases[] = {
      {L"", ""},
      {L"plain", "plain"},
      {L"\u00FC\u00DF \u20AC", "\xC3\xBC\xC3\x9F \xE2\x82\xAC"},
      {L"\u65E5\u672C", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {L"\U0001F600", "\xF0\x9F\x98\x80"},
      {L"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {L"\u007F\u0080\u07FF\u0800\uFFFF", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
  };
  for (const Case& c : cases) {
    std::string utf8 = "stale";
    EXPECT_EQ(kSuccess, WideToUtf8(c.wide, utf8)) << c.utf8;
    EXPECT_EQ(c.utf8, utf8);
  }
}

TEST(WideToUtf8Test, RejectsWhatIsNoCharacter) {
  struct Case {
    std::wstring wide;
    const char* converted;  // what is left in the output
  } const cases[] = {
      {std::wstring(L"ab") + static_cast<wchar_t>(0xD800) + L"c", "ab"},
      {std::wstring(L"x") + static_cast<wchar_t>(0xDFFF), "x"},
      {std::wstring(1, static_cast<wchar_t>(0x110000)), ""},
      {std::wstring(L"\u00E9") + static_cast<wchar_t>(-1), "\xC3\xA9"},
  };
  for (const Case& c : cases) {
    std::string utf8;
    EXPECT_EQ(1113u, WideToUtf8(c.wide.c_str(), utf8)) << c.converted;
    EXPECT_EQ(c.converted, utf8);
  }
  std::string utf8 = "kept";
  EXPECT_EQ(kInvalidParameter, WideToUtf8(nullptr, utf8));
}

}  // namespace
}  // namespace platform
