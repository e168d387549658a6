// The libyaml event stream of a policy text, collected one document at a time. Node events
// keep libyaml's start mark and the resolved target of every alias; everything above the
// events (typing, records, limits) is the reader's business.
#pragma once

#include <yaml.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mobrel/policy/loader.h"

namespace mobrel::detail {

// A node's start as libyaml reports it, counted from 0.
struct YamlMark {
  std::uint64_t line = 0;
  std::uint64_t column = 0;
};

enum class YamlEventType : std::uint8_t {
  Scalar,
  SequenceStart,
  SequenceEnd,
  MappingStart,
  MappingEnd,
  Alias
};

enum class ScalarStyle : std::uint8_t { Plain, SingleQuoted, DoubleQuoted, Literal, Folded };

struct YamlEvent {
  YamlEventType type = YamlEventType::Scalar;
  ScalarStyle style = ScalarStyle::Plain;  // Scalar only
  std::size_t alias_target = 0;            // Alias: index of the anchored node's first event
  YamlMark mark;
  std::string tag;    // the tag as libyaml resolved it; empty when the node has none
  std::string value;  // Scalar: its text
};

// The node events of one document. When libyaml reported a syntax error, an alias named an
// anchor not defined before it, or a collection lay inside 128 others, the events stop
// there and `cut_short` holds that fault: it is reported only if the reader needs an event
// beyond the last one collected.
struct YamlDocument {
  std::vector<YamlEvent> events;
  std::optional<YamlError> cut_short;
};

// Owns a libyaml parser over a text that must outlive it.
class YamlEventSource {
 public:
  explicit YamlEventSource(std::string_view bytes);
  ~YamlEventSource();
  YamlEventSource(const YamlEventSource&) = delete;
  YamlEventSource& operator=(const YamlEventSource&) = delete;

  // Collects the first document. Empty when the stream holds no document at all (only
  // white space and comments); a syntax error before any document gives a document with
  // no events, cut short by that error.
  std::optional<YamlDocument> first_document();

  // After a first document that was not cut short: whether anything but the end of the
  // stream follows it (another document, or a syntax error where one would start).
  bool has_more_documents();

 private:
  // Parses the next event into `event_`; false on a syntax error, which is then in
  // `syntax_error()`.
  bool parse_next();
  YamlError syntax_error() const;

  yaml_parser_t parser_;
  yaml_event_t event_;
  bool event_live_ = false;
  bool failed_ = false;
};

}  // namespace mobrel::detail
