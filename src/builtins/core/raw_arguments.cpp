// Raw-text arguments: resolving the variable or array that an argument's
// source text names.
#include "builtins/core/builtin_context.h"
#include "engine/runtime/frame_host.h"
#include "support/messages.h"
#include "support/text.h"

namespace vesk {

std::u16string store_name(std::u16string_view written) {
  bool dotted = written.find(u'.') != std::u16string_view::npos;
  std::u16string name = dotted ? ascii_upper(written) : std::u16string(written);
  if (starts_with(name, u"GLOBAL.")) name.erase(0, 7);
  return name;
}

std::optional<RawReference> raw_reference(BuiltinContext& ctx, int k) {
  const CompiledExpression& e = ctx.site.argument(k);
  if (!e.ok || !e.root || e.root->op != ExprOp::Name || !e.trailing_indices.empty()) {
    ctx.fail(message(MessageId::InvalidVariableName, ctx.site.arguments[k]));
    return std::nullopt;
  }
  RawReference ref;
  ref.name = store_name(e.root->name->name);
  FrameHost host(ctx.interpreter, ctx.frame);
  for (const ExprPtr& index : e.root->name->indices) {
    EvalResult r = evaluate_part(*index, host);
    if (r.failed || ctx.frame.error) {
      if (!ctx.frame.error) host.report_expression_error();
      ctx.failed = true;
      return std::nullopt;
    }
    ref.indices.push_back(std::move(r.value));
  }
  return ref;
}

std::unique_ptr<RawArray> raw_array_elements(BuiltinContext& ctx, int k) {
  const std::u16string& source = ctx.site.arguments[k];
  {
    std::lock_guard lock(ctx.interpreter.store().global_lock());
    if (Variable* var = ctx.interpreter.store().find_variable(ctx.frame, raw_name(ctx, k)); var && var->is_array())
      return std::make_unique<RawArray>(var->values);
  }
  EvalResult r = ctx.interpreter.evaluate_in(ctx.site.argument(k), ctx.frame);
  if (r.failed || ctx.frame.error) {
    ctx.failed = true;
    return nullptr;
  }
  if (!r.value.is_array()) {
    ctx.fail(message(MessageId::NotAnArray, source));
    return nullptr;
  }
  return std::make_unique<RawArray>(std::move(r.value));
}

}  // namespace vesk
