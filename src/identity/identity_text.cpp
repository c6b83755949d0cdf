#include "identity/identity_text.h"

#include <vector>

#include "text/cp1251.h"

namespace kd::identity {

std::string FieldBytes(const link::ReplyCopy& reply, std::size_t from, std::size_t n) {
  std::string bytes;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t b = link::At(reply, from + i);
    if (b == 0) break;
    bytes.push_back(static_cast<char>(b));
  }
  return bytes;
}

std::string FieldText(const link::ReplyCopy& reply, std::size_t from, std::size_t n) {
  return text::Cp1251ToUtf8(FieldBytes(reply, from, n));
}

std::string BufferText(std::string_view buffer) {
  return text::Cp1251ToUtf8(buffer.substr(0, buffer.find('\0')));
}

void ClearMemo(view::Memo& memo) {
  memo.SetItems({" "});
}

void AppendLines(view::Memo& memo, std::string_view text) {
  std::vector<std::string> lines = memo.Items();
  for (;;) {
    const std::size_t end = text.find("\r\n");
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 2);
  }
  memo.SetItems(std::move(lines));
}

}  // namespace kd::identity
