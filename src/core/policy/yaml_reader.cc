#include "policy/yaml_reader.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "policy/yaml_scalar.h"
#include "policy/yaml_value.h"

namespace mobrel::detail {
namespace {

// A document may nest collections this deep, counting the root collection as the first.
constexpr int kMaxDepth = 128;
// Alias expansions allowed per event of the document.
constexpr std::uint64_t kExpansionsPerEvent = 100;
// Whatever the expansion count, aliases may not make the reader copy more than this many
// events or bytes of scalar text out of anchored nodes: a few aliases to one large anchored
// node would otherwise multiply the document's size beyond any memory. Policy documents
// that share parts through aliases stay far below both.
constexpr std::uint64_t kMaxReplayedEvents = 250'000;
constexpr std::uint64_t kMaxReplayedBytes = std::uint64_t{16} << 20;

YamlError message_error(std::string message, std::optional<YamlMark> mark) {
  std::optional<YamlPosition> position;
  if (mark) position = YamlPosition{mark->line + 1, mark->column + 1};
  return YamlError{YamlMessageError{std::move(message), position}};
}

}  // namespace

void YamlPath::render_into(std::string& out) const {
  // Iterative, root first: the chain is as long as the nesting being read.
  std::vector<const YamlPath*> steps;
  for (const YamlPath* p = this; p != nullptr && p->step_ != Step::Root; p = p->parent_)
    steps.push_back(p);
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    const YamlPath& step = **it;
    if (step.step_ == Step::Item) {
      out += '[';
      out += std::to_string(step.index_);
      out += ']';
      continue;
    }
    if (it != steps.rbegin()) out += '.';
    if (step.step_ == Step::Entry)
      out.append(step.key_);
    else
      out += '?';
  }
}

std::string YamlPath::render() const {
  std::string out;
  render_into(out);
  return out;
}

NodeReader::NodeReader(const YamlDocument& document)
    : document_(document), depth_left_(kMaxDepth) {}

const YamlEvent* NodeReader::peek(const Cursor& at) {
  if (fault_ || unlocated_) return nullptr;
  if (at.pos < document_.events.size()) return &document_.events[at.pos];
  // The reader needs an event the document does not hold: whatever cut it short is the
  // fault now. A complete document always holds whole nodes, so this is only reached
  // through a cut.
  fault_ = document_.cut_short ? *document_.cut_short
                               : message_error("EOF while parsing a value", std::nullopt);
  return nullptr;
}

const YamlEvent* NodeReader::next(Cursor& at) {
  const YamlEvent* event = peek(at);
  if (event == nullptr) return nullptr;
  if (at.replay && !count_replayed(*event)) return nullptr;
  ++at.pos;
  return event;
}

bool NodeReader::count_replayed(const YamlEvent& event) {
  ++replayed_events_;
  replayed_bytes_ += event.value.size() + event.tag.size();
  if (replayed_events_ > kMaxReplayedEvents || replayed_bytes_ > kMaxReplayedBytes) {
    fault_ = message_error("repetition limit exceeded", std::nullopt);
    return false;
  }
  return true;
}

Cursor* NodeReader::follow(Cursor& at, Cursor& scratch) {
  const YamlEvent* event = peek(at);
  if (event == nullptr) return nullptr;
  if (event->type != YamlEventType::Alias) return &at;
  if (next(at) == nullptr) return nullptr;
  ++expansions_;
  if (expansions_ > kExpansionsPerEvent * document_.events.size()) {
    fault_ = message_error("repetition limit exceeded", std::nullopt);
    return nullptr;
  }
  scratch = Cursor{event->alias_target, true};
  return &scratch;
}

const YamlEvent* NodeReader::begin_node(Cursor& at, Cursor& scratch, Cursor*& from) {
  from = follow(at, scratch);
  return from == nullptr ? nullptr : next(*from);
}

bool NodeReader::skip(Cursor& at) {
  std::size_t open = 0;
  do {
    const YamlEvent* event = next(at);
    if (event == nullptr) return false;
    switch (event->type) {
      case YamlEventType::SequenceStart:
      case YamlEventType::MappingStart:
        ++open;
        break;
      case YamlEventType::SequenceEnd:
      case YamlEventType::MappingEnd:
        --open;
        break;
      default:
        break;
    }
  } while (open > 0);
  return true;
}

bool NodeReader::enter(const YamlEvent& start) {
  if (depth_left_ == 0) {
    fault_ = message_error("recursion limit exceeded", start.mark);
    return false;
  }
  --depth_left_;
  return true;
}

bool NodeReader::fail(std::string message) {
  if (!fault_ && !unlocated_) unlocated_ = std::move(message);
  return false;
}

bool NodeReader::fail_at(const YamlEvent& node, const YamlPath& path, std::string message) {
  fail(std::move(message));
  locate(node, path);
  return false;
}

void NodeReader::locate(const YamlEvent& node, const YamlPath& path) {
  if (!unlocated_) return;
  std::string message =
      path.is_root() ? std::move(*unlocated_) : path.render() + ": " + std::move(*unlocated_);
  unlocated_.reset();
  fault_ = message_error(std::move(message), node.mark);
}

YamlError NodeReader::take_fault() {
  if (unlocated_) return message_error(std::move(*unlocated_), std::nullopt);
  if (fault_) return std::move(*fault_);
  return message_error("EOF while parsing a value", std::nullopt);
}

bool NodeReader::read_value(Cursor& at, const YamlPath& path, bool strict, YamlValue& out) {
  Cursor scratch;
  Cursor* from = nullptr;
  const YamlEvent* node = begin_node(at, scratch, from);
  if (node == nullptr) return false;
  if (read_node_value(*node, *from, path, strict, out)) return true;
  locate(*node, path);
  return false;
}

bool NodeReader::read_node_value(const YamlEvent& node, Cursor& from, const YamlPath& path,
                                 bool strict, YamlValue& out) {
  if (!is_local_tag(node.tag)) return read_untagged_value(node, from, path, strict, out);
  std::string_view name = std::string_view(node.tag).substr(1);
  if (name.empty() && strict) return fail("empty YAML tag is not allowed");
  out.kind = YamlValue::Kind::Tagged;
  out.text = name;
  out.items.resize(1);
  return read_untagged_value(node, from, path, strict, out.items[0]);
}

bool NodeReader::read_untagged_value(const YamlEvent& node, Cursor& from, const YamlPath& path,
                                     bool strict, YamlValue& out) {
  switch (node.type) {
    case YamlEventType::Scalar: {
      std::string fault;
      std::optional<YamlValue> value = type_scalar(node, fault);
      if (!value) return fail(std::move(fault));
      out = std::move(*value);
      return true;
    }
    case YamlEventType::SequenceStart:
      return read_sequence_value(node, from, path, strict, out);
    case YamlEventType::MappingStart:
      return read_mapping_value(node, from, path, strict, out);
    default:
      // Readers only start a node where one begins; libyaml's events are well nested.
      std::abort();
  }
}

bool NodeReader::read_sequence_value(const YamlEvent& node, Cursor& from, const YamlPath& path,
                                     bool strict, YamlValue& out) {
  if (!enter(node)) return false;
  DepthScope scope(*this);
  out.kind = YamlValue::Kind::Sequence;
  for (std::size_t index = 0;; ++index) {
    const YamlEvent* event = peek(from);
    if (event == nullptr) return false;
    if (event->type == YamlEventType::SequenceEnd) return next(from) != nullptr;
    YamlValue item;
    if (!read_value(from, path.item(index), strict, item)) return false;
    out.items.push_back(std::move(item));
  }
}

bool NodeReader::read_mapping_value(const YamlEvent& node, Cursor& from, const YamlPath& path,
                                    bool strict, YamlValue& out) {
  if (!enter(node)) return false;
  DepthScope scope(*this);
  out.kind = YamlValue::Kind::Mapping;
  YamlKeyIndex keys;
  while (true) {
    const YamlEvent* event = peek(from);
    if (event == nullptr) return false;
    if (event->type == YamlEventType::MappingEnd) return next(from) != nullptr;
    // The value's path names the key by its text when the key (or the node its alias
    // names) is a scalar.
    const YamlEvent* key_node =
        event->type == YamlEventType::Alias ? &document_.events[event->alias_target] : event;
    YamlValue key;
    if (!read_value(from, path, strict, key)) return false;
    out.items.push_back(std::move(key));
    if (strict && !keys.insert(out.items, out.items.size() - 1))
      return fail(duplicate_entry_message(out.items.back()));
    YamlPath value_path = key_node->type == YamlEventType::Scalar ? path.entry(key_node->value)
                                                                  : path.unknown_entry();
    YamlValue value;
    if (!read_value(from, value_path, strict, value)) return false;
    out.items.push_back(std::move(value));
  }
}

}  // namespace mobrel::detail
