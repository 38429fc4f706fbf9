// Test stand-in for Windows' icacls.exe: it changes nothing, appends one line per call
// to the file named by VT_ICACLS_LOG ("<working directory>|<arg>|<arg>..."), and exits
// with the code in VT_ICACLS_EXIT (0 when unset). Installed as icacls.exe where the
// undo tool looks for it, so tests see exactly how the tool called it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (const char* logPath = std::getenv("VT_ICACLS_LOG")) {
    std::ofstream log(logPath, std::ios::app);
    log << std::filesystem::current_path().string();
    for (int i = 1; i < argc; ++i) log << '|' << argv[i];
    log << '\n';
  }
  const char* exitCode = std::getenv("VT_ICACLS_EXIT");
  return exitCode ? std::atoi(exitCode) : 0;
}
