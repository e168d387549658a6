#include "policy/yaml_events.h"

#include <cstdlib>
#include <unordered_map>
#include <utility>

namespace mobrel::detail {
namespace {

YamlMark mark_of(const yaml_mark_t& mark) { return YamlMark{mark.line, mark.column}; }

std::string text_of(const yaml_char_t* text) {
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

ScalarStyle style_of(yaml_scalar_style_t style) {
  switch (style) {
    case YAML_SINGLE_QUOTED_SCALAR_STYLE:
      return ScalarStyle::SingleQuoted;
    case YAML_DOUBLE_QUOTED_SCALAR_STYLE:
      return ScalarStyle::DoubleQuoted;
    case YAML_LITERAL_SCALAR_STYLE:
      return ScalarStyle::Literal;
    case YAML_FOLDED_SCALAR_STYLE:
      return ScalarStyle::Folded;
    default:
      return ScalarStyle::Plain;
  }
}

std::optional<std::string> kind_name(yaml_error_type_t kind) {
  switch (kind) {
    case YAML_MEMORY_ERROR:
      return "MEMORY";
    case YAML_READER_ERROR:
      return "READER";
    case YAML_SCANNER_ERROR:
      return "SCANNER";
    case YAML_PARSER_ERROR:
      return "PARSER";
    case YAML_COMPOSER_ERROR:
      return "COMPOSER";
    default:
      return std::nullopt;
  }
}

// Collections may nest this deep, counting the root collection as the first.
constexpr std::size_t kMaxDepth = 128;

// Collects node events, resolving each alias to the latest anchor of its name so far.
class DocumentBuilder {
 public:
  // False when the document is cut short at this event: an alias to an unknown anchor, or
  // a collection nested deeper than the limit. Stopping there also spares libyaml the
  // rest of a hostile text (its cost grows with the square of the flow nesting).
  bool add(const yaml_event_t& event) {
    YamlEvent node;
    node.mark = mark_of(event.start_mark);
    YamlPosition position{node.mark.line + 1, node.mark.column + 1};
    const yaml_char_t* anchor = nullptr;
    const yaml_char_t* tag = nullptr;
    switch (event.type) {
      case YAML_SCALAR_EVENT:
        node.type = YamlEventType::Scalar;
        node.style = style_of(event.data.scalar.style);
        if (event.data.scalar.length > 0)
          node.value.assign(reinterpret_cast<const char*>(event.data.scalar.value),
                            event.data.scalar.length);
        anchor = event.data.scalar.anchor;
        tag = event.data.scalar.tag;
        break;
      case YAML_SEQUENCE_START_EVENT:
        if (!open_collection(position)) return false;
        node.type = YamlEventType::SequenceStart;
        anchor = event.data.sequence_start.anchor;
        tag = event.data.sequence_start.tag;
        break;
      case YAML_MAPPING_START_EVENT:
        if (!open_collection(position)) return false;
        node.type = YamlEventType::MappingStart;
        anchor = event.data.mapping_start.anchor;
        tag = event.data.mapping_start.tag;
        break;
      case YAML_SEQUENCE_END_EVENT:
        --depth_;
        node.type = YamlEventType::SequenceEnd;
        break;
      case YAML_MAPPING_END_EVENT:
        --depth_;
        node.type = YamlEventType::MappingEnd;
        break;
      case YAML_ALIAS_EVENT: {
        auto found = anchors_.find(text_of(event.data.alias.anchor));
        if (found == anchors_.end()) {
          document_.cut_short = YamlError{YamlMessageError{"unknown anchor", position}};
          return false;
        }
        node.type = YamlEventType::Alias;
        node.alias_target = found->second;
        break;
      }
      default:
        return true;
    }
    node.tag = text_of(tag);
    if (anchor != nullptr) anchors_[text_of(anchor)] = document_.events.size();
    document_.events.push_back(std::move(node));
    return true;
  }

  YamlDocument& document() { return document_; }

 private:
  bool open_collection(const YamlPosition& position) {
    if (depth_ == kMaxDepth) {
      document_.cut_short = YamlError{YamlMessageError{"recursion limit exceeded", position}};
      return false;
    }
    ++depth_;
    return true;
  }

  std::size_t depth_ = 0;
  YamlDocument document_;
  std::unordered_map<std::string, std::size_t> anchors_;
};

}  // namespace

YamlEventSource::YamlEventSource(std::string_view bytes) {
  // libyaml reads from the pointer even for an empty input; never hand it a null one.
  static const unsigned char kEmpty[1] = {0};
  // Failing to initialise means no memory, which ends the process like any exhaustion.
  if (!yaml_parser_initialize(&parser_)) std::abort();
  yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
  const unsigned char* data =
      bytes.empty() ? kEmpty : reinterpret_cast<const unsigned char*>(bytes.data());
  yaml_parser_set_input_string(&parser_, data, bytes.size());
}

YamlEventSource::~YamlEventSource() {
  if (event_live_) yaml_event_delete(&event_);
  yaml_parser_delete(&parser_);
}

bool YamlEventSource::parse_next() {
  if (event_live_) {
    yaml_event_delete(&event_);
    event_live_ = false;
  }
  if (failed_ || !yaml_parser_parse(&parser_, &event_)) {
    failed_ = true;
    return false;
  }
  event_live_ = true;
  return true;
}

YamlError YamlEventSource::syntax_error() const {
  YamlSyntaxError error;
  error.kind = kind_name(parser_.error);
  error.problem = parser_.problem == nullptr ? "" : parser_.problem;
  error.problem_mark = YamlPosition{parser_.problem_mark.line, parser_.problem_mark.column};
  error.problem_offset = parser_.problem_offset;
  if (parser_.context != nullptr) error.context = std::string(parser_.context);
  error.context_mark = YamlPosition{parser_.context_mark.line, parser_.context_mark.column};
  return YamlError{std::move(error)};
}

std::optional<YamlDocument> YamlEventSource::first_document() {
  DocumentBuilder builder;
  while (true) {
    if (!parse_next()) {
      builder.document().cut_short = syntax_error();
      return std::move(builder.document());
    }
    switch (event_.type) {
      case YAML_STREAM_START_EVENT:
        continue;
      case YAML_STREAM_END_EVENT:
        // A document always ends before the stream does: there was none.
        return std::nullopt;
      case YAML_DOCUMENT_START_EVENT:
        continue;
      case YAML_DOCUMENT_END_EVENT:
        return std::move(builder.document());
      default:
        if (!builder.add(event_)) {
          // Nothing after the cut is read; stop parsing here too.
          failed_ = true;
          return std::move(builder.document());
        }
    }
  }
}

bool YamlEventSource::has_more_documents() {
  if (!parse_next()) return true;
  return event_.type != YAML_STREAM_END_EVENT;
}

}  // namespace mobrel::detail
