// SLEEP: the script's own way of waiting.
#include "builtins/core/builtin_context.h"
#include "engine/runtime/waiting.h"

namespace vesk {

Value builtin_sleep(BuiltinContext& ctx) {
  sleep_seconds(ctx.interpreter, ctx.number(0), ctx.frame.slot);
  return Value();
}

}  // namespace vesk
