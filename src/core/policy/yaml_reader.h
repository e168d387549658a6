// Reading nodes from a collected YAML document: aliases, the nesting and repetition
// limits, paths, faults located at the node being read, and generic values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mobrel/policy/loader.h"
#include "mobrel/policy/types.h"
#include "policy/yaml_events.h"

namespace mobrel::detail {

// Where a node lies, as steps from the document root. Steps live on the reader's call
// stack, each pointing at its parent; the text is only built for a fault.
class YamlPath {
 public:
  static YamlPath root() { return YamlPath(); }
  YamlPath item(std::size_t index) const { return YamlPath(this, Step::Item, index, {}); }
  YamlPath entry(std::string_view key) const { return YamlPath(this, Step::Entry, 0, key); }
  // The value of an entry whose key is not text.
  YamlPath unknown_entry() const { return YamlPath(this, Step::UnknownEntry, 0, {}); }

  bool is_root() const { return step_ == Step::Root; }
  // policies[0].when, params.?.x, ...
  std::string render() const;

 private:
  enum class Step : std::uint8_t { Root, Item, Entry, UnknownEntry };
  YamlPath() = default;
  YamlPath(const YamlPath* parent, Step step, std::size_t index, std::string_view key)
      : parent_(parent), step_(step), index_(index), key_(key) {}
  void render_into(std::string& out) const;

  const YamlPath* parent_ = nullptr;
  Step step_ = Step::Root;
  std::size_t index_ = 0;
  std::string_view key_;
};

// A reading position in the document's events. Positions reached through an alias replay
// events of the anchored node and are counted against the repetition limits.
struct Cursor {
  std::size_t pos = 0;
  bool replay = false;
};

// Reads nodes of one document. Every read returns false on a fault and stops there; the
// first fault is kept and is the one reported.
class NodeReader {
 public:
  explicit NodeReader(const YamlDocument& document);

  // The next event, without or with consuming it. Null at a fault: past the last collected
  // event (the document was cut short there) or over the repetition limits.
  const YamlEvent* peek(const Cursor& at);
  const YamlEvent* next(Cursor& at);

  // The cursor to read the next node from: `at` itself, or, when the next event is an
  // alias, `scratch` placed at the anchored node (the alias is consumed from `at` and
  // counted as an expansion). Null at a fault.
  Cursor* follow(Cursor& at, Cursor& scratch);

  // Follows an alias at `at`, if any, and consumes the first event of the node; the rest
  // of the node is then read from `from` (`at` or `scratch`). Null at a fault.
  const YamlEvent* begin_node(Cursor& at, Cursor& scratch, Cursor*& from);

  // Consumes the next node unread, whatever it holds; aliases in it are not followed.
  bool skip(Cursor& at);

  // Accounts for reading the collection that starts at `start`; false (recursion limit)
  // when it would lie inside 128 others. The events themselves never nest deeper, but
  // aliases can (an anchored list may hold an alias to itself). Every successful enter is
  // paired with a leave.
  bool enter(const YamlEvent& start);
  void leave() { ++depth_left_; }

  // Faults. `fail` leaves the message to be located by the innermost node being read
  // (its position and path); `fail_at` locates it at once.
  bool fail(std::string message);
  bool fail_at(const YamlEvent& node, const YamlPath& path, std::string message);
  void locate(const YamlEvent& node, const YamlPath& path);
  YamlError take_fault();

  // Reads any node as a generic value. `strict` (for `params`) rejects a repeated mapping
  // key and a local tag with an empty name; otherwise both are kept as they are.
  bool read_value(Cursor& at, const YamlPath& path, bool strict, YamlValue& out);

 private:
  bool read_node_value(const YamlEvent& node, Cursor& from, const YamlPath& path, bool strict,
                       YamlValue& out);
  bool read_untagged_value(const YamlEvent& node, Cursor& from, const YamlPath& path, bool strict,
                           YamlValue& out);
  bool read_sequence_value(const YamlEvent& node, Cursor& from, const YamlPath& path, bool strict,
                           YamlValue& out);
  bool read_mapping_value(const YamlEvent& node, Cursor& from, const YamlPath& path, bool strict,
                          YamlValue& out);
  bool count_replayed(const YamlEvent& event);

  const YamlDocument& document_;
  int depth_left_;
  std::uint64_t expansions_ = 0;
  std::uint64_t replayed_events_ = 0;
  std::uint64_t replayed_bytes_ = 0;
  std::optional<YamlError> fault_;
  std::optional<std::string> unlocated_;
};

// Keeps a successful NodeReader::enter paired with its leave.
class DepthScope {
 public:
  explicit DepthScope(NodeReader& reader) : reader_(reader) {}
  ~DepthScope() { reader_.leave(); }
  DepthScope(const DepthScope&) = delete;
  DepthScope& operator=(const DepthScope&) = delete;

 private:
  NodeReader& reader_;
};

}  // namespace mobrel::detail
