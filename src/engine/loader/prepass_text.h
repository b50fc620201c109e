// Text scanning shared by the pre-pass and the pairing pass: words,
// searches and splits that skip string literals.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk::prepass {

// The statement's first blank-separated word, and the trimmed rest.
std::u16string first_word(std::u16string_view text);
std::u16string rest_after_word(std::u16string_view text);

// [text] with every character inside double quotes (the quotes kept)
// replaced by U+0001, so that searches cannot match inside a literal and
// positions stay those of [text].
std::u16string mask_literals(std::u16string_view text);

// The position of [pattern] outside string literals from [from], or npos.
size_t find_outside_quotes(std::u16string_view text, std::u16string_view pattern, size_t from = 0);

// Splits [text] at [separator] outside string literals and, with
// [nested], outside parentheses and square brackets. Pieces are trimmed;
// with [drop_empty] empty pieces are left out.
std::vector<std::u16string> split_outside(std::u16string_view text, char16_t separator, bool nested,
                                          bool drop_empty);

// True when [text] holds [word] as a token of its own outside literals,
// tokens being separated by any character of [separators].
bool holds_token(std::u16string_view text, std::u16string_view word, std::u16string_view separators);

// True when [text] holds any character of [set].
bool holds_any(std::u16string_view text, std::u16string_view set);

// The decimal text of [number].
std::u16string decimal(long long number);

// Reads a whole decimal integer with an optional sign; false when [text]
// is anything else.
bool read_integer(std::u16string_view text, long long& number);

// [text] without one pair of enclosing double quotes.
std::u16string unquote(std::u16string_view text);

}  // namespace vesk::prepass
