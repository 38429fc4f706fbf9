#include "store/db/data_file.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "agent/log_writer.h"
#include "agent/store_root.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

std::optional<std::string> ReadWholeFile(const char* path) {
  if (path == nullptr) return std::nullopt;
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return std::nullopt;  // opens, but reads nothing
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

std::optional<std::string> ReadDataFile(const char* path, const char* fileName) {
  if (auto text = ReadWholeFile(path)) return text;
  if (gv_storeRoot == nullptr) return std::nullopt;
  std::string fallback = std::string(gv_storeRoot) + "/data/" + fileName;
  LogDebug("Opening %s\n", fallback.c_str());
  return ReadWholeFile(fallback.c_str());
}

std::optional<std::string> TokenReader::NextToken() {
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  if (pos_ >= text_.size()) return std::nullopt;
  std::size_t start = pos_;
  while (pos_ < text_.size() && !IsBlank(text_[pos_])) ++pos_;
  return std::string(text_.substr(start, pos_ - start));
}

std::string TokenReader::RestOfLine() {
  std::size_t start = pos_;
  std::size_t end = text_.find('\n', pos_);
  if (end == std::string_view::npos) {
    pos_ = text_.size();
    end = text_.size();
  } else {
    pos_ = end + 1;
  }
  if (end > start && text_[end - 1] == '\r') --end;
  return std::string(text_.substr(start, end - start));
}
