#include "store/query/criteria.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "criteria_parser.h"
#include "criteria_scanner.h"
#include "store/query/criteria_parse_context.h"
#include "store/util/alloc.h"

namespace {

struct FreeDeleter {
  void operator()(char* block) const { std::free(block); }
};

// Owns one re-entrant scanner for the life of a parse.
class Scanner {
 public:
  explicit Scanner(CriteriaParseContext* context) {
    if (criteria_lex_init_extra(context, &scanner_) != 0) scanner_ = nullptr;
  }
  ~Scanner() {
    if (scanner_ != nullptr) criteria_lex_destroy(scanner_);
  }
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  yyscan_t get() const { return scanner_; }

 private:
  yyscan_t scanner_ = nullptr;
};

// Frees one node and its texts, not its children.
void FreeOneNode(CriteriaNode* node) {
  std::free(node->columnName);
  std::free(node->valueText);
  std::free(node);
}

}  // namespace

void CriteriaParseError(CriteriaParseContext* context, const char* /*message*/) {
  ++context->errorCount;
}

CriteriaNode* ParseCriteria(const char* text) {
  if (text == nullptr) return nullptr;
  // The criterion gets its line break; the scanner reads the copy in place, which
  // needs two terminating zero bytes behind the text.
  const std::size_t length = std::strlen(text);
  const std::size_t size = length + 3;
  std::unique_ptr<char, FreeDeleter> copy(static_cast<char*>(VtMalloc(size)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy.get(), text, length);
  copy.get()[length] = '\n';
  copy.get()[length + 1] = '\0';
  copy.get()[length + 2] = '\0';

  CriteriaParseContext context{nullptr, 0};
  Scanner scanner(&context);
  if (scanner.get() == nullptr) return nullptr;
  if (criteria__scan_buffer(copy.get(), size, scanner.get()) == nullptr) return nullptr;
  const int status = criteria_parse(scanner.get(), &context);
  if (status != 0 || context.errorCount != 0) {
    FreeCriteriaTree(context.result);
    return nullptr;
  }
  return context.result;
}

void FreeCriteriaTree(CriteriaNode* node) {
  // Rotating every left child up until a node has none turns the tree into a list
  // along the right links, which is freed one node at a time: no recursion and no
  // extra memory, whatever the depth.
  while (node != nullptr) {
    if (node->left != nullptr) {
      CriteriaNode* left = node->left;
      node->left = left->right;
      left->right = node;
      node = left;
    } else {
      CriteriaNode* right = node->right;
      FreeOneNode(node);
      node = right;
    }
  }
}

CriteriaNode* CreateCriteriaNode(char* columnName, std::uint8_t op, char* valueText) {
  auto* node = static_cast<CriteriaNode*>(VtCalloc(1, sizeof(CriteriaNode)));
  if (node == nullptr) return nullptr;
  node->columnName = columnName;
  node->valueText = valueText;
  node->op = op;
  return node;
}

CriteriaNode* CreateLogicalCriteriaNode(CriteriaNode* left, CriteriaNode* right, std::uint8_t op) {
  auto* node = static_cast<CriteriaNode*>(VtCalloc(1, sizeof(CriteriaNode)));
  if (node == nullptr) return nullptr;
  node->op = op;
  node->left = left;
  node->right = right;
  if (left != nullptr) left->parent = node;
  if (right != nullptr) right->parent = node;
  return node;
}
