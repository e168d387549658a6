// Reading policy documents: YAML text to a list of rules, or a LoadError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mobrel/policy/types.h"

namespace mobrel {

// A position in the document, counted from 1.
struct YamlPosition {
  std::uint64_t line = 0;
  std::uint64_t column = 0;
};

// A syntax error reported by libyaml, kept as libyaml gives it.
struct YamlSyntaxError {
  std::optional<std::string> kind;  // MEMORY, READER, SCANNER, PARSER or COMPOSER
  std::string problem;
  YamlPosition problem_mark;  // 0-based as libyaml reports; rendered from 1
  std::uint64_t problem_offset = 0;
  std::optional<std::string> context;
  YamlPosition context_mark;  // 0-based as libyaml reports; rendered from 1
};

// An error met while reading a node: a message (already prefixed by its path where it
// has one) and, where known, the position it refers to.
struct YamlMessageError {
  std::string message;
  std::optional<YamlPosition> position;
};

struct YamlError {
  std::variant<YamlMessageError, YamlSyntaxError> detail;
};

// The failure of one load. `Parse` is the only variant any operation produces; `Io`
// exists for readers of policy text from outside sources, which this system has none of.
struct LoadError {
  enum class Variant : std::uint8_t { Parse, Io };
  Variant variant = Variant::Parse;
  YamlError yaml;               // Parse
  std::string io_description;  // Io: the system error's own description

  // The debug text form, e.g. Parse(Error("policies[0]: missing field `name`", line: 2,
  // column: 5)).
  std::string to_string() const;
};

using LoadResult = std::variant<std::vector<PolicyRule>, LoadError>;

// Reads one YAML stream holding one policy document. All or nothing.
LoadResult parse_policy_yaml(std::string_view bytes);

}  // namespace mobrel
