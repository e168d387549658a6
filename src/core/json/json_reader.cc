#include "json/json_reader.h"

#include <boost/json/parse.hpp>

namespace mobrel::json {

std::optional<boost::json::value> parse_document(std::string_view text, std::size_t max_depth) {
  boost::json::parse_options options;
  options.max_depth = max_depth;
  boost::json::error_code error;
  boost::json::value value = boost::json::parse(text, error, {}, options);
  if (error) return std::nullopt;
  return value;
}

}  // namespace mobrel::json
