// Texts quoted the way error texts show them: between double quotes, with \" \\ \t \r \n
// \0 escapes and \u{hex} for every character that is not printable.
#pragma once

#include <string>
#include <string_view>

namespace mobrel::detail {

std::string debug_quote(std::string_view text);

}  // namespace mobrel::detail
