#include "policy/debug_string.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace mobrel::detail {
namespace {

// Control, format, surrogate, private-use and unassigned code points, separators other
// than the plain space, and combining marks (which would otherwise attach to the quote or
// the escape before them) are shown as escapes.
bool printable(UChar32 c) {
  if (c == ' ') return true;
  switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_SPACE_SEPARATOR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return false;
    default:
      return !u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND);
  }
}

void append_hex_escape(std::string& out, std::uint32_t code, const char* format) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, code);
  out += buffer;
}

}  // namespace

std::string debug_quote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  std::size_t i = 0;
  while (i < text.size()) {
    // Decode one character from a window of at most four bytes, so that ICU's 32-bit
    // indices suffice for texts of any length.
    std::size_t start = i;
    std::int32_t used = 0;
    std::int32_t window = static_cast<std::int32_t>(std::min<std::size_t>(text.size() - i, 4));
    UChar32 c;
    U8_NEXT(bytes + i, used, window, c);
    i += static_cast<std::size_t>(used);
    if (c < 0) {
      // Not UTF-8 (libyaml only hands out valid UTF-8; this keeps stray bytes visible).
      for (std::size_t j = start; j < i; ++j) append_hex_escape(out, bytes[j], "\\x%02x");
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case 0:
        out += "\\0";
        break;
      default:
        if (printable(c))
          out.append(text.substr(start, i - start));
        else
          append_hex_escape(out, static_cast<std::uint32_t>(c), "\\u{%x}");
    }
  }
  out += '"';
  return out;
}

}  // namespace mobrel::detail
