#include "mobrel/graph/input_list.h"

#include <algorithm>

namespace mobrel {

InputList::InputList(std::initializer_list<std::uint64_t> ids) {
  for (std::uint64_t id : ids) push_back(id);
}

void InputList::push_back(std::uint64_t id) {
  // The run can only grow while nothing follows it.
  if (rest_.empty() && id == run_) {
    ++run_;
  } else {
    rest_.push_back(id);
  }
}

std::size_t InputList::count(std::uint64_t id) const {
  std::size_t in_run = id < run_ ? 1 : 0;
  return in_run + static_cast<std::size_t>(std::count(rest_.begin(), rest_.end(), id));
}

std::vector<std::uint64_t> InputList::to_vector() const { return {begin(), end()}; }

}  // namespace mobrel
