#include "store/query/criteria.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "store/util/alloc.h"

namespace {

const char* OperatorText(std::uint8_t op) {
  static const char* const kTexts[] = {"?", "<", ">", "<=", ">=", "=", "!=", "and", "or"};
  return op < std::size(kTexts) ? kTexts[op] : "?";
}

// A compact picture of a tree: a leaf as column, operator and value text; an and/or
// node as and(left,right). It also checks what every tree must hold: parents point
// back, leaves have both texts and no children, inner nodes neither text, and the
// evaluator's fields are still 0.
std::string Render(const CriteriaNode* node, const CriteriaNode* parent = nullptr) {
  if (node == nullptr) return "<null>";
  EXPECT_EQ(node->parent, parent);
  EXPECT_EQ(node->columnIndex, 0);
  EXPECT_EQ(node->columnType, 0);
  if (node->op == 7 || node->op == 8) {
    EXPECT_EQ(node->columnName, nullptr);
    EXPECT_EQ(node->valueText, nullptr);
    return std::string(OperatorText(node->op)) + "(" + Render(node->left, node) + "," +
           Render(node->right, node) + ")";
  }
  EXPECT_EQ(node->left, nullptr);
  EXPECT_EQ(node->right, nullptr);
  if (node->columnName == nullptr || node->valueText == nullptr) return "<leaf without text>";
  return std::string(node->columnName) + OperatorText(node->op) + node->valueText;
}

// Parses, renders and frees; "<null>" when the parse failed.
std::string ParseAndRender(const char* text) {
  CriteriaNode* tree = ParseCriteria(text);
  std::string picture = Render(tree);
  FreeCriteriaTree(tree);
  return picture;
}

struct Case {
  const char* text;
  const char* expected;  // the rendered tree, or "<null>" for a failed parse
};

TEST(ParseCriteria, EdgeCasesOfTheLanguage) {
  const Case cases[] = {
      {"age >= 18", "age>=18"},
      {"18 <= age", "age<=18"},  // not mirrored
      {"name = 'O Brien'", "name='O Brien'"},
      {"name = 'a_b'", "name='a_b'"},
      {"name = '_ab'", "<null>"},
      {"a = 1 and b = 2 or c = 3", "and(a=1,or(b=2,c=3))"},
      {"(a = 1 and b = 2) or c = 3", "or(and(a=1,b=2),c=3)"},
      {"a = 1 or b = 2 and c = 3", "or(a=1,and(b=2,c=3))"},
      {"a = 1 AND b = 2", "<null>"},
      {"price > 9.5", "price>9.5"},
      {"price > .5", "<null>"},
      {"price > 5.", "<null>"},
      {"price > -5", "<null>"},
      {"", "<null>"},
      {"   \t ", "<null>"},
      {"a = 1;", "<null>"},
      {"a = 1 b = 2", "<null>"},
      {"a = b", "<null>"},
      {"5 = 6", "<null>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("criteria: [") + c.text + "]");
    EXPECT_EQ(ParseAndRender(c.text), c.expected);
  }
}

TEST(ParseCriteria, TokensAndOperators) {
  const Case cases[] = {
      {"a < 1", "a<1"},
      {"a > 1", "a>1"},
      {"a <= 1", "a<=1"},
      {"a >= 1", "a>=1"},
      {"a = 1", "a=1"},
      {"a != 1", "a!=1"},
      {"5 < age", "age<5"},
      {"5 != age", "age!=5"},
      {"a<=1", "a<=1"},
      {"\ta\t=\t007", "a=007"},
      {"a < = 1", "<null>"},      // <= is one token
      {"a ! = 1", "<null>"},
      {"a == 1", "<null>"},
      // Keywords are lower case only; anything longer is an identifier.
      {"And = 1", "And=1"},
      {"AND = 1", "AND=1"},
      {"OR = 1", "OR=1"},
      {"andrew = 1 and order = 2", "and(andrew=1,order=2)"},
      {"and = 1", "<null>"},
      {"a_b1 = 1", "a_b1=1"},
      {"_a = 1", "<null>"},
      {"1a = 1", "<null>"},
      {"a = 12abc", "<null>"},
      {"a = 1.5.5", "<null>"},
      {"a = 1e3", "<null>"},
      {"a = +5", "<null>"},
      // String literals: words and single characters between single quotes.
      {"s = ''", "s=''"},
      {"s = 'x_1 y'", "s='x_1 y'"},
      {"s = '12 34'", "s='12 34'"},
      {"s = '1_a'", "<null>"},
      {"s = 'a;b'", "<null>"},
      {"s = 'a\tb'", "<null>"},
      {"s = 'caf\xc3\xa9'", "<null>"},
      {"s = 'open", "<null>"},
      {"s = 'it''s'", "<null>"},
      {"s = '!\"#$%&()*+,-./:<=>?@[\\]^`{|}~'", "s='!\"#$%&()*+,-./:<=>?@[\\]^`{|}~'"},
      {"'x' = s", "s='x'"},
      {"s = \"x\"", "<null>"},
      {"a = 1\r", "<null>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("criteria: [") + c.text + "]");
    EXPECT_EQ(ParseAndRender(c.text), c.expected);
  }
}

TEST(ParseCriteria, GroupingAndParentheses) {
  const Case cases[] = {
      {"a = 1 or b = 2 or c = 3", "or(a=1,or(b=2,c=3))"},
      {"a = 1 and b = 2 and c = 3", "and(a=1,and(b=2,c=3))"},
      {"(a = 1 or b = 2) and c = 3", "and(or(a=1,b=2),c=3)"},
      {"a = 1 and (b = 2 or c = 3) and d = 4", "and(a=1,and(or(b=2,c=3),d=4))"},
      {"((a = 1))", "a=1"},
      {"(a = 1) and ((b = 2))", "and(a=1,b=2)"},
      {"(a = 1", "<null>"},
      {"a = 1)", "<null>"},
      {"()", "<null>"},
      {"a = 1 and", "<null>"},
      {"or a = 1", "<null>"},
      {"a = 1 and or b = 2", "<null>"},
      {"(a) = 1", "<null>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("criteria: [") + c.text + "]");
    EXPECT_EQ(ParseAndRender(c.text), c.expected);
  }
}

TEST(ParseCriteria, SeveralLinesReturnTheLastCriterion) {
  const Case cases[] = {
      {"a = 1\nb = 2", "b=2"},
      {"a = 1 and c = 3\nb = 2 or d = 4", "or(b=2,d=4)"},
      {"a = 1\n(b = 2)", "b=2"},
      {"a = 1\n", "<null>"},  // the appended line break leaves an empty line
      {"\na = 1", "<null>"},
      {"a = 1\nb = ", "<null>"},
      {"a = ;\nb = 2", "<null>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("criteria: [") + c.text + "]");
    EXPECT_EQ(ParseAndRender(c.text), c.expected);
  }
}

TEST(ParseCriteria, NullTextGivesNull) { EXPECT_EQ(ParseCriteria(nullptr), nullptr); }

TEST(ParseCriteria, AFailedParseDoesNotAffectTheNext) {
  EXPECT_EQ(ParseCriteria("a = = 1"), nullptr);
  EXPECT_EQ(ParseAndRender("qty = 3"), "qty=3");
  EXPECT_EQ(ParseCriteria("(a = 1 and (b = 2 or"), nullptr);
  EXPECT_EQ(ParseAndRender("qty = 3"), "qty=3");
  EXPECT_EQ(ParseCriteria("name = 'open"), nullptr);
  EXPECT_EQ(ParseAndRender("qty = 3"), "qty=3");
}

TEST(ParseCriteria, TheCallerOwnsTheTreeAndItsTexts) {
  CriteriaNode* tree = ParseCriteria("name = 'x' or 18 <= age");
  ASSERT_NE(tree, nullptr);
  ASSERT_NE(tree->left, nullptr);
  ASSERT_NE(tree->right, nullptr);
  EXPECT_EQ(tree->op, 8);
  EXPECT_STREQ(tree->left->columnName, "name");
  EXPECT_STREQ(tree->left->valueText, "'x'");
  EXPECT_EQ(tree->left->op, 5);
  EXPECT_STREQ(tree->right->columnName, "age");
  EXPECT_STREQ(tree->right->valueText, "18");
  EXPECT_EQ(tree->right->op, 3);
  // The evaluator fills these in; the tree is the caller's to change.
  tree->left->columnIndex = 2;
  tree->left->columnType = 15;
  FreeCriteriaTree(tree);
}

std::string Nested(int depth) {
  return std::string(depth, '(') + "a = 1" + std::string(depth, ')');
}

TEST(ParseCriteria, NestingWithinTheStackLimitParses) {
  EXPECT_EQ(ParseAndRender(Nested(9000).c_str()), "a=1");
  // A right-grouped chain holds three entries per comparison on the stacks.
  std::string chain = "a = 1";
  for (int i = 0; i < 3000; ++i) chain += " and a = 1";
  CriteriaNode* tree = ParseCriteria(chain.c_str());
  ASSERT_NE(tree, nullptr);
  int depth = 0;
  for (const CriteriaNode* node = tree; node->op == 7; node = node->right) ++depth;
  EXPECT_EQ(depth, 3000);
  FreeCriteriaTree(tree);
}

TEST(ParseCriteria, NestingBeyondTheStackLimitFailsCleanly) {
  EXPECT_EQ(ParseCriteria(Nested(10000).c_str()), nullptr);
  EXPECT_EQ(ParseCriteria(Nested(200000).c_str()), nullptr);
  // Nodes built before the overflow are freed too (LeakSanitizer checks).
  std::string text = "a = 1 or (b = 2 and " + Nested(12000) + ")";
  EXPECT_EQ(ParseCriteria(text.c_str()), nullptr);
  std::string chain = "a = 1";
  for (int i = 0; i < 10000; ++i) chain += " and a = 1";
  EXPECT_EQ(ParseCriteria(chain.c_str()), nullptr);
  EXPECT_EQ(ParseAndRender("qty = 3"), "qty=3");
}

TEST(ParseCriteria, RunningOutOfMemoryFailsCleanlyAtEveryAllocation) {
  const char* text = "a = 1 and (name = 'x y' or 2.5 > price)\nb != 7 or c = 'z'";
  const std::string expected = "or(b!=7,c='z')";
  bool succeeded = false;
  for (long n = 1; n < 200 && !succeeded; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
    VtFailAllocationAt(n);
    CriteriaNode* tree = ParseCriteria(text);
    VtFailAllocationAt(0);
    if (tree != nullptr) {
      // The failure was armed beyond the parse's last allocation.
      EXPECT_EQ(Render(tree), expected);
      succeeded = true;
    }
    FreeCriteriaTree(tree);
    EXPECT_EQ(ParseAndRender("qty = 3"), "qty=3");
  }
  EXPECT_TRUE(succeeded);
}

char* Copy(const char* text) {
  char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
  std::strcpy(copy, text);
  return copy;
}

TEST(CreateCriteriaNode, MakesALeafThatOwnsItsTexts) {
  CriteriaNode* leaf = CreateCriteriaNode(Copy("age"), 4, Copy("18"));
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(Render(leaf), "age>=18");
  FreeCriteriaTree(leaf);
}

TEST(CreateCriteriaNode, LeavesTheTextsToTheCallerWhenOutOfMemory) {
  char* column = Copy("age");
  char* value = Copy("18");
  VtFailAllocationAt(1);
  EXPECT_EQ(CreateCriteriaNode(column, 4, value), nullptr);
  VtFailAllocationAt(0);
  EXPECT_STREQ(column, "age");
  std::free(column);
  std::free(value);
}

TEST(CreateLogicalCriteriaNode, SetsTheParentOfBothChildren) {
  CriteriaNode* a = CreateCriteriaNode(Copy("a"), 5, Copy("1"));
  CriteriaNode* b = CreateCriteriaNode(Copy("b"), 6, Copy("2"));
  CriteriaNode* c = CreateCriteriaNode(Copy("c"), 1, Copy("3"));
  CriteriaNode* both = CreateLogicalCriteriaNode(a, b, 7);
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(a->parent, both);
  EXPECT_EQ(b->parent, both);
  CriteriaNode* root = CreateLogicalCriteriaNode(both, c, 8);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->left, both);
  EXPECT_EQ(both->parent, root);
  EXPECT_EQ(c->parent, root);
  EXPECT_EQ(Render(root), "or(and(a=1,b!=2),c<3)");

  VtFailAllocationAt(1);
  EXPECT_EQ(CreateLogicalCriteriaNode(root, nullptr, 7), nullptr);
  VtFailAllocationAt(0);
  EXPECT_EQ(root->parent, nullptr);
  FreeCriteriaTree(root);
}

TEST(FreeCriteriaTree, FreesTreesOfAnyDepth) {
  FreeCriteriaTree(nullptr);
  // Deeper than any recursion would survive, on both sides.
  CriteriaNode* left = CreateCriteriaNode(Copy("a"), 5, Copy("1"));
  CriteriaNode* right = CreateCriteriaNode(Copy("b"), 5, Copy("2"));
  for (int i = 0; i < 300000; ++i) {
    left = CreateLogicalCriteriaNode(left, CreateCriteriaNode(Copy("c"), 5, Copy("3")), 7);
    right = CreateLogicalCriteriaNode(CreateCriteriaNode(Copy("d"), 5, Copy("4")), right, 8);
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
  }
  FreeCriteriaTree(CreateLogicalCriteriaNode(left, right, 7));
}

}  // namespace

namespace {

// The parser keeps no state between or across calls, so parses on several threads
// do not disturb each other (callers serialise them under the criteria lock anyway).
TEST(ParseCriteria, ParsesOnSeveralThreadsAreIndependent) {
  const Case cases[] = {
      {"a = 1 and b = 2 or c = 3", "and(a=1,or(b=2,c=3))"},
      {"18 <= age", "age<=18"},
      {"name = '_ab'", "<null>"},
      {"(x != 'y z') or w > 9.5", "or(x!='y z',w>9.5)"},
  };
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (const Case& c : cases) {
    threads.emplace_back([&wrong, c] {
      for (int i = 0; i < 500; ++i) {
        CriteriaNode* tree = ParseCriteria(c.text);
        bool parsed = tree != nullptr;
        if (parsed != (std::strcmp(c.expected, "<null>") != 0)) ++wrong;
        if (parsed && (tree->columnName == nullptr) != (tree->op >= 7)) ++wrong;
        FreeCriteriaTree(tree);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  for (const Case& c : cases) EXPECT_EQ(ParseAndRender(c.text), c.expected);
}

}  // namespace
