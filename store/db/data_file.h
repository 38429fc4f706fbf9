// Reading the store's plain-text data files (connparams.txt, dsn_table_map.txt, the
// data-source list): the whole file into memory, with the fallback under the store
// root, and a reader of whitespace-separated tokens and line remainders over that text.
// Everything returned is a std::string the caller owns. No state between calls; safe
// from several threads.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The contents of `path`, or null when it cannot be read.
std::optional<std::string> ReadWholeFile(const char* path);

// The contents of `path`; when that cannot be read, of "<gv_storeRoot>/data/<fileName>"
// (logged at debug level as "Opening %s\n"). Null when neither can be read.
std::optional<std::string> ReadDataFile(const char* path, const char* fileName);

// Reads a text as fscanf("%s") and fgets would, without their length limits.
class TokenReader {
 public:
  explicit TokenReader(std::string_view text) : text_(text) {}

  // The next run of non-blank characters after any blanks and line breaks; null at the
  // end of the text.
  std::optional<std::string> NextToken();
  // Everything from here up to the next line feed, which is consumed but not returned
  // (nor a carriage return before it). Empty at the end of the text.
  std::string RestOfLine();
  bool AtEnd() const { return pos_ >= text_.size(); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};
