// The call's parameters as (name, text) pairs for the Datalog facts.
#include <algorithm>
#include <boost/json/basic_parser_impl.hpp>
#include <charconv>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "json/json_reader.h"
#include "mobrel/policy/evaluator.h"

namespace mobrel {

namespace {

using boost::json::error_code;
using boost::json::string_view;

// Records, per member of the top-level object, the source text of a number that the reader
// turned into a double. The reader's own conversion is not always correctly rounded (it can
// be one unit in the last place off), so the text is converted again with from_chars. A name
// that occurs twice keeps the text of its later value, as the reader keeps the later value.
class DoubleTextCollector {
 public:
  static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);

  bool on_document_begin(error_code&) { return true; }
  bool on_document_end(error_code&) { return true; }
  bool on_array_begin(error_code&) { return enter(); }
  bool on_array_end(std::size_t, error_code&) { return leave(); }
  bool on_object_begin(error_code&) { return enter(); }
  bool on_object_end(std::size_t, error_code&) { return leave(); }
  bool on_string_part(string_view, std::size_t, error_code&) { return true; }
  bool on_string(string_view, std::size_t, error_code&) { return true; }
  bool on_key_part(string_view part, std::size_t, error_code&) {
    if (depth_ == 1) key_.append(part.data(), part.size());
    return true;
  }
  bool on_key(string_view rest, std::size_t, error_code&) {
    if (depth_ == 1) {
      key_.append(rest.data(), rest.size());
      member_ = std::move(key_);
      key_.clear();
    }
    return true;
  }
  bool on_number_part(string_view part, error_code&) {
    number_.append(part.data(), part.size());
    return true;
  }
  bool on_int64(std::int64_t, string_view, error_code&) { return end_number(); }
  bool on_uint64(std::uint64_t, string_view, error_code&) { return end_number(); }
  bool on_double(double, string_view rest, error_code&) {
    number_.append(rest.data(), rest.size());
    if (depth_ == 1) texts_[member_] = number_;
    return end_number();
  }
  bool on_bool(bool, error_code&) { return true; }
  bool on_null(error_code&) { return true; }
  bool on_comment_part(string_view, error_code&) { return true; }
  bool on_comment(string_view, error_code&) { return true; }

  const std::string* text_of(const std::string& member) const {
    auto found = texts_.find(member);
    return found == texts_.end() ? nullptr : &found->second;
  }

 private:
  bool enter() {
    ++depth_;
    return true;
  }
  bool leave() {
    --depth_;
    return true;
  }
  bool end_number() {
    number_.clear();
    return true;
  }

  std::size_t depth_ = 0;
  std::string key_;
  std::string member_;
  std::string number_;
  std::unordered_map<std::string, std::string> texts_;
};

DoubleTextCollector collect_double_texts(std::string_view text) {
  boost::json::parse_options options;
  options.max_depth = json::kMaxDepth;
  boost::json::basic_parser<DoubleTextCollector> parser(options);
  error_code error;
  parser.write_some(false, text.data(), text.size(), error);
  return std::move(parser.handler());
}

// The shortest decimal text that reads back to the double the number denotes.
std::string double_text(double read, const std::string* source) {
  double value = read;
  if (source != nullptr) {
    double exact = 0;
    auto [end, error] = std::from_chars(source->data(), source->data() + source->size(), exact);
    // Out of range (beyond the largest double, or below the smallest) keeps the reader's
    // infinity or zero.
    if (error == std::errc() && end == source->data() + source->size()) value = exact;
  }
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<std::string> param_text(const boost::json::value& value, const std::string* source) {
  switch (value.kind()) {
    case boost::json::kind::bool_:
      return value.get_bool() ? "true" : "false";
    case boost::json::kind::int64:
      return std::to_string(value.get_int64());
    case boost::json::kind::uint64:
      return std::to_string(value.get_uint64());
    case boost::json::kind::double_:
      return double_text(value.get_double(), source);
    case boost::json::kind::string:
      return std::string(value.get_string());
    case boost::json::kind::null:
    case boost::json::kind::array:
    case boost::json::kind::object:
      break;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> datalog_param_pairs(
    std::optional<std::string_view> params) {
  std::vector<std::pair<std::string, std::string>> pairs;
  if (!params) return pairs;
  std::optional<boost::json::value> document = json::parse_document(*params);
  if (!document || !document->is_object()) return pairs;
  const DoubleTextCollector doubles = collect_double_texts(*params);
  // The reader already keeps only the later value of a repeated name.
  for (const auto& member : document->get_object()) {
    std::string name(member.key());
    if (std::optional<std::string> text = param_text(member.value(), doubles.text_of(name))) {
      pairs.emplace_back(std::move(name), std::move(*text));
    }
  }
  std::sort(pairs.begin(), pairs.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return pairs;
}

}  // namespace mobrel
