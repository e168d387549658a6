// The text form of a LoadError, as the engine hands it to the host.
#include <string>
#include <type_traits>
#include <variant>

#include "mobrel/policy/loader.h"
#include "policy/debug_string.h"

namespace mobrel {
namespace {

// Mark { line: L, column: C }, counted from 1.
std::string mark_text(const YamlPosition& mark) {
  return "Mark { line: " + std::to_string(mark.line + 1) +
         ", column: " + std::to_string(mark.column + 1) + " }";
}

bool is_zero(const YamlPosition& mark) { return mark.line == 0 && mark.column == 0; }

// Error("message", line: L, column: C)
std::string message_text(const YamlMessageError& error) {
  std::string out = "Error(" + detail::debug_quote(error.message);
  if (error.position)
    out += ", line: " + std::to_string(error.position->line) +
           ", column: " + std::to_string(error.position->column);
  return out + ")";
}

// Error { kind: SCANNER, problem: "...", problem_mark: Mark { ... }, context: "...", ... }
std::string syntax_text(const YamlSyntaxError& error) {
  std::string fields;
  auto add = [&fields](std::string_view name, const std::string& value) {
    if (!fields.empty()) fields += ", ";
    fields.append(name);
    fields += ": ";
    fields += value;
  };
  if (error.kind) add("kind", *error.kind);
  add("problem", detail::debug_quote(error.problem));
  if (!is_zero(error.problem_mark))
    add("problem_mark", mark_text(error.problem_mark));
  else if (error.problem_offset != 0)
    add("problem_offset", std::to_string(error.problem_offset));
  if (error.context) {
    add("context", detail::debug_quote(*error.context));
    if (!is_zero(error.context_mark)) add("context_mark", mark_text(error.context_mark));
  }
  return "Error { " + fields + " }";
}

}  // namespace

std::string LoadError::to_string() const {
  if (variant == Variant::Io) return "Io(" + io_description + ")";
  return "Parse(" +
         std::visit(
             [](const auto& error) {
               if constexpr (std::is_same_v<std::decay_t<decltype(error)>, YamlMessageError>)
                 return message_text(error);
               else
                 return syntax_text(error);
             },
             yaml.detail) +
         ")";
}

}  // namespace mobrel
