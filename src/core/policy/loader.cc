#include "mobrel/policy/loader.h"

#include <optional>
#include <utility>

#include "policy/policy_reader.h"
#include "policy/yaml_events.h"
#include "policy/yaml_reader.h"

namespace mobrel {
namespace {

LoadError parse_error(YamlError error) {
  LoadError load_error;
  load_error.variant = LoadError::Variant::Parse;
  load_error.yaml = std::move(error);
  return load_error;
}

LoadError parse_error(std::string message) {
  return parse_error(YamlError{YamlMessageError{std::move(message), std::nullopt}});
}

}  // namespace

LoadResult parse_policy_yaml(std::string_view bytes) {
  detail::YamlEventSource source(bytes);
  std::optional<detail::YamlDocument> document = source.first_document();
  if (!document) return parse_error("EOF while parsing a value");

  std::vector<PolicyRule> rules;
  detail::NodeReader reader(*document);
  if (!detail::read_policy_document(reader, rules)) return parse_error(reader.take_fault());
  // The rules were read from the events before the fault that cut the document short;
  // the fault still fails the load.
  if (document->cut_short) return parse_error(*document->cut_short);
  if (source.has_more_documents())
    return parse_error(
        "deserializing from YAML containing more than one document is not supported");
  return rules;
}

}  // namespace mobrel
