// Feeds arbitrary bytes to the dictionary loader as a dictionary file, looks up what
// was registered, then frees everything so LeakSanitizer sees any leak.
#include <libxml/xmlerror.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "store/imds/data_dictionary_loader.h"
#include "store/imds/table_defn.h"

namespace {

// One input file per fuzzing process, removed when the process ends.
class InputFile {
 public:
  InputFile()
      : path_((std::filesystem::temp_directory_path() /
               ("imds-dictionary-fuzz-" + std::to_string(std::random_device{}()) + ".xml"))
                  .string()) {}
  ~InputFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  const std::string& Write(const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path_;
  }

 private:
  std::string path_;
};

void IgnoreParserNoise(void* /*context*/, const char* /*format*/, ...) {}

// Every registered table must be whole; the first of each name must be reachable
// through the lookups with all its columns (later ones of a name never are).
void CheckRegistry() {
  for (VectorNode* link = GetTableDefnVector()->head; link != nullptr; link = link->next) {
    auto* table = static_cast<TableDefn*>(link->element);
    if (table->name == nullptr || table->columns == nullptr || table->columns->head == nullptr) __builtin_trap();
    const TableDefn* found = GetTableDefn(table->name);
    if (found == nullptr) __builtin_trap();
    if (found != table) continue;
    for (VectorNode* column = table->columns->head; column != nullptr; column = column->next) {
      auto* defn = static_cast<ColumnDefn*>(column->element);
      if (defn->name == nullptr || GetColumnDefnEntry(table->name, defn->name) == nullptr) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static InputFile input;
  static const bool quiet = [] {
    xmlSetGenericErrorFunc(nullptr, IgnoreParserNoise);
    return true;
  }();
  (void)quiet;
  LoadDataDictFromXMLFile(input.Write(data, size).c_str());
  CheckRegistry();
  FreeAllTableDefns();
  return 0;
}
