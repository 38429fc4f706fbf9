#include "agent/error_messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "agent/error_messages_test.h"
#include "agent/log_writer.h"
#include "agent/platform/platform.h"

namespace {

using vt_test::LogFixture;
using vt_test::MessageFor;

struct TableRow {
  std::uint32_t code;
  const char* text;
};

const TableRow kTable[] = {
    {1508, "The requested operation is successful. Changes will not be effective until the browser is rebooted."},
    {10001, "vt.db.agent.config.script.powerscript_notfound"},
    {10002, "vt.db.agent.config.run_as_admin.credentials_not_available"},
    {10003, "vt.db.agent.config.returned_zero_failure"},
    {17021, "OfficeUpdateError: Creating temp folder."},
    {17023, "OfficeUpdateError: User cancelled installation."},
    {17024, "OfficeUpdateError: Creating folder failed."},
    {17025, "OfficeUpdateError: Patch already installed."},
    {17026, "OfficeUpdateError: Patch already installed to admin installation."},
    {17027, "OfficeUpdateError: Installation source requires full file update."},
    {17028, "OfficeUpdateError: No product installed for contained patch."},
    {17029, "OfficeUpdateError: Patch failed to install."},
    {17030, "OfficeUpdateError: Invalid CIF format."},
    {17031, "OfficeUpdateError: Invalid baseline."},
    {17034, "OfficeUpdateError: Required patch does not apply to the machine."},
    {17038,
     "OfficeUpdateError: You do not have sufficient privileges to complete this installation for all users of the "
     "machine. Log on as administrator and then retry this installation."},
    {17044, "OfficeUpdateError: Installer was unable to run detection for this package."},
    {17048, "OfficeUpdateError : This installation requires Windows Installer 3.1 or greater."},
    {17301, "OfficeUpdateError: General Detection error"},
    {17302, "OfficeUpdateError: Applying patch."},
    {17303, "OfficeUpdateError: Extracting file."},
    {20001, "Patch update delayed since application is used by another process"},
    {2359302, "Patch already Installed and the changes will not be effective until the system is rebooted."},
    {2359303, "Patch already Uninstalled and the changes will not be effective until the system is rebooted."},
};

TEST(GetResultMessageTest, EveryTableCodeGivesItsConstantText) {
  for (const TableRow& row : kTable) {
    SCOPED_TRACE(row.code);
    bool owned = true;
    const char* text = GetResultMessage(row.code, &owned);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, row.text);
    EXPECT_FALSE(owned);
    // The same constant every time: nothing is allocated for table codes.
    EXPECT_EQ(GetResultMessage(row.code), text);
  }
}

TEST(GetResultMessageTest, OtherCodesGiveANewUnknownErrorTextWithTheSignedCode) {
  const TableRow cases[] = {
      {0, "Unknown Error. Code : 0"},
      {1, "Unknown Error. Code : 1"},
      {17022, "Unknown Error. Code : 17022"},
      {17032, "Unknown Error. Code : 17032"},
      {17033, "Unknown Error. Code : 17033"},
      {17035, "Unknown Error. Code : 17035"},
      {17037, "Unknown Error. Code : 17037"},
      {17039, "Unknown Error. Code : 17039"},
      {17043, "Unknown Error. Code : 17043"},
      {17045, "Unknown Error. Code : 17045"},
      {17047, "Unknown Error. Code : 17047"},
      {17049, "Unknown Error. Code : 17049"},
      {2359301, "Unknown Error. Code : 2359301"},
      {2147483647u, "Unknown Error. Code : 2147483647"},
      {2147483648u, "Unknown Error. Code : -2147483648"},
      {3000000000u, "Unknown Error. Code : -1294967296"},
      {4294967295u, "Unknown Error. Code : -1"},
  };
  for (const TableRow& row : cases) {
    SCOPED_TRACE(row.code);
    bool owned = false;
    const char* text = GetResultMessage(row.code, &owned);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, row.text);
    EXPECT_TRUE(owned);
    std::free(const_cast<char*>(text));
  }
}

TEST(ConvertWideToUtf8Test, ConvertsAsciiAndNonAsciiText) {
  struct Case {
    const wchar_t* wide;
    const char* utf8;
  };
  const Case cases[] = {
      {L"", ""},
      {L"The operation completed successfully.", "The operation completed successfully."},
      {L"Gr\u00fc\u00dfe \u20ac", "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac"},
      {L"\u30d5\u30a1\u30a4\u30eb", "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab"},
      {L"smile \U0001F600!", "smile \xf0\x9f\x98\x80!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    char* text = nullptr;
    EXPECT_TRUE(ConvertWideToUtf8(c.wide, &text));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.utf8);
    std::free(text);
  }
}

class ErrorMessagesLogTest : public LogFixture {};

TEST_F(ErrorMessagesLogTest, CodesWithoutSystemTextFallBackToTheTableAndLogAnError) {
  struct Case {
    std::uint32_t code;
    const char* message;
    const char* logged;
  };
  const Case cases[] = {
      {17025, "OfficeUpdateError: Patch already installed.",
       "[ERROR] Error Code : 17025 , Error Message : OfficeUpdateError: Patch already installed. \n"},
      {10001, "vt.db.agent.config.script.powerscript_notfound",
       "[ERROR] Error Code : 10001 , Error Message : vt.db.agent.config.script.powerscript_notfound \n"},
      {17022, "Unknown Error. Code : 17022",
       "[ERROR] Error Code : 17022 , Error Message : Unknown Error. Code : 17022 \n"},
      {4294967295u, "Unknown Error. Code : -1", "[ERROR] Error Code : -1 , Error Message : Unknown Error. Code : -1 \n"},
  };
  std::string expectedLog;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::wstring system;
    ASSERT_FALSE(platform::SystemMessageWide(c.code, system)) << "the system has a text for this code";
    char* message = GetErrorMessage(c.code);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, c.message);
    std::free(message);
    expectedLog += c.logged;
  }
  EXPECT_EQ(LogBody(), expectedLog);
}

TEST_F(ErrorMessagesLogTest, SystemTextIsPreferredAndZeroIsLoggedAsInformation) {
  std::wstring wide0, wide2;
  ASSERT_TRUE(platform::SystemMessageWide(0, wide0));
  ASSERT_TRUE(platform::SystemMessageWide(2, wide2));
  std::string text0, text2;
  ASSERT_EQ(platform::WideToUtf8(wide0.c_str(), text0), 0u);
  ASSERT_EQ(platform::WideToUtf8(wide2.c_str(), text2), 0u);
  ASSERT_FALSE(text2.empty());

  char* message0 = GetErrorMessage(0);
  char* message2 = GetErrorMessage(2);
  ASSERT_NE(message0, nullptr);
  ASSERT_NE(message2, nullptr);
  EXPECT_EQ(std::string(message0), text0);
  EXPECT_EQ(std::string(message2), text2);
  EXPECT_NE(std::string(message0), "Unknown Error. Code : 0");
  std::free(message0);
  std::free(message2);

  EXPECT_EQ(LogBody(), "[INFO] Message : " + text0 + " \n" + "[ERROR] Error Code : 2 , Error Message : " + text2 + " \n");
}

TEST_F(ErrorMessagesLogTest, LogErrorMessageLogsTrimmedSystemTextOrTheTableAndReturnsZero) {
  std::string ansi0, ansi2;
  ASSERT_TRUE(platform::SystemMessageAnsi(0, ansi0));
  ASSERT_TRUE(platform::SystemMessageAnsi(2, ansi2));
  auto trim = [](std::string text) {
    const char* spaces = " \t\r\n";
    text.erase(0, text.find_first_not_of(spaces));
    text.erase(text.find_last_not_of(spaces) + 1);
    return text;
  };

  EXPECT_EQ(LogErrorMessage(0), 0u);
  EXPECT_EQ(LogErrorMessage(2), 0u);
  EXPECT_EQ(LogErrorMessage(17048), 0u);
  EXPECT_EQ(LogErrorMessage(2147483648u), 0u);

  EXPECT_EQ(LogBody(), "[INFO] Message : " + trim(ansi0) + " \n" +
                           "[ERROR] Error Code : 2 , Error Message : " + trim(ansi2) + " \n" +
                           "[ERROR] Error Code : 17048 , Error Message : OfficeUpdateError : This installation "
                           "requires Windows Installer 3.1 or greater. \n"
                           "[ERROR] Error Code : -2147483648 , Error Message : Unknown Error. Code : -2147483648 \n");
}

TEST_F(ErrorMessagesLogTest, LogErrorCodeLogsWhatGetErrorMessageGives) {
  std::string text2 = MessageFor(2);
  LogErrorCode(2);
  LogErrorCode(20001);
  EXPECT_EQ(LogBody(), "[ERROR] Error Code : 2 , Error Message : " + text2 + " \n" +
                           "[ERROR] Error Code : 20001 , Error Message : Patch update delayed since application is "
                           "used by another process \n");
}

TEST_F(ErrorMessagesLogTest, BelowTheErrorLevelNothingIsLoggedButTheMessageIsStillGiven) {
  SetLogLevel(1);
  char* message = GetErrorMessage(17025);
  ASSERT_NE(message, nullptr);
  EXPECT_STREQ(message, "OfficeUpdateError: Patch already installed.");
  std::free(message);
  EXPECT_EQ(LogBody(), "");
}

}  // namespace
