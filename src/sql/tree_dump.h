// A compact one-line text form of a syntax tree, for tests and debugging.
//
//   identifiers        a   or  "two words"   (double-quoted unless a plain word)
//   string literals    'text'
//   integer literals   42
//   float literals     #2.5
//   booleans, null     true  false  NULL
//   star, parameters   *  ?1
//   null pointers      _
//   everything else    (Kind flags... fields... children...)
//
// Kind is the kind's name without "nk". Flags are the set common booleans
// (:distinct :star :negated :lateral :ordinality :recursive :analyze :ties
// :all) and the order fields (:asc/:desc, :nullsfirst/:nullslast). Variant
// fields come as in the tree: (BinaryOp opAdd a b), (Alias x [c1 c2] expr),
// (Join jkInner left right cond [using...]), (SetOperation soUnion :all right).
// The DDL and DML side fields follow the flags (:ref=, :refcols=, :ondelete=,
// :onupdate=, :deferrable, :initdeferred, :dir=, :target=, :copyformat=,
// :options=[...], :seq=[...]), and an extraExpr comes last as "extra: node".
// With spans, every node is followed by @line:col-line:col.
#pragma once

#include <string>

#include "sql/tree.h"

namespace vellum::sql {

std::string dumpTree(const SqlNode* node, bool withSpans = false);

}  // namespace vellum::sql
