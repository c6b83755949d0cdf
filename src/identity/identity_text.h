// How the identity pages take texts out of replies and put lines into their memo. The
// controllers send Windows-1251; the screen shows UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/exchange_buffer.h"
#include "view/controls.h"

namespace kd::identity {

// What a page says in its view for a controller type it has nothing to read from.
inline constexpr const char* kNotSupported = "Не поддерживается.";

// A field of `n` reply bytes from `from` as text: it ends at the first zero byte.
std::string FieldBytes(const link::ReplyCopy& reply, std::size_t from, std::size_t n);
std::string FieldText(const link::ReplyCopy& reply, std::size_t from, std::size_t n);

// A fixed-length buffer as text: it ends at its first zero byte.
std::string BufferText(std::string_view buffer);

// The memo is cleared to one blank line, as setting a text box's text to " " leaves it.
void ClearMemo(view::Memo& memo);
// Appends `text` as the text box does: every CR LF in it starts a further line.
void AppendLines(view::Memo& memo, std::string_view text);

}  // namespace kd::identity
