// The state of one criteria parse, shared by the generated scanner and parser and by
// ParseCriteria. Each call owns its own context, so parses never share state.
// The context owns `result` until ParseCriteria hands it to its caller.
// Internal to store/query: nothing outside the criteria parser includes it.
#pragma once

struct CriteriaNode;

struct CriteriaParseContext {
  CriteriaNode* result;  // the tree of the last complete line so far, or null
  int errorCount;        // errors reported by the scanner and the parser
};

// The parser's error handler: counts the error. The nodes built so far are freed by
// the parser itself as it discards its stacks, and by ParseCriteria for `result`.
void CriteriaParseError(CriteriaParseContext* context, const char* message);
