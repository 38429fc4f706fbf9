// Windows command lines: splitting one string into the program and its arguments by
// the rules of the Windows C runtime, and quoting an argument so that it splits back
// unchanged. Portable and stateless; safe from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The program comes first: it ends at the first space or tab outside double quotes,
// and quotes in it are dropped without any escaping. The arguments follow the runtime
// rules: spaces and tabs separate outside quotes; 2n backslashes before a quote give n
// backslashes and the quote opens or closes quoting, 2n+1 give n backslashes and a
// literal quote; backslashes before anything else are literal; inside quotes a doubled
// quote is a literal quote and quoting goes on (the rule of current runtimes).
// Leading blanks are skipped; an empty or blank line gives no words.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// `argument` as it must be written in a command line for SplitCommandLine (and the
// Windows runtime) to give it back: unchanged when it has no blank or quote, otherwise
// quoted with its backslashes and quotes escaped.
std::string QuoteArgument(std::string_view argument);

}  // namespace platform
