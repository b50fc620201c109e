// The message table and the process language.
#include "support/messages.h"

#include <atomic>

namespace vesk {
namespace {

struct MessagePair {
  const char16_t* japanese;
  const char16_t* english;
};

constexpr MessagePair k_messages[] = {
#define M(id, ja, en) {ja, en},
#include "support/messages.def"
#undef M
};

std::atomic<bool> g_japanese{false};

}  // namespace

void set_message_language_japanese(bool japanese) { g_japanese = japanese; }
bool message_language_is_japanese() { return g_japanese; }

std::u16string message(MessageId id) {
  const MessagePair& pair = k_messages[static_cast<int>(id)];
  return g_japanese ? pair.japanese : pair.english;
}

std::u16string message(MessageId id, std::u16string_view subject) {
  std::u16string text = message(id);
  if (size_t at = text.find(u"{}"); at != std::u16string::npos) text.replace(at, 2, subject);
  return text;
}

}  // namespace vesk
