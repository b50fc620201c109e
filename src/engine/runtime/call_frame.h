// The engine's call frame: the variable store's frame plus the execution
// state of one running procedure, function, handler or thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/values/frame.h"

namespace vesk {

struct ThreadRun;

// One open TRY of a frame.
struct TryRecord {
  int32_t pc = 0;  // program counter of the TRY statement
  bool except = false;
  int32_t handler_offset = 0;  // from the TRY to its FINALLY or EXCEPT
  int32_t end_offset = 0;      // from the handler to the ENDTRY
};

// One open WITH, with the program counter of its statement.
struct WithEntry {
  int32_t pc = 0;
  Value target;
};

// A field added here or to THensuFmt is also reset in recycle().
struct CallFrame : THensuFmt {
  CallFrame() { call_frame = true; }

  bool exit = false;
  int32_t break_count = 0;
  int32_t continue_count = 0;
  int32_t slot = 0;  // 0 for the main script, 1 to 64 for threads
  int32_t pc = 0;    // relative to the header
  int32_t base = 0;  // statement number of the header
  int32_t count = 0; // statements from the header up to its FEND
  bool handler_error = false;
  int32_t except_count = 0;
  ThreadRun* run = nullptr;  // of the thread it runs on; set on first use
  std::vector<WithEntry> with_stack;
  std::vector<int32_t> loop_starts;
  std::vector<TryRecord> try_stack;
  CallFrame* next_kept = nullptr;  // the next frame of a pool's list

  int32_t statement() const { return base + pc; }
  // Makes the frame as new for another call of the same function, keeping
  // its first [keep] variables (the ones every call declares in the same
  // order) as Empty scalars at their slots.
  [[gnu::always_inline]] void recycle(int32_t keep) {
    // Every field of the frame is set back here, field by field (a new
    // field must be added): building a whole new frame costs more than the
    // rest of a call.
    error = false;
    img_x = img_y = 0;
    time_stamp = 0;
    // Most calls leave these empty: they are looked at together, and only
    // what was used is cleared.
    if (!try_errmsg.empty() || !try_errline.empty() || !module_name.empty() || !with_subject.is_empty() ||
        hash_names.size() > 0 || !hash_objects.empty() || !with_stack.empty() || !loop_starts.empty() ||
        !try_stack.empty()) [[unlikely]] {
      try_errmsg.clear();
      try_errline.clear();
      module_name.clear();
      with_subject.clear();
      if (hash_names.size() > 0) hash_names.clear();
      hash_objects.clear();
      with_stack.clear();
      loop_starts.clear();
      try_stack.clear();
    }
    if (variable_names.size() > keep) variable_names.truncate(keep);
    // Compared in bytes: size() would divide by the size of a Variable.
    if (reinterpret_cast<uintptr_t>(std::to_address(variables.end())) - reinterpret_cast<uintptr_t>(variables.data()) !=
        static_cast<size_t>(keep) * sizeof(Variable))
      variables.resize(static_cast<size_t>(keep));
    for (Variable& v : variables) v.reset_scalar();
    // layout and layout_slots stay: the frame goes back to its function's pool.
    exit = false;
    break_count = continue_count = 0;
    slot = pc = base = count = 0;
    handler_error = false;
    except_count = 0;
    run = nullptr;
  }
  bool pending() const { return exit || break_count > 0 || continue_count > 0; }
};

// For the length of one access, [frame] reads and writes names as outside
// any module: "GLOBAL.X" inside a module reaches the outer X, not the
// member X.
class OutsideModule {
 public:
  OutsideModule(THensuFmt& frame, bool on) : m_frame(on ? &frame : nullptr) {
    if (m_frame) m_saved.swap(m_frame->module_name);
  }
  ~OutsideModule() {
    if (m_frame) m_saved.swap(m_frame->module_name);
  }
  OutsideModule(const OutsideModule&) = delete;
  OutsideModule& operator=(const OutsideModule&) = delete;

 private:
  THensuFmt* m_frame;
  std::u16string m_saved;
};

}  // namespace vesk
