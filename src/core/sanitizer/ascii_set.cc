#include "sanitizer/ascii_set.h"

#include <cstddef>

namespace mobrel {

AsciiSet::AsciiSet(std::string_view members) {
  auto add = [this](unsigned c) {
    if (c < 128) table_[c] = true;
  };
  for (std::size_t i = 0; i < members.size(); ++i) {
    const auto first = static_cast<unsigned char>(members[i]);
    if (i + 2 < members.size() && members[i + 1] == '-') {
      const auto last = static_cast<unsigned char>(members[i + 2]);
      for (unsigned c = first; c <= last; ++c) add(c);
      i += 2;
    } else {
      add(first);
    }
  }
}

}  // namespace mobrel
