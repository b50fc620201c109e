// Making and running the join plans of sums.
#include "engine/values/join_plan.h"

#include <algorithm>

#include "engine/values/conversion.h"
#include "engine/values/variable_store.h"

namespace vesk {
namespace {

// A sum longer than this is left to the general evaluation.
constexpr size_t k_most_operands = 32;
// The longest text a plan builds; a longer one is the general evaluation's.
constexpr size_t k_text_room = 256;

bool is_sum(const ExprNode& node) { return node.op == ExprOp::Binary && node.binary == TokenKind::Plus; }

// [node] as an operand of a plan: false when it can be none.
bool operand_of(const ExprNode& node, JoinPlan::Operand& operand, bool& string_literal) {
  if (node.op == ExprOp::Literal) {
    if (!node.literal.is_string() && !node.literal.is(VarType::R8)) return false;
    string_literal = string_literal || node.literal.is_string();
    operand.literal = &node.literal;
    return true;
  }
  if (node.op == ExprOp::Name && !node.name->dotted && node.name->indices.empty()) {
    operand.name = node.name.get();
    return true;
  }
  return false;
}

// The plan of the chain of sums that [sum] heads, or null.
std::unique_ptr<JoinPlan> make_join_plan(const ExprNode& sum) {
  std::vector<JoinPlan::Operand> reversed;
  bool string_literal = false;
  const ExprNode* at = &sum;
  for (; is_sum(*at); at = at->left.get()) {
    if (reversed.size() == k_most_operands) return nullptr;
    JoinPlan::Operand right;
    if (!operand_of(*at->right, right, string_literal)) return nullptr;
    reversed.push_back(right);
  }
  JoinPlan::Operand first;
  if (!operand_of(*at, first, string_literal) || !string_literal) return nullptr;
  reversed.push_back(first);
  auto plan = std::make_unique<JoinPlan>();
  plan->operands.assign(reversed.rbegin(), reversed.rend());
  return plan;
}

// [in_planned_chain]: [node] is the left part of a sum that has a plan.
void attach(ExprNode& node, bool in_planned_chain) {
  bool planned = in_planned_chain;
  if (is_sum(node) && !in_planned_chain) {
    node.join.reset(make_join_plan(node).release());
    planned = node.join != nullptr;
  }
  // The nodes were made by the compiler as mutable ones and are not yet
  // shared, so their plans may still be set.
  auto child = [](const ExprPtr& p, bool chain) {
    if (p) attach(const_cast<ExprNode&>(*p), chain);
  };
  child(node.left, planned && is_sum(node));
  child(node.right, false);
  if (node.name)
    for (const ExprPtr& index : node.name->indices) child(index, false);
}

}  // namespace

void JoinPlanDeleter::operator()(const JoinPlan* plan) const { delete plan; }

void attach_join_plans(ExprNode& root) { attach(root, false); }

bool run_join_plan(const JoinPlan& plan, THensuFmt& frame, Value& out) {
  char16_t text[k_text_room];
  size_t length = 0;
  bool is_text = false;  // else the sum so far is [number]
  double number = 0;
  bool escape_free = true;
  for (size_t i = 0; i < plan.operands.size(); ++i) {
    const JoinPlan::Operand& operand = plan.operands[i];
    const Value* v = operand.literal ? operand.literal : VariableStore::hinted_local_scalar(frame, *operand.name);
    if (!v) return false;
    bool is_string = v->is_string();
    if (!is_string && !v->is(VarType::R8)) return false;
    if (!is_text && !is_string) {  // the first operand, or two doubles that add
      number = i == 0 ? v->as_r8() : number + v->as_r8();
      continue;
    }
    if (!is_text && i > 0) {
      length = double_to_text(number, text);  // a number's text holds no escape
      is_text = true;
    }
    if (!is_string) {
      // A number's text holds no escape and starts none.
      if (k_text_room - length < k_number_text_room) return false;
      length += double_to_text(v->as_r8(), text + length);
      continue;
    }
    std::u16string_view part = v->as_string();
    if (part.size() > k_text_room - length) return false;
    // Two parts without an escape make a sum without one, unless the mark
    // forms where they meet.
    bool meet = length > 0 && text[length - 1] == u'<' && part.starts_with(u'#');
    escape_free = escape_free && v->string_escape_free() && !meet;
    is_text = true;
    std::copy(part.begin(), part.end(), text + length);
    length += part.size();
  }
  char16_t* units = nullptr;
  out = Value::string_to_fill(length, units);
  std::copy(text, text + length, units);
  if (escape_free) out.mark_string_escape_free();
  return true;
}

}  // namespace vesk
