// The inputs of one event, held compactly.
//
// Under the input mode every host-created engine uses, each new event derives from every
// event before it, so its inputs are 0, 1, ..., n-1. Storing those ids literally costs
// quadratic memory over a session; an InputList keeps a leading run 0..k-1 as the count k
// and only the ids after the run as a vector. Callers see an ordinary sequence of ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace mobrel {

class InputList {
 public:
  InputList() = default;
  InputList(std::initializer_list<std::uint64_t> ids);

  // Appends one id at the end of the list.
  void push_back(std::uint64_t id);

  std::size_t size() const { return static_cast<std::size_t>(run_) + rest_.size(); }
  bool empty() const { return size() == 0; }
  bool contains(std::uint64_t id) const { return count(id) > 0; }
  std::size_t count(std::uint64_t id) const;  // how often `id` occurs
  std::uint64_t operator[](std::size_t index) const {
    return index < run_ ? index : rest_[index - run_];
  }
  std::vector<std::uint64_t> to_vector() const;

  // The compact form: the list is 0..leading_run()-1 followed by after_run().
  std::uint64_t leading_run() const { return run_; }
  const std::vector<std::uint64_t>& after_run() const { return rest_; }

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::uint64_t;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::uint64_t;

    const_iterator() = default;
    const_iterator(const InputList* list, std::size_t index) : list_(list), index_(index) {}
    std::uint64_t operator*() const { return (*list_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++index_;
      return before;
    }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }

   private:
    const InputList* list_ = nullptr;
    std::size_t index_ = 0;
  };

  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, size()); }

 private:
  std::uint64_t run_ = 0;             // the list starts with 0, 1, ..., run_-1
  std::vector<std::uint64_t> rest_;  // then these, in order
};

}  // namespace mobrel
