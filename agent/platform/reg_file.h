// Registry export text ("Windows Registry Editor Version 5.00"): a parsed, editable
// document that writes back every line it did not change byte for byte, so comments,
// hex: values and other foreign lines survive a rewrite. Portable and free of I/O.
// Values and keys are returned by value; a Document is used by one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::reg {

enum class ValueType { String, ExpandString, Dword, Other };

struct Value {
  ValueType type = ValueType::Other;
  std::string text;         // String and ExpandString (UTF-8, without the terminator)
  std::uint32_t dword = 0;  // Dword
  std::uint32_t size = 0;   // bytes the registry reports (strings count their NUL)
};

// Key paths name the hive in full: "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor". Paths and
// value names compare without regard to (ASCII) case; empty components are ignored.
class Document {
 public:
  // Never fails: a line that is not understood is kept as it stands.
  static Document Parse(std::string_view text);
  // The file text; an empty document gets the version header.
  std::string Write() const;

  // A key exists when a section names it or one of its subkeys (importing such a file
  // creates the parents too).
  bool HasKey(std::string_view keyPath) const;
  // The value as an import would leave it: the last line that sets it wins.
  std::optional<Value> Find(std::string_view keyPath, std::string_view name) const;

  // Adds an empty section for the key unless it exists.
  void AddKey(std::string_view keyPath);
  // Create or replace a value, adding the key's section when needed. An existing
  // value keeps the spelling of its name. SetString refuses (false, nothing changed)
  // text with a line break or NUL, which the format cannot carry.
  void SetDword(std::string_view keyPath, std::string_view name, std::uint32_t value);
  bool SetString(std::string_view keyPath, std::string_view name, std::string_view text);

 private:
  struct Line {
    std::string raw;             // the text as read (continuation lines included)
    bool isValue = false;        // a "Name"=... or @=... line this class understands
    bool deletes = false;        // "Name"=-
    std::string name;            // value name ("" for @)
    Value value;
  };
  struct Section {
    std::string header;          // the line "[...]" as read
    std::string path;            // normalised key path; empty for [-...] sections
    std::vector<Line> lines;
  };

  const Line* FindLine(std::string_view keyPath, std::string_view name) const;
  Section& SectionFor(std::string_view keyPath);
  void SetLine(std::string_view keyPath, std::string_view name, Line line);

  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
  std::string eol_ = "\n";
  bool bom_ = false;
};

// "HKEY_LOCAL_MACHINE" + "\\" + sub-key, with empty components dropped.
std::string JoinKeyPath(std::string_view hive, std::string_view subKey);

// The quoted form of a name or string value: \ and " are escaped with a backslash.
std::string Quote(std::string_view text);

}  // namespace platform::reg
