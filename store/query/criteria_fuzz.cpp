// Fuzz target for ParseCriteria. Besides the sanitizers' checks it verifies that every
// tree accepted is well formed and that writing it back as text parses to the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "store/query/criteria.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

const char* ComparisonText(std::uint8_t op) {
  static const char* const kTexts[] = {"<", ">", "<=", ">=", "=", "!="};
  Require(op >= 1 && op <= 6);
  return kTexts[op - 1];
}

bool IsLogical(const CriteriaNode* node) { return node->op == 7 || node->op == 8; }

// Checks the node's shape and writes it back as criteria text. Only a left operand that
// is itself an and/or needs parentheses (and and or group to the right), so the text
// never nests deeper than the one the tree came from.
std::string Unparse(const CriteriaNode* node, const CriteriaNode* parent) {
  Require(node != nullptr);
  Require(node->parent == parent);
  Require(node->columnIndex == 0 && node->columnType == 0);
  if (IsLogical(node)) {
    Require(node->columnName == nullptr && node->valueText == nullptr);
    std::string left = Unparse(node->left, node);
    if (IsLogical(node->left)) left = "(" + left + ")";
    return left + (node->op == 7 ? " and " : " or ") + Unparse(node->right, node);
  }
  Require(node->left == nullptr && node->right == nullptr);
  Require(node->columnName != nullptr && node->valueText != nullptr);
  return std::string(node->columnName) + " " + ComparisonText(node->op) + " " + node->valueText;
}

bool SameTree(const CriteriaNode* a, const CriteriaNode* b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->op != b->op) return false;
  if (IsLogical(a)) return SameTree(a->left, b->left) && SameTree(a->right, b->right);
  return std::strcmp(a->columnName, b->columnName) == 0 &&
         std::strcmp(a->valueText, b->valueText) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CriteriaNode* tree = ParseCriteria(text.c_str());
  if (tree != nullptr) {
    const std::string again = Unparse(tree, nullptr);
    CriteriaNode* reparsed = ParseCriteria(again.c_str());
    Require(SameTree(tree, reparsed));
    FreeCriteriaTree(reparsed);
  }
  FreeCriteriaTree(tree);
  return 0;
}
