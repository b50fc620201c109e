// GETDIR: the names in a folder, into the frame array GETDIR_FILES.
//
// The orders: the names are sorted by their upper-cased form; orders 1 to 4
// then sort, keeping that order among equals, by one file property, oldest
// or smallest first: 1 the creation time, 2 the last access, 3 the last
// write, 4 the size.
#include <algorithm>

#include "builtins/core/builtin_context.h"
#include "platform/platform.h"
#include "support/text.h"
#include "support/unicode_case.h"

namespace vesk {
namespace {

uint64_t order_key(const platform::DirectoryEntry& e, int64_t order) {
  switch (order) {
    case 1: return e.created;
    case 2: return e.accessed;
    case 3: return e.written;
    default: return e.size;
  }
}

}  // namespace

// GETDIR(folder, filter, hidden flag, order)
Value builtin_getdir(BuiltinContext& ctx) {
  static const std::u16string k_array = u"GETDIR_FILES";
  VariableStore& store = ctx.interpreter.store();
  store.reset_array(ctx.frame, k_array);
  std::u16string folder = replace_all(ctx.text(0), u'/', u'\\');
  if (folder.empty()) return Value::i4(0);
  std::u16string filter = replace_all(ctx.given(1) ? ctx.text(1) : std::u16string(), u'/', u'\\');
  if (folder.back() != u'\\') folder += u'\\';
  bool folders = !filter.empty() && filter.front() == u'\\';
  std::u16string pattern = folders ? filter.substr(1) : filter;
  if (pattern.empty()) pattern = u"*";
  bool hidden = ctx.integer(2) != 0;
  int64_t order = ctx.integer(3);

  struct Found {
    std::u16string upper;
    platform::DirectoryEntry entry;
  };
  std::vector<Found> found;
  for (platform::DirectoryEntry& e : platform::list_directory(folder, pattern)) {
    if (e.folder != folders || (e.hidden && !hidden)) continue;
    std::u16string upper = unicode_upper(e.name);
    found.push_back({std::move(upper), std::move(e)});
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.upper < b.upper; });
  if (order >= 1 && order <= 4)
    std::stable_sort(found.begin(), found.end(), [order](const Found& a, const Found& b) {
      return order_key(a.entry, order) < order_key(b.entry, order);
    });
  for (const Found& f : found) store.append_array(ctx.frame, k_array, Value::string(f.entry.name));
  return Value::i4(static_cast<int32_t>(found.size()));
}

}  // namespace vesk
