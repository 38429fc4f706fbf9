// The criteria language: parses a row condition such as  age >= 18 and name = 'smith'
// into a tree of comparison leaves joined by and/or nodes, and frees such trees.
// A tree returned by ParseCriteria belongs to the caller, who releases it with
// FreeCriteriaTree; its nodes and texts come from VtMalloc. The parser keeps all its
// state per call, yet callers still parse and evaluate under gv_criteriaLock, as every
// user of the criteria language does, so that evaluation never races a table change.
#pragma once

#include <cstdint>

struct CriteriaNode {
  char* columnName;          // the identifier (owned); null for an and/or node
  char* valueText;           // the literal as written, quotes included (owned); null for and/or
  std::uint8_t op;           // 1 <, 2 >, 3 <=, 4 >=, 5 =, 6 !=, 7 and, 8 or
  std::uint8_t columnIndex;  // 0 when built; set by the evaluator
  std::uint8_t columnType;   // 0 when built; set by the evaluator
  CriteriaNode* left;
  CriteriaNode* right;
  CriteriaNode* parent;      // set on both children when an and/or node is made
};

// The tree of the criteria written in `text`; for a text of several lines, the tree of
// the last line. Null for a null text, a text that is not a criterion, nesting beyond
// the parser's 10000-entry stacks, or when memory runs out; every node built for the
// text is then freed. Nothing is logged.
CriteriaNode* ParseCriteria(const char* text);

// Frees a tree: every node with its two texts. Null is accepted. Works without
// recursion, so trees of any depth are safe.
void FreeCriteriaTree(CriteriaNode* node);

// A comparison leaf that takes over `columnName` and `valueText` (VtMalloc'd texts),
// with no children and no parent. Null when memory runs out; the texts then stay the
// caller's.
CriteriaNode* CreateCriteriaNode(char* columnName, std::uint8_t op, char* valueText);

// An and (7) or or (8) node over two existing trees, which become its children and get
// it as their parent. Null when memory runs out; the trees are then left unchanged.
CriteriaNode* CreateLogicalCriteriaNode(CriteriaNode* left, CriteriaNode* right, std::uint8_t op);
