#include "agent/platform/reg_file.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::reg {
namespace {

constexpr const char* kAgentKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantory\\VTAgent";

const char* const kExport =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; written by hand\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantory\\VTAgent]\n"
    "\"VTAgentInstallDir\"=\"C:\\\\Program Files\\\\Agent\\\\\"\n"
    "\"Quoted\"=\"say \\\"hi\\\"\"\n"
    "\"VTAgentLogLevel\"=dword:0000000a\n"
    "\"Blob\"=hex:01,02,03,\\\n"
    "  04,05\n"
    "@=\"default\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced]\n"
    "\"IconsOnly\"=dword:00000001\n"
    "\n";

TEST(RegFileTest, ReadsStringsWithEscapesDwordsAndSizes) {
  Document doc = Document::Parse(kExport);
  struct Case {
    const char* name;
    ValueType type;
    std::string text;
    std::uint32_t dword;
    std::uint32_t size;
  } const cases[] = {
      {"VTAgentInstallDir", ValueType::String, "C:\\Program Files\\Agent\\", 0, 24},
      {"quoted", ValueType::String, "say \"hi\"", 0, 9},
      {"VTAGENTLOGLEVEL", ValueType::Dword, "", 10, 4},
      {"Blob", ValueType::Other, "", 0, 5},
      {"", ValueType::String, "default", 0, 8},
  };
  for (const Case& c : cases) {
    std::optional<Value> value = doc.Find(kAgentKey, c.name);
    ASSERT_TRUE(value.has_value()) << c.name;
    EXPECT_EQ(c.type, value->type) << c.name;
    EXPECT_EQ(c.text, value->text) << c.name;
    EXPECT_EQ(c.dword, value->dword) << c.name;
    EXPECT_EQ(c.size, value->size) << c.name;
  }
  EXPECT_FALSE(doc.Find(kAgentKey, "Missing").has_value());
  EXPECT_FALSE(doc.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "VTAgentLogLevel").has_value());
}

TEST(RegFileTest, UnchangedDocumentWritesBackByteForByte) {
  EXPECT_EQ(kExport, Document::Parse(kExport).Write());
  const std::string crlf =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
      "\"X\"=hex(b):01,00,00,00,00,00,00,00\r\n\"Y\"=weird:stuff\r\n";
  EXPECT_EQ(crlf, Document::Parse(crlf).Write());
}

TEST(RegFileTest, KeysMatchWithoutCaseAndParentsExist) {
  Document doc = Document::Parse(kExport);
  EXPECT_TRUE(doc.HasKey("hkey_local_machine\\software\\QUILLON\\vantory\\vtagent"));
  EXPECT_TRUE(doc.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\"));
  EXPECT_TRUE(doc.HasKey("HKEY_LOCAL_MACHINE\\\\SOFTWARE"));
  EXPECT_FALSE(doc.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quil"));
  EXPECT_FALSE(doc.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantory\\VTAgent\\Sub"));
  EXPECT_FALSE(doc.HasKey("HKEY_CURRENT_USER\\SOFTWARE\\Quillon"));
}

TEST(RegFileTest, SettingADwordChangesOnlyItsLine) {
  Document doc = Document::Parse(kExport);
  doc.SetDword(kAgentKey, "vtagentloglevel", 3);  // keeps the stored spelling
  std::string expected = kExport;
  expected.replace(expected.find("\"VTAgentLogLevel\"=dword:0000000a"),
                   std::string("\"VTAgentLogLevel\"=dword:0000000a").size(),
                   "\"VTAgentLogLevel\"=dword:00000003");
  EXPECT_EQ(expected, doc.Write());
}

TEST(RegFileTest, NewValuesGoAtTheEndOfTheirSection) {
  Document doc = Document::Parse(kExport);
  doc.SetDword(kAgentKey, "VTEventEnabled", 0xFFFFFFFF);
  std::string written = doc.Write();
  EXPECT_NE(std::string::npos,
            written.find("@=\"default\"\n\"VTEventEnabled\"=dword:ffffffff\n\n[HKEY_CURRENT_USER"))
      << written;
  EXPECT_EQ(0xFFFFFFFFu, Document::Parse(written).Find(kAgentKey, "VTEventEnabled")->dword);
}

TEST(RegFileTest, NewKeysGetTheirOwnSection) {
  Document doc;
  EXPECT_FALSE(doc.HasKey("HKEY_CURRENT_USER\\A\\B"));
  doc.SetDword("HKEY_CURRENT_USER\\A\\B", "N", 1);
  ASSERT_TRUE(doc.SetString("HKEY_CURRENT_USER\\C", "Path", "C:\\x \"y\""));
  doc.AddKey("HKEY_LOCAL_MACHINE\\Empty");
  EXPECT_EQ(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\A\\B]\n\"N\"=dword:00000001\n\n"
      "[HKEY_CURRENT_USER\\C]\n\"Path\"=\"C:\\\\x \\\"y\\\"\"\n\n"
      "[HKEY_LOCAL_MACHINE\\Empty]\n\n",
      doc.Write());
  EXPECT_TRUE(doc.HasKey("HKEY_LOCAL_MACHINE\\Empty"));
  // A file without a final blank line still gets its sections separated.
  Document tight = Document::Parse("[HKEY_CURRENT_USER\\A]\n\"X\"=dword:00000001");
  tight.SetDword("HKEY_CURRENT_USER\\B", "Y", 2);
  EXPECT_EQ("[HKEY_CURRENT_USER\\A]\n\"X\"=dword:00000001\n\n[HKEY_CURRENT_USER\\B]\n"
            "\"Y\"=dword:00000002\n\n",
            tight.Write());
}

TEST(RegFileTest, StringsRoundTripThroughTheFile) {
  const std::string samples[] = {"", "plain", "back\\slash", "\\\\server\\share", "quote\"in",
                                 "ends with backslash\\", "\"", "caf\xC3\xA9"};
  Document doc;
  for (const std::string& s : samples) ASSERT_TRUE(doc.SetString("HKEY_CURRENT_USER\\S", s, s));
  Document again = Document::Parse(doc.Write());
  for (const std::string& s : samples) {
    std::optional<Value> value = again.Find("HKEY_CURRENT_USER\\S", s);
    ASSERT_TRUE(value.has_value()) << s;
    EXPECT_EQ(s, value->text);
  }
  EXPECT_FALSE(doc.SetString("HKEY_CURRENT_USER\\S", "bad", "two\nlines"));
  EXPECT_FALSE(doc.Find("HKEY_CURRENT_USER\\S", "bad").has_value());
}

TEST(RegFileTest, LaterLinesWinAndDeletionsHide) {
  Document doc = Document::Parse(
      "[HKEY_CURRENT_USER\\K]\n\"A\"=dword:00000001\n\"Gone\"=dword:00000001\n\n"
      "[hkey_current_user\\k]\n\"a\"=dword:00000002\n\"Gone\"=-\n");
  EXPECT_EQ(2u, doc.Find("HKEY_CURRENT_USER\\K", "A")->dword);
  EXPECT_FALSE(doc.Find("HKEY_CURRENT_USER\\K", "Gone").has_value());
  doc.SetDword("HKEY_CURRENT_USER\\K", "A", 7);
  EXPECT_EQ(7u, Document::Parse(doc.Write()).Find("HKEY_CURRENT_USER\\K", "A")->dword);
}

TEST(RegFileTest, ExpandStringsDecodeFromUtf16) {
  // "%SystemRoot%\x" followed by the terminating NUL.
  Document doc = Document::Parse(
      "[HKEY_CURRENT_USER\\E]\n\"P\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,\\\n"
      "  6f,00,6f,00,74,00,25,00,5c,00,78,00,00,00\n");
  std::optional<Value> value = doc.Find("HKEY_CURRENT_USER\\E", "P");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(ValueType::ExpandString, value->type);
  EXPECT_EQ("%SystemRoot%\\x", value->text);
}

TEST(RegFileTest, MalformedLinesAreKeptButNotValues) {
  const std::string text =
      "[HKEY_CURRENT_USER\\M]\n\"Open=dword:1\n\"Bad\"=dword:xyz\n\"Long\"=dword:123456789\n"
      "\"Tail\"=\"x\" junk\n\"Ok\"=dword:1\n";
  Document doc = Document::Parse(text);
  for (const char* name : {"Open", "Bad", "Long", "Tail"})
    EXPECT_FALSE(doc.Find("HKEY_CURRENT_USER\\M", name).has_value()) << name;
  EXPECT_EQ(1u, doc.Find("HKEY_CURRENT_USER\\M", "Ok")->dword);
  EXPECT_EQ(text, doc.Write());
}

}  // namespace
}  // namespace platform::reg
