#include "sql/tree_dump.h"

#include <charconv>
#include <initializer_list>
#include <vector>

namespace vellum::sql {
namespace {

// One piece of output still to write: a node or a ready text.
struct Piece {
  const SqlNode* node;
  std::string text;
  bool isNode;
};

// Joins pieces into one string. (GCC 12 at -O3 warns falsely about
// "literal" + std::string, so the pieces are appended instead.)
std::string concat(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view p : pieces) out.append(p);
  return out;
}

bool isPlainWord(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::string quoted(std::string_view s, char quote) {
  std::string out(1, quote);
  for (char c : s) {
    if (c == quote || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back(quote);
  return out;
}

std::string nameText(std::string_view s) { return isPlainWord(s) ? std::string(s) : quoted(s, '"'); }

std::string spanText(const SqlSpan& s) {
  return concat({"@", std::to_string(s.startLine), ":", std::to_string(s.startColumn), "-",
                 std::to_string(s.endLine), ":", std::to_string(s.endColumn)});
}

std::string textList(const TextList& list) {
  std::string out = "[";
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) out += ' ';
    out += nameText(list[i]);
  }
  return out + "]";
}

// The atom for a leaf node, or empty when the node is printed as a list.
std::string atomOf(const SqlNode* n) {
  switch (n->kind) {
    case nkIdentifier: return nameText(n->strVal());
    case nkStringLit: return quoted(n->strVal(), '\'');
    case nkIntLit: return std::to_string(n->intVal());
    case nkFloatLit: {
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, n->floatVal());
      return concat({"#", std::string_view(buf, static_cast<std::size_t>(r.ptr - buf))});
    }
    case nkBoolLit: return n->boolVal() ? "true" : "false";
    case nkNull: return "NULL";
    case nkStar: return "*";
    case nkParameter: return concat({"?", std::to_string(n->paramIndex())});
    default: return {};
  }
}

std::string flagsOf(const SqlNode* n) {
  std::string out;
  auto flag = [&](bool on, const char* name) {
    if (on) {
      out += ' ';
      out += name;
    }
  };
  flag(n->distinct, ":distinct");
  flag(n->star, ":star");
  flag(n->negated, ":negated");
  flag(n->lateral, ":lateral");
  flag(n->withOrdinality, ":ordinality");
  flag(n->recursive, ":recursive");
  flag(n->analyze, ":analyze");
  flag(n->limitWithTies, ":ties");
  flag(n->quantifierAll, ":all");
  if (n->ascending != -1) out += n->ascending ? " :asc" : " :desc";
  if (n->nullsFirst != -1) out += n->nullsFirst ? " :nullsfirst" : " :nullslast";
  const SqlNodeExtra& x = n->extra();
  if (!x.explainFormat.empty()) out += concat({" :format=", x.explainFormat});
  if (!x.subKind.empty()) out += concat({" :subkind=", nameText(x.subKind)});
  if (!x.detailText.empty()) out += concat({" :detail=", nameText(x.detailText)});
  if (!x.constraintName.empty()) out += concat({" :constraint=", nameText(x.constraintName)});
  if (!x.columnNames.empty()) out += concat({" :columns=", textList(x.columnNames)});
  if (!x.refTable.empty()) out += concat({" :ref=", nameText(x.refTable)});
  if (!x.refColumns.empty()) out += concat({" :refcols=", textList(x.refColumns)});
  if (!x.onDelete.empty()) out += concat({" :ondelete=", nameText(x.onDelete)});
  if (!x.onUpdate.empty()) out += concat({" :onupdate=", nameText(x.onUpdate)});
  flag(x.deferrable, ":deferrable");
  flag(x.initiallyDeferred, ":initdeferred");
  if (!x.copyDirection.empty()) out += concat({" :dir=", x.copyDirection});
  if (!x.copyTarget.empty()) out += concat({" :target=", x.copyTarget});
  if (!x.copyFormat.empty()) out += concat({" :copyformat=", nameText(x.copyFormat)});
  if (!x.copyOptions.empty()) out += concat({" :options=", textList(x.copyOptions)});
  if (!x.sequenceOptions.empty()) out += concat({" :seq=", textList(x.sequenceOptions)});
  return out;
}

constexpr std::string_view kJoinKinds[] = {"jkInner", "jkLeft", "jkRight", "jkFull", "jkCross"};
constexpr std::string_view kSetOps[] = {"soUnion", "soIntersect", "soExcept"};
constexpr std::string_view kFrameUnits[] = {"fuRows", "fuRange"};
constexpr std::string_view kBoundKinds[] = {"fbUnboundedPreceding", "fbPreceding", "fbCurrentRow",
                                            "fbFollowing", "fbUnboundedFollowing"};

}  // namespace

std::string dumpTree(const SqlNode* root, bool withSpans) {
  std::string out;
  std::vector<Piece> stack;
  stack.push_back({root, {}, true});
  while (!stack.empty()) {
    Piece piece = std::move(stack.back());
    stack.pop_back();
    if (!piece.isNode) {
      out += piece.text;
      continue;
    }
    const SqlNode* n = piece.node;
    if (n == nullptr) {
      out += '_';
      continue;
    }
    std::string atom = atomOf(n);
    if (!atom.empty() && flagsOf(n).empty()) {
      out += atom;
      if (withSpans) out += spanText(n->span);
      continue;
    }
    std::string_view name = kindName(n->kind);
    name.remove_prefix(2);
    std::string head = concat({"(", name});
    if (withSpans) head += spanText(n->span);
    head += flagsOf(n);
    // Parts after the head, in order: texts and nodes.
    std::vector<Piece> parts;
    auto text = [&](std::string s) { parts.push_back({nullptr, std::move(s), false}); };
    auto node = [&](const SqlNode* c) { parts.push_back({c, {}, true}); };
    switch (n->kind) {
      case nkIdentifier: case nkStringLit: case nkIntLit: case nkFloatLit: case nkBoolLit:
      case nkNull: case nkStar: case nkParameter:
        text(atom);
        break;
      case nkIntervalLit: text(quoted(n->strVal(), '\'')); break;
      case nkBinaryOp:
        text(std::string(binaryOpName(n->binOp())));
        node(n->binLeft());
        node(n->binRight());
        break;
      case nkUnaryOp:
        text(std::string(unaryOpName(n->unOp())));
        node(n->unOperand());
        break;
      case nkCase:
        node(n->caseOperand());
        for (const SqlNode* b : n->caseBranches()) node(b);
        node(n->caseElse());
        break;
      case nkCaseWhen:
        node(n->caseWhen());
        node(n->caseThen());
        break;
      case nkWindowFrame:
        text(std::string(kFrameUnits[n->frameUnit() & 1]));
        node(n->frameStart());
        node(n->frameEnd());
        break;
      case nkWindowFrameBound:
        text(std::string(kBoundKinds[n->frameBoundKind() % 5]));
        if (n->frameBoundKind() == fbPreceding || n->frameBoundKind() == fbFollowing) {
          text(std::to_string(n->frameOffset()));
        }
        break;
      case nkAlias:
        text(nameText(n->aliasName()));
        if (!n->aliasColumns().empty()) text(textList(n->aliasColumns()));
        node(n->aliasExpr());
        break;
      case nkFromJoin: case nkJoin:
        text(std::string(kJoinKinds[n->joinKind() % 5]));
        node(n->joinLeft());
        node(n->joinRight());
        node(n->joinCond());
        if (!n->joinUsing().empty()) text(concat({"using=", textList(n->joinUsing())}));
        break;
      case nkSetOperation:
        text(std::string(kSetOps[n->setOp() % 3]) + (n->setAll() ? " :all" : ""));
        node(n->setRight());
        break;
      case nkColumnDef:
        text(nameText(n->colName()));
        node(n->colType());
        for (const SqlNode* c : n->colConstraints()) node(c);
        break;
      case nkBegin: case nkSetTransaction:
        if (!n->isolationLevel().empty()) text(concat({"iso=", n->isolationLevel()}));
        if (!n->accessMode().empty()) text(concat({"access=", n->accessMode()}));
        break;
      default:
        for (const SqlNode* c : n->children()) node(c);
        break;
    }
    // extraExpr (a CHECK expression, a MERGE branch condition) comes last.
    if (n->extra().extraExpr != nullptr) {
      text("extra:");
      node(n->extra().extraExpr);
    }
    stack.push_back({nullptr, ")", false});
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
      stack.push_back(std::move(*it));
      stack.push_back({nullptr, " ", false});
    }
    out += head;
  }
  return out;
}

}  // namespace vellum::sql
