#include "agent/platform/command_line.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipBlanks(std::string_view line, std::size_t i) {
  while (i < line.size() && IsBlank(line[i])) ++i;
  return i;
}

std::string ReadProgram(std::string_view line, std::size_t& i) {
  std::string program;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsBlank(c)) {
      break;
    } else {
      program += c;
    }
  }
  return program;
}

std::string ReadArgument(std::string_view line, std::size_t& i) {
  std::string argument;
  bool quoted = false;
  while (i < line.size()) {
    char c = line[i];
    if (!quoted && IsBlank(c)) break;
    if (c == '\\') {
      std::size_t end = i;
      while (end < line.size() && line[end] == '\\') ++end;
      std::size_t count = end - i;
      if (end < line.size() && line[end] == '"') {
        argument.append(count / 2, '\\');
        if (count % 2 == 1) {
          argument += '"';
          ++end;
        }
      } else {
        argument.append(count, '\\');
      }
      i = end;
    } else if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        argument += '"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
    } else {
      argument += c;
      ++i;
    }
  }
  return argument;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> words;
  std::size_t i = SkipBlanks(commandLine, 0);
  if (i == commandLine.size()) return words;
  words.push_back(ReadProgram(commandLine, i));
  while ((i = SkipBlanks(commandLine, i)) < commandLine.size())
    words.push_back(ReadArgument(commandLine, i));
  return words;
}

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
    return std::string(argument);
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote itself escaped.
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  // Backslashes before the closing quote are doubled so that it stays a closing quote.
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

}  // namespace platform
