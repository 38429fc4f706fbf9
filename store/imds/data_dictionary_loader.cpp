#include "store/imds/data_dictionary_loader.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/log_writer.h"
#include "store/imds/column_value.h"
#include "store/imds/store_path.h"
#include "store/imds/table_defn.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"
#include "store/util/vector.h"

XmlTagInfo* gv_xmlTagInfoRoot = nullptr;

namespace {

constexpr const char* kListFileName = "datadictionary.txt";
constexpr std::array<const char*, 4> kKnownAttributes = {"name", "system", "reference-table-name",
                                                         "isbidirectional"};

// ---------------------------------------------------------------- the tree

void FreeTagInfo(XmlTagInfo* node) {
  while (node != nullptr) {
    XmlTagInfo* next = node->nextSibling;
    FreeTagInfo(node->firstChild);  // children nest only a few levels deep
    std::free(node->name);
    FreeStringArray(node->attribNames, node->attribCount);
    FreeStringArray(node->attribValues, node->attribCount);
    FreeStringArray(node->values, node->valueCount);
    std::free(node);
    node = next;
  }
}

char* CopyText(std::string_view text) {
  auto* copy = static_cast<char*>(VtMalloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// A node with a copy of `name`; null, logged, when out of memory.
XmlTagInfo* NewNode(std::string_view name) {
  XmlTagInfo* node = CreateandInitXmlTagInfo();
  if (node != nullptr) {
    node->name = CopyText(name);
    if (node->name != nullptr) return node;
    std::free(node);
  }
  LogError("MEMORY_ALLOCATION_FAILURE\n");
  return nullptr;
}

// Appends one value; false, logged, when out of memory (the node is unchanged).
bool AddValue(XmlTagInfo* node, std::string_view text) {
  auto* values = static_cast<char**>(VtRealloc(node->values, sizeof(char*) * (node->valueCount + 1u)));
  if (values == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  node->values = values;
  values[node->valueCount] = CopyText(text);
  if (values[node->valueCount] == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  ++node->valueCount;
  return true;
}

// A node whose single value is `text`; an empty text gives no value.
XmlTagInfo* NewTextNode(std::string_view name, const std::string& text) {
  XmlTagInfo* node = NewNode(name);
  if (node != nullptr && !text.empty() && !AddValue(node, text)) {
    FreeTagInfo(node);
    return nullptr;
  }
  return node;
}

// Appends nodes to a chain of next siblings that starts at *first.
class Chain {
 public:
  explicit Chain(XmlTagInfo** first) : slot_(first) {
    while (*slot_ != nullptr) slot_ = &(*slot_)->nextSibling;
  }
  void Add(XmlTagInfo* node) {
    *slot_ = node;
    slot_ = &node->nextSibling;
  }

 private:
  XmlTagInfo** slot_;
};

bool Named(const XmlTagInfo* node, const char* name) {
  return node != nullptr && node->name != nullptr && std::strcmp(node->name, name) == 0;
}

const char* FirstValue(const XmlTagInfo* node) { return node->valueCount > 0 ? node->values[0] : nullptr; }

const char* Attribute(const XmlTagInfo* node, const char* name) {
  for (std::int32_t i = 0; i < node->attribCount; ++i) {
    if (std::strcmp(node->attribNames[i], name) == 0) return node->attribValues[i];
  }
  return nullptr;
}

// ---------------------------------------------------------------- the reader walk

// The reader with one node of look-back: a handler that meets a node it does not own
// holds it, and the enclosing loop gets that node again instead of reading on.
class Cursor {
 public:
  explicit Cursor(xmlTextReaderPtr reader) : reader_(reader) {}

  // The next node inside a table; false, logged, when the reader fails or the
  // document ends there.
  bool Next() {
    if (held_) {
      held_ = false;
      return true;
    }
    if (Read() == 1) return true;
    LogError("\nxmlTextReaderRead returned error \n");
    return false;
  }
  // One read as the reader reports it: 1 a node, 0 the end, -1 an error. The reader
  // may go on delivering nodes after an error, so the first failure is remembered.
  int Read() {
    held_ = false;
    int status = xmlTextReaderRead(reader_);
    if (status != 1) {
      ended_ = true;
      failed_ = failed_ || status < 0;
    }
    return status;
  }
  void Hold() { held_ = true; }
  // True once a read has failed or reached the end: nothing after it is trusted.
  bool Ended() const { return ended_; }
  // True once a read has failed (rather than reached the end of the document).
  bool Failed() const { return failed_; }

  xmlTextReaderPtr reader() const { return reader_; }
  int Type() const { return xmlTextReaderNodeType(reader_); }
  int Depth() const { return xmlTextReaderDepth(reader_); }
  bool IsEmpty() const { return xmlTextReaderIsEmptyElement(reader_) == 1; }
  std::string_view Name() const {
    const xmlChar* name = xmlTextReaderConstName(reader_);
    return name != nullptr ? reinterpret_cast<const char*>(name) : "";
  }
  std::string_view Value() const {
    const xmlChar* value = xmlTextReaderConstValue(reader_);
    return value != nullptr ? reinterpret_cast<const char*>(value) : "";
  }
  bool IsStart(std::string_view name) const { return Type() == XML_READER_TYPE_ELEMENT && Name() == name; }
  bool IsEnd(std::string_view name) const { return Type() == XML_READER_TYPE_END_ELEMENT && Name() == name; }
  bool IsText() const {
    int type = Type();
    return type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA || type == XML_READER_TYPE_WHITESPACE ||
           type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
  }
  // White space, stray text and comments between elements.
  bool IsSkippable() const { return Type() == XML_READER_TYPE_COMMENT || (IsText() && Type() != XML_READER_TYPE_CDATA); }

 private:
  xmlTextReaderPtr reader_;
  bool held_ = false;
  bool ended_ = false;
  bool failed_ = false;
};

// kStop: the section ended on a node it does not own (held for the caller).
// kFail: a read error or no memory (logged); the table is dropped.
enum class Flow { kOk, kStop, kFail };

// With the cursor on a start tag: the element's text up to its own end tag. kStop,
// with the offending node held, when another element comes first.
Flow ReadText(Cursor& cursor, std::string& text) {
  text.clear();
  if (cursor.IsEmpty()) return Flow::kOk;
  const std::string name(cursor.Name());
  const int depth = cursor.Depth();
  while (cursor.Next()) {
    if (cursor.IsText()) {
      text += cursor.Value();
    } else if (cursor.Type() == XML_READER_TYPE_COMMENT ||
               cursor.Type() == XML_READER_TYPE_PROCESSING_INSTRUCTION) {
      continue;
    } else if (cursor.IsEnd(name) && cursor.Depth() == depth) {
      return Flow::kOk;
    } else {
      cursor.Hold();
      return Flow::kStop;
    }
  }
  return Flow::kFail;
}

// Reads one text element into a node appended to `chain`; logs `missingEnd` when the
// element's end tag does not follow its text.
Flow ReadTextNode(Cursor& cursor, Chain& chain, const char* missingEnd, XmlTagInfo** made = nullptr) {
  std::string text;
  const std::string name(cursor.Name());
  Flow flow = ReadText(cursor, text);
  if (flow == Flow::kFail) return flow;
  XmlTagInfo* node = NewTextNode(name, text);
  if (node == nullptr) return Flow::kFail;
  chain.Add(node);
  if (made != nullptr) *made = node;
  if (flow == Flow::kStop && missingEnd != nullptr) LogError("%s", missingEnd);
  return flow;
}

XmlTagInfo* NewElementNode(Cursor& cursor) {
  XmlTagInfo* node = NewNode(cursor.Name());
  if (node != nullptr && AllocateAndStrcpyAttrib(cursor.reader(), node) != kVtSuccess) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    FreeTagInfo(node);
    return nullptr;
  }
  return node;
}

// The entries of one allowed-values element: one value node for a list, or a from
// node and, when a to element follows, a to node.
Flow ParseAllowedValues(Cursor& cursor, Chain& properties) {
  XmlTagInfo* list = nullptr;
  std::string text;
  while (cursor.Next()) {
    if (cursor.IsSkippable()) continue;
    if (cursor.IsStart("value")) {
      Flow flow = ReadText(cursor, text);
      if (flow == Flow::kFail) return flow;
      if (!text.empty()) {
        if (list == nullptr) {
          list = NewNode("value");
          if (list == nullptr) return Flow::kFail;
          properties.Add(list);
        }
        if (!AddValue(list, text)) return Flow::kFail;
      }
      if (flow == Flow::kStop) {
        LogError("\n No ending Value tag\n");
        return flow;
      }
    } else if (cursor.IsStart("from")) {
      Flow flow = ReadTextNode(cursor, properties, "\nNo Ending FROM tag \n");
      if (flow != Flow::kOk) return flow;
      bool more = false;
      while ((more = cursor.Next()) && cursor.IsSkippable()) {
      }
      if (!more) return Flow::kFail;
      if (!cursor.IsStart("to")) {
        cursor.Hold();  // a from without a to: checked when the table is built
        continue;
      }
      flow = ReadTextNode(cursor, properties, "\nNo ending TO tag \n");
      if (flow != Flow::kOk) return flow;
    } else if (cursor.IsEnd("allowed-values")) {
      return Flow::kOk;
    } else {
      cursor.Hold();
      return Flow::kStop;
    }
  }
  return Flow::kFail;
}

bool IsColumnProperty(std::string_view name) {
  return name == "description" || name == "data-type" || name == "nullable" || name == "max-size" ||
         name == "default-value" || name == "unique" || name == "generator-name";
}

// The property elements of one column, up to its end tag. Wrappers (such as
// uniquevalue-generation) and unknown elements are walked through node by node.
Flow ParseColumnProperties(Cursor& cursor, XmlTagInfo* column) {
  const int depth = cursor.Depth();
  Chain properties(&column->firstChild);
  while (cursor.Next()) {
    if (cursor.Type() == XML_READER_TYPE_ELEMENT && IsColumnProperty(cursor.Name())) {
      if (ReadTextNode(cursor, properties, nullptr) == Flow::kFail) return Flow::kFail;
    } else if (cursor.IsStart("allowed-values") && !cursor.IsEmpty()) {
      if (ParseAllowedValues(cursor, properties) == Flow::kFail) return Flow::kFail;
    } else if (cursor.IsEnd("column") && cursor.Depth() == depth) {
      return Flow::kOk;
    }
  }
  return Flow::kFail;
}

Flow ParseColumns(Cursor& cursor, XmlTagInfo* columnsNode) {
  Chain columns(&columnsNode->firstChild);
  while (cursor.Next()) {
    if (cursor.IsSkippable()) continue;
    if (!cursor.IsStart("column")) {
      cursor.Hold();  // the columns end tag, or an element that ends the columns
      return Flow::kOk;
    }
    XmlTagInfo* column = NewElementNode(cursor);
    if (column == nullptr) return Flow::kFail;
    columns.Add(column);
    if (!cursor.IsEmpty() && ParseColumnProperties(cursor, column) == Flow::kFail) return Flow::kFail;
  }
  return Flow::kFail;
}

// The two columns of one fk-column pair.
Flow ParseForeignKeyPair(Cursor& cursor, XmlTagInfo* pair) {
  Chain parts(&pair->firstChild);
  XmlTagInfo* local = nullptr;
  XmlTagInfo* reference = nullptr;
  while (cursor.Next()) {
    if (cursor.IsStart("fk-local-column") && local == nullptr) {
      Flow flow = ReadTextNode(cursor, parts, "\n Missing endof FK-LOCAL-COLUMN tag\n", &local);
      if (flow != Flow::kOk) return flow;
    } else if (cursor.IsStart("fk-reference-column") && local != nullptr && reference == nullptr) {
      Flow flow = ReadTextNode(cursor, parts, "\nMissing endof FK-REFERENCE-COLUMN\n", &reference);
      if (flow != Flow::kOk) return flow;
    } else if (cursor.IsEnd("fk-column")) {
      return Flow::kOk;
    }
  }
  return Flow::kFail;
}

// The pairs of one fk-columns element, up to its end tag.
Flow ParseForeignKeyColumns(Cursor& cursor, XmlTagInfo* columns) {
  Chain pairs(&columns->firstChild);
  while (cursor.Next()) {
    if (cursor.IsSkippable()) continue;
    if (cursor.IsStart("fk-column")) {
      XmlTagInfo* pair = NewNode("fk-column");
      if (pair == nullptr) return Flow::kFail;
      pairs.Add(pair);
      if (cursor.IsEmpty()) continue;
      Flow flow = ParseForeignKeyPair(cursor, pair);
      if (flow == Flow::kFail) return flow;
      if (flow == Flow::kStop) {
        if (!cursor.Next()) return Flow::kFail;
        if (cursor.IsEnd("fk-columns")) return Flow::kOk;
        cursor.Hold();
        LogError("\nMissing end FK-COLUMNS\n");
        return Flow::kStop;
      }
    } else if (cursor.IsEnd("fk-columns")) {
      return Flow::kOk;
    } else {
      cursor.Hold();
      LogError("\nMissing end FK-COLUMNS\n");
      return Flow::kStop;
    }
  }
  return Flow::kFail;
}

// The content of one foreign-key element: fk-columns, then an optional fk-constraints.
Flow ParseForeignKey(Cursor& cursor, XmlTagInfo* key) {
  XmlTagInfo* columns = nullptr;
  bool haveConstraints = false;
  while (cursor.Next()) {
    if (cursor.IsStart("fk-columns") && columns == nullptr) {
      columns = NewNode("fk-columns");
      if (columns == nullptr) return Flow::kFail;
      key->firstChild = columns;
      if (cursor.IsEmpty()) continue;
      Flow flow = ParseForeignKeyColumns(cursor, columns);
      if (flow != Flow::kOk) return flow;
    } else if (cursor.IsStart("fk-constraints") && columns != nullptr && !haveConstraints) {
      haveConstraints = true;
      Chain after(&columns->nextSibling);
      Flow flow = ReadTextNode(cursor, after, "\nMissing endof FK-CONSTRAINTS tag\n");
      if (flow != Flow::kOk) return flow;
    } else if (cursor.IsEnd("foreign-key")) {
      return Flow::kOk;
    }
  }
  return Flow::kFail;
}

// The foreign-key elements of one foreign-keys element.
Flow ParseForeignKeys(Cursor& cursor, XmlTagInfo* keysNode) {
  Chain keys(&keysNode->firstChild);
  while (cursor.Next()) {
    if (cursor.IsSkippable()) continue;
    if (cursor.IsStart("foreign-key")) {
      XmlTagInfo* key = NewElementNode(cursor);
      if (key == nullptr) return Flow::kFail;
      keys.Add(key);
      if (cursor.IsEmpty()) continue;
      Flow flow = ParseForeignKey(cursor, key);
      if (flow != Flow::kOk) return flow;
    } else if (cursor.IsEnd("foreign-keys")) {
      return Flow::kOk;
    } else {
      cursor.Hold();
      return Flow::kStop;
    }
  }
  return Flow::kFail;
}

// The primary-key-column elements of one primary-key element.
Flow ParsePrimaryKey(Cursor& cursor, XmlTagInfo* keyNode) {
  Chain columns(&keyNode->firstChild);
  while (cursor.Next()) {
    if (cursor.IsSkippable()) continue;
    if (cursor.IsStart("primary-key-column")) {
      Flow flow = ReadTextNode(cursor, columns, "\nMissing primary-key-column end tag\n");
      if (flow != Flow::kOk) return flow;
    } else if (cursor.IsEnd("primary-key")) {
      return Flow::kOk;
    } else {
      cursor.Hold();
      return Flow::kStop;
    }
  }
  return Flow::kFail;
}

// One table element, with the table node already made and set as the root. Sections
// must come in the order description, columns, primary-key, foreign-keys; a section out
// of that order is walked through without being linked.
class TableReader {
 public:
  TableReader(Cursor& cursor, XmlTagInfo* table) : cursor_(cursor), table_(table), depth_(cursor.Depth()) {}

  bool Run() {
    if (cursor_.IsEmpty()) return true;
    if (!cursor_.Next()) return false;
    if (!ReadUpToColumns()) return false;
    return ReadSections();
  }

 private:
  bool AtTableEnd() const { return cursor_.IsEnd("table") && cursor_.Depth() == depth_; }

  // Passes over nodes until description or columns; a description is read here.
  bool ReadUpToColumns() {
    for (;;) {
      if (AtTableEnd() || cursor_.IsStart("columns")) {
        cursor_.Hold();
        return true;
      }
      if (cursor_.IsStart("description")) return ReadDescription();
      if (!cursor_.Next()) return false;
    }
  }

  bool ReadDescription() {
    std::string text;
    if (ReadText(cursor_, text) == Flow::kFail) return false;
    description_ = NewTextNode("description", text);
    if (description_ == nullptr) return false;
    if (std::strcmp(table_->name, "table") == 0) {
      table_->firstChild = description_;
    } else {
      LogError("\nDescription tag ambiguity \n");
      table_->nextSibling = description_;
    }
    return true;
  }

  bool ReadSections() {
    while (cursor_.Next()) {
      if (AtTableEnd() || cursor_.IsStart("data-dictionary")) return true;
      Flow flow = Flow::kOk;
      if (cursor_.IsStart("columns") && columns_ == nullptr) {
        flow = ReadSection("columns", description_ != nullptr ? &description_->nextSibling : &table_->firstChild,
                           columns_, ParseColumns);
      } else if (cursor_.IsStart("primary-key") && columns_ != nullptr && key_ == nullptr && foreignKeys_ == nullptr) {
        flow = ReadSection("primary-key", &columns_->nextSibling, key_, ParsePrimaryKey);
      } else if (cursor_.IsStart("foreign-keys") && columns_ != nullptr && foreignKeys_ == nullptr) {
        flow = ReadSection("foreign-keys", key_ != nullptr ? &key_->nextSibling : &columns_->nextSibling, foreignKeys_,
                           ParseForeignKeys);
      }
      if (flow == Flow::kFail) return false;
    }
    return false;
  }

  // Makes the section's node at *slot and reads its content. A section that ended on a
  // node of its own end tag is done; any other node it stopped on is looked at again.
  Flow ReadSection(const char* name, XmlTagInfo** slot, XmlTagInfo*& node, Flow (*parse)(Cursor&, XmlTagInfo*)) {
    node = NewNode(name);
    if (node == nullptr) return Flow::kFail;
    *slot = node;
    if (cursor_.IsEmpty()) return Flow::kOk;
    Flow flow = parse(cursor_, node);
    if (flow == Flow::kFail) return flow;
    if (flow == Flow::kOk && std::strcmp(name, "columns") == 0) {
      // The columns stop on the node after them; it is theirs only if it is their end tag.
      if (!cursor_.Next()) return Flow::kFail;
      if (!cursor_.IsEnd("columns")) cursor_.Hold();
    }
    return Flow::kOk;
  }

  Cursor& cursor_;
  XmlTagInfo* table_;
  const int depth_;
  XmlTagInfo* description_ = nullptr;
  XmlTagInfo* columns_ = nullptr;
  XmlTagInfo* key_ = nullptr;
  XmlTagInfo* foreignKeys_ = nullptr;
};

// The table at the cursor into a tree at gv_xmlTagInfoRoot; on failure the tree is
// freed and the root null.
bool ReadTable(Cursor& cursor) {
  FreeTagInfo(gv_xmlTagInfoRoot);
  gv_xmlTagInfoRoot = nullptr;
  if (CompareNoCase(std::string(cursor.Name()).c_str(), "table") != 0) {
    LogError("\nTABLE tag missing\n");
    return false;
  }
  XmlTagInfo* table = NewElementNode(cursor);
  if (table == nullptr) return false;
  const char* first = table->attribCount > 0 ? table->attribValues[0] : "";
  LogTrace("@@@@Parsing Table Info : %s @@@@\n", first);
  gv_xmlTagInfoRoot = table;
  if (TableReader(cursor, table).Run()) return true;
  FreeTagInfo(gv_xmlTagInfoRoot);
  gv_xmlTagInfoRoot = nullptr;
  return false;
}

// Reads and registers the table at the cursor. A dropped table is walked to its end
// tag so the walk goes on after it. False when the reader failed or the document
// ended: nothing more of the file is read.
bool ReadTableAt(Cursor& cursor) {
  const int depth = cursor.Depth();
  const bool empty = cursor.IsEmpty();
  if (ReadTable(cursor)) {
    LoadTableDefnFromTagInfo();
  } else if (!empty && !cursor.Ended()) {
    while (!(cursor.IsEnd("table") && cursor.Depth() == depth)) {
      if (cursor.Read() != 1) break;
    }
  }
  FreeTagInfo(gv_xmlTagInfoRoot);
  gv_xmlTagInfoRoot = nullptr;
  return !cursor.Ended();
}

// ---------------------------------------------------------------- tree to definition

struct ReaderDeleter {
  void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};
using ReaderPtr = std::unique_ptr<xmlTextReader, ReaderDeleter>;

// Column vector and constraints of a table being built, freed unless handed on.
struct PendingTable {
  Vector* columns = nullptr;
  ConstraintDefn* constraints = nullptr;
  ~PendingTable() {
    FreeColumnDefnList(columns);
    std::free(columns);
    FreeConstraintDefn(constraints);
    std::free(constraints);
  }
};

struct AllowedValuesDeleter {
  void operator()(AllowedValues* values) const { FreeAllowedValues(values); }
};
using AllowedValuesPtr = std::unique_ptr<AllowedValues, AllowedValuesDeleter>;

// A copy of the list entries followed by a null entry; null when out of memory.
AllowedValues* CopyAllowedList(const XmlTagInfo& node) {
  auto* allowed = static_cast<AllowedValues*>(VtCalloc(1, sizeof(AllowedValues)));
  if (allowed == nullptr) return nullptr;
  allowed->values = static_cast<char**>(VtCalloc(static_cast<std::size_t>(node.valueCount) + 1, sizeof(char*)));
  for (std::int32_t i = 0; allowed->values != nullptr && i < node.valueCount; ++i) {
    if (AllocateAndSetString(&allowed->values[i], node.values[i]) != kVtSuccess) {
      FreeAllowedValues(allowed);
      return nullptr;
    }
  }
  if (allowed->values == nullptr) {
    std::free(allowed);
    return nullptr;
  }
  return allowed;
}

AllowedValues* CopyAllowedRange(const char* from, const char* to) {
  auto* allowed = static_cast<AllowedValues*>(VtCalloc(1, sizeof(AllowedValues)));
  if (allowed == nullptr) return nullptr;
  allowed->isRange = 1;
  allowed->values = static_cast<char**>(VtCalloc(2, sizeof(char*)));
  if (allowed->values == nullptr || AllocateAndSetString(&allowed->values[0], from) != kVtSuccess ||
      AllocateAndSetString(&allowed->values[1], to) != kVtSuccess) {
    FreeAllowedValues(allowed);
    return nullptr;
  }
  return allowed;
}

// The properties of one column, starting from the defaults.
struct ColumnProperties {
  const char* dataType = nullptr;
  const char* description = nullptr;
  const char* defaultText = nullptr;
  const char* generatorName = nullptr;
  std::int32_t maxSize = 0;
  std::uint8_t unique = 0;
  std::uint8_t nullable = 1;
  AllowedValuesPtr allowed;
};

enum class Applied { kOk, kMissingTo, kNoMemory };

// Applies one property node; a range consumes its to node as well (*node moves on).
Applied ApplyProperty(const XmlTagInfo*& node, ColumnProperties& column) {
  const char* value = FirstValue(node);
  if (Named(node, "from")) {
    const XmlTagInfo* to = node->nextSibling;
    if (!Named(to, "to")) return Applied::kMissingTo;
    node = to;
    column.allowed.reset();
    if (value == nullptr || FirstValue(to) == nullptr) return Applied::kOk;  // an empty bound: no range
    column.allowed.reset(CopyAllowedRange(value, FirstValue(to)));
    return column.allowed != nullptr ? Applied::kOk : Applied::kNoMemory;
  }
  if (Named(node, "value")) {
    column.allowed.reset(CopyAllowedList(*node));
    return column.allowed != nullptr ? Applied::kOk : Applied::kNoMemory;
  }
  if (value == nullptr) return Applied::kOk;  // no text: the property keeps its default
  if (Named(node, "data-type")) column.dataType = value;
  if (Named(node, "description")) column.description = value;
  if (Named(node, "default-value")) column.defaultText = value;
  if (Named(node, "generator-name")) column.generatorName = value;
  if (Named(node, "nullable")) column.nullable = CompareNoCase(value, "true") == 0 ? 1 : 0;
  if (Named(node, "unique")) column.unique = std::strcmp(value, "true") == 0 ? 1 : 0;
  if (Named(node, "max-size")) column.maxSize = ParseSignedInteger(value);
  return Applied::kOk;
}

// Builds one column and appends it to `columns`; false (logged) when the table must
// be dropped.
bool AddColumn(const char* tableName, const XmlTagInfo& columnNode, Vector* columns) {
  const char* name = Attribute(&columnNode, "name");
  if (name == nullptr) {
    LogError("A column of table %s has no name; the table is not loaded.\n", tableName);
    return false;
  }
  ColumnProperties properties;
  for (const XmlTagInfo* node = columnNode.firstChild; node != nullptr; node = node->nextSibling) {
    Applied applied = ApplyProperty(node, properties);
    if (applied == Applied::kMissingTo) {
      LogError("In the allowed values attribute, 'to' tag is missing.\n");
      return false;
    }
    if (applied == Applied::kNoMemory) {
      LogError("Cannot copy allowed values.\n");
      return false;
    }
  }
  const ColumnType type = GetColumnTypeFromName(properties.dataType);
  const auto defaultLength =
      properties.defaultText != nullptr ? static_cast<std::int32_t>(std::strlen(properties.defaultText)) : 0;
  ColumnDefn* column = CreateColumnDefn(name, type, properties.defaultText, defaultLength, properties.unique,
                                        properties.generatorName, properties.description, properties.maxSize,
                                        properties.nullable, properties.allowed.get());
  if (column == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  properties.allowed.release();  // the column owns it now
  if (AddElementData(columns, column) != kVtSuccess) {
    FreeColumnDefn(column);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  return true;
}

// The primary key names in order; key columns without text are logged and left out.
std::vector<const char*> KeyNames(const char* tableName, const XmlTagInfo* keyNode) {
  std::vector<const char*> names;
  for (const XmlTagInfo* column = keyNode->firstChild; column != nullptr; column = column->nextSibling) {
    if (FirstValue(column) != nullptr) {
      names.push_back(FirstValue(column));
    } else {
      LogError("A primary-key-column of table %s has no name and is left out.\n", tableName);
    }
  }
  return names;
}

// One ForeignKeyDefn per complete fk-column pair of one foreign-key node.
bool AddForeignKey(const char* tableName, const XmlTagInfo& keyNode, ConstraintDefn* constraints) {
  const XmlTagInfo* columns = keyNode.firstChild;
  if (!Named(columns, "fk-columns")) {
    LogDebug("fk-columns tag not found \n");
    return true;
  }
  const char* referenceTable = Attribute(&keyNode, "reference-table-name");
  if (referenceTable == nullptr) {
    LogError("A foreign key of table %s has no reference-table-name and is left out.\n", tableName);
    return true;
  }
  const char* bidirectional = Attribute(&keyNode, "isbidirectional");
  const std::uint8_t isBidirectional = bidirectional != nullptr && std::strcmp(bidirectional, "true") == 0;
  const XmlTagInfo* constraint = columns->nextSibling;
  const std::uint8_t cascade = Named(constraint, "fk-constraints") && FirstValue(constraint) != nullptr &&
                               std::strcmp(FirstValue(constraint), "ON-DELETE-CASCADE") == 0;
  for (const XmlTagInfo* pair = columns->firstChild; pair != nullptr; pair = pair->nextSibling) {
    const XmlTagInfo* local = pair->firstChild;
    const XmlTagInfo* reference = local != nullptr ? local->nextSibling : nullptr;
    if (!Named(local, "fk-local-column") || !Named(reference, "fk-reference-column") ||
        FirstValue(local) == nullptr || FirstValue(reference) == nullptr) {
      LogError("An incomplete fk-column of table %s is left out.\n", tableName);
      continue;
    }
    ForeignKeyDefn* key =
        CreateForeignKeyDefn(FirstValue(local), FirstValue(reference), referenceTable, cascade, 0, isBidirectional);
    if (key == nullptr || !AddForeignKeyDefn(constraints, key)) {
      FreeForeignKeyDefn(key);
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return false;
    }
  }
  return true;
}

bool BuildConstraints(const char* tableName, const XmlTagInfo* columnsNode, PendingTable& table) {
  const XmlTagInfo* next = columnsNode->nextSibling;
  std::vector<const char*> keys;
  if (Named(next, "primary-key")) {
    keys = KeyNames(tableName, next);
    next = next->nextSibling;
  }
  table.constraints = CreateConstraintDefn(keys.data(), static_cast<std::int32_t>(keys.size()));
  if (table.constraints == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  if (!Named(next, "foreign-keys")) return true;
  for (const XmlTagInfo* key = next->firstChild; key != nullptr; key = key->nextSibling) {
    if (!AddForeignKey(tableName, *key, table.constraints)) return false;
  }
  return true;
}

// ---------------------------------------------------------------- list files

// The words of a list file; nullopt when it is not a readable regular file.
std::optional<std::vector<std::string>> ReadWordList(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool NameFits(const std::string& name) {
  if (name.size() <= kMaxDataFileNameLength) return true;
  LogError("Data dictionary file name longer than %zu bytes skipped: %.*s...\n", kMaxDataFileNameLength,
           static_cast<int>(kMaxDataFileNameLength), name.c_str());
  return false;
}

bool PathFits(const std::string& path) {
  if (path.size() <= kMaxDataPathLength) return true;
  LogError("Data dictionary path longer than %zu bytes skipped: %s\n", kMaxDataPathLength, path.c_str());
  return false;
}

// Loads each listed dictionary at the path `resolve` gives for its name.
template <typename Resolve>
void LoadListedFiles(const std::vector<std::string>& names, Resolve resolve, bool logOpening) {
  for (const std::string& name : names) {
    if (!NameFits(name)) continue;
    const std::string path = resolve(name);
    if (!PathFits(path)) continue;
    if (logOpening) LogDebug("Opening %s\n", path.c_str());
    LoadDataDictFromXMLFile(path.c_str());
  }
}

void ForwardParserMessage(void* /*argument*/, const char* message, xmlParserSeverities /*severity*/,
                          xmlTextReaderLocatorPtr /*locator*/) {
  LogDebug("XML parser: %s", message != nullptr ? message : "\n");
}

}  // namespace

XmlTagInfo* CreateandInitXmlTagInfo() {
  LogTrace("\n Inside CreateandInitXmlTagInfo \n");
  return static_cast<XmlTagInfo*>(VtCalloc(1, sizeof(XmlTagInfo)));
}

bool FreeXmlTagInfoList(XmlTagInfo* tagInfo) {
  LogTrace("\n Inside FreeXmlTagInfoList\n");
  if (tagInfo == nullptr) return false;
  FreeTagInfo(tagInfo);
  return true;
}

std::uint8_t AllocateAndStrcpyAttrib(xmlTextReaderPtr reader, XmlTagInfo* tagInfo) {
  LogTrace("\nInside AllocateAndStrcpyAttrib\n\n");
  if (reader == nullptr || tagInfo == nullptr) return kVtFailure;
  FreeStringArray(tagInfo->attribNames, tagInfo->attribCount);
  FreeStringArray(tagInfo->attribValues, tagInfo->attribCount);
  tagInfo->attribNames = tagInfo->attribValues = nullptr;
  tagInfo->attribCount = 0;
  const int present = xmlTextReaderAttributeCount(reader);
  if (present <= 0) return kVtSuccess;
  tagInfo->attribNames = static_cast<char**>(VtCalloc(kKnownAttributes.size(), sizeof(char*)));
  tagInfo->attribValues = static_cast<char**>(VtCalloc(kKnownAttributes.size(), sizeof(char*)));
  if (tagInfo->attribNames == nullptr || tagInfo->attribValues == nullptr) return kVtNoMemory;
  for (const char* known : kKnownAttributes) {
    xmlChar* value = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>(known));
    if (value == nullptr) continue;
    const std::int32_t at = tagInfo->attribCount;
    const bool copied = AllocateAndSetString(&tagInfo->attribNames[at], known) == kVtSuccess &&
                        AllocateAndSetString(&tagInfo->attribValues[at], reinterpret_cast<const char*>(value)) ==
                            kVtSuccess;
    xmlFree(value);
    if (!copied) {
      std::free(tagInfo->attribNames[at]);
      tagInfo->attribNames[at] = nullptr;
      return kVtNoMemory;
    }
    ++tagInfo->attribCount;
  }
  if (tagInfo->attribCount < present) LogError("\n Not all Attributes were read\n");
  return kVtSuccess;
}

std::uint8_t ParseColumnsInfo(XmlTagInfo* columnsNode, xmlTextReaderPtr reader) {
  if (columnsNode == nullptr || reader == nullptr) return 0;
  Cursor cursor(reader);
  return ParseColumns(cursor, columnsNode) == Flow::kOk ? 1 : 0;
}

std::uint8_t ParseTableInfo(xmlTextReaderPtr reader) {
  if (reader == nullptr) {
    FreeTagInfo(gv_xmlTagInfoRoot);
    gv_xmlTagInfoRoot = nullptr;
    return 0;
  }
  Cursor cursor(reader);
  return ReadTable(cursor) ? 1 : 0;
}

bool LoadTableDefnFromTagInfo() {
  const XmlTagInfo* table = gv_xmlTagInfoRoot;
  if (table == nullptr) return false;
  const char* tableName = Attribute(table, "name");
  if (tableName == nullptr) {
    LogError("A table without a name is not loaded.\n");
    return false;
  }
  const XmlTagInfo* first = table->firstChild;
  const char* description = Named(first, "description") ? FirstValue(first) : nullptr;
  const XmlTagInfo* columnsNode = Named(first, "description") ? first->nextSibling : first;
  if (!Named(columnsNode, "columns") || columnsNode->firstChild == nullptr) {
    LogError("Table %s has no columns and is not loaded.\n", tableName);
    return false;
  }
  PendingTable pending;
  pending.columns = CreateVector();
  if (pending.columns == nullptr) return false;
  for (const XmlTagInfo* column = columnsNode->firstChild; column != nullptr; column = column->nextSibling) {
    if (!AddColumn(tableName, *column, pending.columns)) return false;
  }
  if (!BuildConstraints(tableName, columnsNode, pending)) return false;
  TableDefn* definition = CreateTableDefn(tableName, description, pending.columns, pending.constraints);
  if (definition == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  pending.columns = nullptr;
  pending.constraints = nullptr;
  if (!AddTableDefn(definition)) {
    FreeTableDefn(definition);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  LogTrace("\t@@@@ Loaded Table definition Successfully @@@@\n");
  return true;
}

void ParseDataDictFile(const char* path) {
  if (path == nullptr) return;
  ReaderPtr reader(xmlNewTextReaderFilename(path));
  if (reader == nullptr) {
    LogError("Unable to open %s\n", path);
    return;
  }
  xmlTextReaderSetErrorHandler(reader.get(), ForwardParserMessage, nullptr);
  Cursor cursor(reader.get());
  int status = cursor.Read();
  if (status == 1) status = cursor.Read();  // past the document element
  while (status == 1) {
    if (cursor.IsStart("table")) {
      if (!ReadTableAt(cursor)) break;
    } else if (cursor.IsStart("description") && cursor.Depth() == 1) {
      std::string ignored;
      if (ReadText(cursor, ignored) != Flow::kOk) {
        LogError("\nNo Description end tag\n");
        break;
      }
    }
    status = cursor.Read();
  }
  if (cursor.Failed() || xmlTextReaderReadState(reader.get()) == XML_TEXTREADER_MODE_ERROR) {
    LogError("%s : failed to parse\n", path);
  }
}

bool XmlDataParser(const char* path) {
  LogTrace("\n Inside XmlDataParser\n");
  ParseDataDictFile(path);
  return true;
}

bool LoadDataDictFromXMLFile(const char* path) {
  LogTrace("\nInside LoadDataDictFromXMLFile() \n\n");
  FreeTagInfo(gv_xmlTagInfoRoot);
  gv_xmlTagInfoRoot = nullptr;
  if (path == nullptr) return false;
  xmlInitParser();
  XmlDataParser(path);
  return true;
}

bool LoadAllDataDictFiles() {
  LogTrace("\t@@@@@ Inside LoadAllDataDictFiles() @@@@@\n");
  std::optional<std::vector<std::string>> names = ReadWordList(RelativeDataPath(kListFileName));
  if (names) {
    LoadListedFiles(*names, [](const std::string& name) { return RelativeDataPath(name); }, true);
    return true;
  }
  std::optional<std::string> listPath = StoreRootDataPath(kListFileName);
  if (listPath) {
    LogDebug("Opening %s\n", listPath->c_str());
    if (PathFits(*listPath)) names = ReadWordList(*listPath);
  }
  if (!names) {
    LogError("Cannot open DataDictionary File.\n");
    return false;
  }
  LoadListedFiles(*names, [](const std::string& name) { return StoreRootDataPath(name).value_or(name); }, true);
  return true;
}

bool LoadDataDictFiles(const char* directory) {
  LogTrace("\t@@@@@ Inside LoadDataDictFiles() @@@@@\n");
  if (directory == nullptr) return false;
  const std::string base(directory);
  std::optional<std::vector<std::string>> names;
  const std::string listPath = JoinDataPath(base, kListFileName);
  if (PathFits(listPath)) names = ReadWordList(listPath);
  if (!names) return false;
  LoadListedFiles(*names, [&base](const std::string& name) { return JoinDataPath(base, name); }, false);
  return true;
}
