#include "agent/platform/reg_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "agent/platform/utf8.h"

namespace platform::reg {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr unsigned kRegExpandSz = 2;

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsBlank(std::string_view s) { return Trim(s).empty(); }

std::string NormaliseKeyPath(std::string_view path) {
  std::string out;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      if (!out.empty()) out += '\\';
      out.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return out;
}

// Reads a quoted text starting at s[0] == '"'; `consumed` counts the closing quote.
std::optional<std::string> ReadQuoted(std::string_view s, std::size_t& consumed) {
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[++i];
    } else if (c == '"') {
      consumed = i + 1;
      return out;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ReadDword(std::string_view digits) {
  digits = Trim(digits);
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                        ? c - '0'
                                                        : Lower(c) - 'a' + 10);
  }
  return value;
}

// "hex:" or "hex(N):" -> N (3, binary, for the plain form); nullopt for other data.
std::optional<unsigned> HexType(std::string_view data, std::size_t& afterColon) {
  if (!StartsWithNoCase(data, "hex")) return std::nullopt;
  if (data.size() > 3 && data[3] == ':') {
    afterColon = 4;
    return 3;
  }
  if (data.size() < 4 || data[3] != '(') return std::nullopt;
  std::size_t close = data.find(')', 4);
  if (close == std::string_view::npos || close + 1 >= data.size() || data[close + 1] != ':')
    return std::nullopt;
  std::optional<std::uint32_t> type = ReadDword(data.substr(4, close - 4));
  if (!type) return std::nullopt;
  afterColon = close + 2;
  return *type;
}

// The bytes of a comma-separated hex list; nullopt when an item is not a byte.
std::optional<std::string> ReadHexBytes(std::string_view list) {
  std::string bytes;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view item = Trim(list.substr(start, end - start));
    if (!item.empty()) {
      std::optional<std::uint32_t> byte = ReadDword(item);
      if (!byte || item.size() > 2) return std::nullopt;
      bytes += static_cast<char>(*byte);
    }
    start = end + 1;
  }
  return bytes;
}

// hex(2) data is UTF-16LE with a terminating NUL; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const std::string& bytes) {
  std::vector<std::uint32_t> units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<unsigned char>(bytes[i]) |
                    (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8));
  while (!units.empty() && units.back() == 0) units.pop_back();
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t u = units[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00));
    } else {
      AppendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
    }
  }
  return out;
}

std::string DwordData(std::uint32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08x", value);
  return std::string("dword:") + digits;
}

std::string ValueRaw(std::string_view name, const std::string& data) {
  return (name.empty() ? std::string("@") : Quote(name)) + "=" + data;
}

}  // namespace

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string JoinKeyPath(std::string_view hive, std::string_view subKey) {
  std::string joined(hive);
  joined += '\\';
  joined.append(subKey);
  return NormaliseKeyPath(joined);
}

Document Document::Parse(std::string_view text) {
  Document doc;
  if (text.substr(0, kBom.size()) == kBom) {
    doc.bom_ = true;
    text.remove_prefix(kBom.size());
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (lines.empty()) doc.eol_ = "\r\n";
    }
    lines.push_back(std::move(line));
    start = end + 1;
  }

  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view trimmed = Trim(lines[i]);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      Section section;
      section.header = lines[i];
      std::string_view inside = trimmed.substr(1, trimmed.size() - 2);
      if (inside.empty() || inside.front() != '-') section.path = NormaliseKeyPath(inside);
      doc.sections_.push_back(std::move(section));
      continue;
    }
    Line line;
    line.raw = lines[i];
    if (!doc.sections_.empty() && !doc.sections_.back().path.empty()) {
      // A value line: name, "=", data; hex data may continue on lines ending with "\".
      std::string_view s = TrimLeft(lines[i]);
      std::size_t used = 0;
      std::optional<std::string> name;
      if (!s.empty() && s.front() == '@') {
        name = std::string();
        used = 1;
      } else if (!s.empty() && s.front() == '"') {
        name = ReadQuoted(s, used);
      }
      std::string_view rest = name ? TrimLeft(s.substr(used)) : std::string_view();
      if (name && !rest.empty() && rest.front() == '=') {
        std::string_view data = Trim(rest.substr(1));
        std::size_t afterColon = 0;
        line.name = *name;
        if (!data.empty() && data.front() == '"') {
          std::size_t quoted = 0;
          std::optional<std::string> value = ReadQuoted(data, quoted);
          if (value && Trim(data.substr(quoted)).empty()) {
            line.isValue = true;
            line.value.type = ValueType::String;
            line.value.size = static_cast<std::uint32_t>(value->size() + 1);
            line.value.text = std::move(*value);
          }
        } else if (data == "-") {
          line.isValue = true;
          line.deletes = true;
        } else if (StartsWithNoCase(data, "dword:")) {
          if (std::optional<std::uint32_t> value = ReadDword(data.substr(6))) {
            line.isValue = true;
            line.value.type = ValueType::Dword;
            line.value.dword = *value;
            line.value.size = 4;
          }
        } else if (std::optional<unsigned> type = HexType(data, afterColon)) {
          std::string list(data.substr(afterColon));
          while (!list.empty() && list.back() == '\\' && i + 1 < lines.size()) {
            list.pop_back();
            list += ',';
            list += lines[++i];
            line.raw += '\n';
            line.raw += lines[i];
          }
          if (std::optional<std::string> bytes = ReadHexBytes(list)) {
            line.isValue = true;
            line.value.size = static_cast<std::uint32_t>(bytes->size());
            if (*type == kRegExpandSz) {
              line.value.type = ValueType::ExpandString;
              line.value.text = Utf16LeToUtf8(*bytes);
              line.value.size = static_cast<std::uint32_t>(line.value.text.size() + 1);
            }
          }
        }
      }
    }
    if (doc.sections_.empty())
      doc.preamble_.push_back(std::move(line.raw));
    else
      doc.sections_.back().lines.push_back(std::move(line));
  }
  return doc;
}

std::string Document::Write() const {
  std::string out;
  if (bom_) out.append(kBom);
  auto put = [&](const std::string& raw) {
    for (char c : raw) {
      if (c == '\n')
        out += eol_;
      else
        out += c;
    }
    out += eol_;
  };
  if (preamble_.empty() && sections_.empty()) {
    put(std::string(kHeader));
    put("");
  }
  for (const std::string& line : preamble_) put(line);
  for (const Section& section : sections_) {
    put(section.header);
    for (const Line& line : section.lines) put(line.raw);
  }
  return out;
}

bool Document::HasKey(std::string_view keyPath) const {
  std::string wanted = NormaliseKeyPath(keyPath);
  for (const Section& section : sections_) {
    if (section.path.empty()) continue;
    if (EqualNoCase(section.path, wanted)) return true;
    if (section.path.size() > wanted.size() && section.path[wanted.size()] == '\\' &&
        StartsWithNoCase(section.path, wanted))
      return true;
  }
  return false;
}

std::optional<Value> Document::Find(std::string_view keyPath, std::string_view name) const {
  const Line* line = FindLine(keyPath, name);
  if (line == nullptr || line->deletes) return std::nullopt;
  return line->value;
}

const Document::Line* Document::FindLine(std::string_view keyPath, std::string_view name) const {
  std::string wanted = NormaliseKeyPath(keyPath);
  const Line* found = nullptr;
  for (const Section& section : sections_) {
    if (section.path.empty() || !EqualNoCase(section.path, wanted)) continue;
    for (const Line& line : section.lines)
      if (line.isValue && EqualNoCase(line.name, name)) found = &line;
  }
  return found;
}

Document::Section& Document::SectionFor(std::string_view keyPath) {
  std::string wanted = NormaliseKeyPath(keyPath);
  for (auto it = sections_.rbegin(); it != sections_.rend(); ++it)
    if (!it->path.empty() && EqualNoCase(it->path, wanted)) return *it;

  if (preamble_.empty() && sections_.empty()) {
    preamble_.emplace_back(kHeader);
    preamble_.emplace_back();
  } else if (sections_.empty()) {
    if (!IsBlank(preamble_.back())) preamble_.emplace_back();
  } else {
    std::vector<Line>& last = sections_.back().lines;
    if (last.empty() || !IsBlank(last.back().raw)) last.push_back(Line{});
  }
  Section section;
  section.header = "[" + wanted + "]";
  section.path = wanted;
  section.lines.push_back(Line{});
  sections_.push_back(std::move(section));
  return sections_.back();
}

void Document::AddKey(std::string_view keyPath) {
  if (!HasKey(keyPath)) SectionFor(keyPath);
}

void Document::SetLine(std::string_view keyPath, std::string_view name, Line line) {
  line.isValue = true;
  if (Line* existing = const_cast<Line*>(FindLine(keyPath, name))) {
    line.name = existing->name;
    line.raw = ValueRaw(line.name, line.raw);
    *existing = std::move(line);
    return;
  }
  line.name = std::string(name);
  line.raw = ValueRaw(line.name, line.raw);
  std::vector<Line>& lines = SectionFor(keyPath).lines;
  auto position = lines.end();
  while (position != lines.begin() && IsBlank((position - 1)->raw)) --position;
  lines.insert(position, std::move(line));
}

void Document::SetDword(std::string_view keyPath, std::string_view name, std::uint32_t value) {
  Line line;
  line.raw = DwordData(value);  // the data part; SetLine puts the name in front
  line.value.type = ValueType::Dword;
  line.value.dword = value;
  line.value.size = 4;
  SetLine(keyPath, name, std::move(line));
}

bool Document::SetString(std::string_view keyPath, std::string_view name, std::string_view text) {
  if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  Line line;
  line.raw = Quote(text);
  line.value.type = ValueType::String;
  line.value.text = std::string(text);
  line.value.size = static_cast<std::uint32_t>(text.size() + 1);
  SetLine(keyPath, name, std::move(line));
  return true;
}

}  // namespace platform::reg
