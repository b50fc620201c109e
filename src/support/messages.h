// Bilingual messages and the process language that picks their wording.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

enum class MessageId {
#define M(id, ja, en) id,
#include "support/messages.def"
#undef M
};

// Fixes the message language for the process; called once at start-up from
// the platform's answer (platform::system_language_is_japanese).
void set_message_language_japanese(bool japanese);
bool message_language_is_japanese();

// The text of [id] in the process language.
std::u16string message(MessageId id);

// The text of [id] with its "{}" replaced by [subject].
std::u16string message(MessageId id, std::u16string_view subject);

}  // namespace vesk
