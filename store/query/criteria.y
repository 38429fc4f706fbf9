/* Grammar of the criteria language. One line is one criterion: comparisons of an
   identifier with a literal, joined by `and` and `or`, which share one precedence and
   group to the right; parentheses override that. The parser is pure: its state lives
   in the context of the call, so parses never share anything. */

%define api.pure full
%define api.prefix {criteria_}
%define api.token.prefix {TOK_}
%define parse.error simple

%lex-param {yyscan_t scanner}
%parse-param {yyscan_t scanner} {CriteriaParseContext* context}

%code requires {
#include <cstdint>

struct CriteriaNode;
struct CriteriaParseContext;
#ifndef YY_TYPEDEF_YY_SCANNER_T
#define YY_TYPEDEF_YY_SCANNER_T
typedef void* yyscan_t;
#endif
}

%code top {
#include <cstdlib>

#include "store/query/criteria.h"
#include "store/query/criteria_parse_context.h"
#include "store/util/alloc.h"

// The stacks start with 200 entries, double when full and never exceed 10000 entries:
// nesting deeper than that fails the parse instead of exhausting memory.
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
#define YYMALLOC VtMalloc
#define YYFREE std::free
}

%code {
int criteria_lex(CRITERIA_STYPE* value, yyscan_t scanner);

namespace {

void criteria_error(yyscan_t, CriteriaParseContext* context, const char* message) {
  CriteriaParseError(context, message);
}

}  // namespace
}

%union {
  char* text;
  CriteriaNode* node;
  std::uint8_t op;
}

%token <text> VALUE IDENTIFIER
%token LT GT LE GE EQ NE
%right AND OR

%type <node> expr
%type <op> cmp

/* Whatever the parser discards when it fails goes with it, so a failed parse leaks
   nothing: copied token texts and the trees still on its stack. */
%destructor { std::free($$); } <text>
%destructor { FreeCriteriaTree($$); } <node>

%%

input
  : %empty
  | input expr '\n'
      {
        /* Only the last criterion of a text is returned; the ones before it go. */
        FreeCriteriaTree(context->result);
        context->result = $2;
      }
  ;

expr
  : IDENTIFIER cmp VALUE
      {
        $$ = CreateCriteriaNode($1, $2, $3);
        if ($$ == nullptr) {
          std::free($1);
          std::free($3);
          YYNOMEM;
        }
      }
  | VALUE cmp IDENTIFIER
      {
        /* The identifier is always the column; the operator is kept as written. */
        $$ = CreateCriteriaNode($3, $2, $1);
        if ($$ == nullptr) {
          std::free($1);
          std::free($3);
          YYNOMEM;
        }
      }
  | expr AND expr
      {
        $$ = CreateLogicalCriteriaNode($1, $3, 7);
        if ($$ == nullptr) {
          FreeCriteriaTree($1);
          FreeCriteriaTree($3);
          YYNOMEM;
        }
      }
  | expr OR expr
      {
        $$ = CreateLogicalCriteriaNode($1, $3, 8);
        if ($$ == nullptr) {
          FreeCriteriaTree($1);
          FreeCriteriaTree($3);
          YYNOMEM;
        }
      }
  | '(' expr ')'  { $$ = $2; }
  ;

cmp
  : LT  { $$ = 1; }
  | GT  { $$ = 2; }
  | LE  { $$ = 3; }
  | GE  { $$ = 4; }
  | EQ  { $$ = 5; }
  | NE  { $$ = 6; }
  ;

%%
