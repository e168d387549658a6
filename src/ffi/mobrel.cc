// The twelve exports: each clears the thread's slot, checks its arguments in a fixed
// order, copies what it needs from the host's buffers, runs one engine operation under
// the handle's lock and turns the result into a code, out-parameters and texts.
#include "mobrel.h"

#include <string>

#include "ffi/error_slot.h"
#include "ffi/handle.h"
#include "ffi/host_bytes.h"
#include "ffi/host_json.h"

using namespace mobrel;
using namespace mobrel::ffi;

namespace {

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kRejected = -1;
constexpr std::int32_t kDenied = -2;
constexpr std::int32_t kEscalated = -3;
constexpr std::int32_t kNothing = -5;

std::int32_t reject(std::string_view error) {
  set_error(error);
  return kRejected;
}

}  // namespace

extern "C" {

MobrelEngine* mobrel_engine_new(void) noexcept {
  clear_slot();
  return new MobrelEngine();
}

void mobrel_engine_free(MobrelEngine* engine) noexcept { delete engine; }

std::int32_t mobrel_last_error(std::uint8_t** out_ptr, std::size_t* out_len) noexcept {
  if (out_ptr == nullptr || out_len == nullptr) return kRejected;
  std::string text;
  if (!take_slot(text)) {
    *out_ptr = nullptr;
    *out_len = 0;
    return kNothing;
  }
  *out_ptr = hand_out(text);
  *out_len = text.size();
  return kOk;
}

void mobrel_free_string(std::uint8_t* ptr, std::size_t len) noexcept {
  if (ptr == nullptr || len == 0) return;
  release(ptr);
}

std::int32_t mobrel_load_policies_yaml(MobrelEngine* engine, const std::uint8_t* yaml_ptr,
                                       std::size_t yaml_len) noexcept {
  clear_slot();
  if (engine == nullptr || !range_ok(yaml_ptr, yaml_len)) return kRejected;
  std::span<const std::uint8_t> yaml = bytes_of(yaml_ptr, yaml_len);
  auto guard = lock(engine);
  auto result =
      guard->load_policies_yaml({reinterpret_cast<const char*>(yaml.data()), yaml.size()});
  if (const std::string* message = std::get_if<std::string>(&result)) {
    set_error(*message);
    return kRejected;
  }
  return kOk;
}

std::int32_t mobrel_ingest(MobrelEngine* engine, const std::uint8_t* content_ptr,
                           std::size_t content_len, std::uint32_t trust_level,
                           const std::uint8_t* metadata_ptr, std::size_t metadata_len,
                           std::uint64_t* out_event_id) noexcept {
  clear_slot();
  if (engine == nullptr || out_event_id == nullptr) return reject("invalid argument");
  if (!range_ok(content_ptr, content_len)) return reject("invalid content length");
  if (trust_level > 4) return reject("invalid trust_level");
  if (!range_ok(metadata_ptr, metadata_len)) return reject("invalid metadata length");
  std::optional<Metadata> metadata = read_metadata(bytes_of(metadata_ptr, metadata_len));
  auto guard = lock(engine);
  *out_event_id =
      guard->ingest(bytes_of(content_ptr, content_len), static_cast<TrustLevel>(trust_level),
                    metadata ? &*metadata : nullptr);
  return kOk;
}

std::int32_t mobrel_register_tool(MobrelEngine* engine, const std::uint8_t* name_ptr,
                                  std::size_t name_len, const std::uint8_t* definition_ptr,
                                  std::size_t definition_len) noexcept {
  clear_slot();
  if (engine == nullptr || !range_ok(definition_ptr, definition_len)) return kRejected;
  std::string name = decode_text_or_empty(name_ptr, name_len);
  ToolEntry entry = read_tool_definition(bytes_of(definition_ptr, definition_len));
  auto guard = lock(engine);
  guard->registry().insert(std::move(name), std::move(entry));
  return kOk;
}

std::int32_t mobrel_propose(MobrelEngine* engine, const std::uint8_t* tool_ptr,
                            std::size_t tool_len, const std::uint8_t* params_ptr,
                            std::size_t params_len, const std::uint8_t* call_text_ptr,
                            std::size_t call_text_len, const std::uint64_t* input_sources,
                            std::size_t input_sources_len, std::uint64_t* out_event_id) noexcept {
  clear_slot();
  if (engine == nullptr || out_event_id == nullptr) return reject("invalid argument");
  if (tool_len > kMaxBytes || !range_ok(params_ptr, params_len))
    return reject("invalid tool or params length");
  std::string tool = decode_text_or_empty(tool_ptr, tool_len);
  std::optional<std::string> call_text = decode_text(call_text_ptr, call_text_len);
  if (input_sources_len > kMaxInputSources || (input_sources == nullptr && input_sources_len != 0))
    return reject("invalid input_sources length");
  std::optional<std::span<const EventId>> sources;
  if (input_sources_len != 0) sources = std::span(input_sources, input_sources_len);

  auto guard = lock(engine);
  Decision decision = guard->propose(tool, bytes_of(params_ptr, params_len), call_text, sources);
  *out_event_id = decision.event_id;
  switch (decision.outcome) {
    case Outcome::Escalate:
      set_slot(decision_json(decision));
      return kEscalated;
    case Outcome::Deny:
      set_slot(decision_json(decision));
      return kDenied;
    default:
      return kOk;
  }
}

std::int32_t mobrel_record_result(MobrelEngine* engine, std::uint64_t call_event_id,
                                  const std::uint8_t* output_ptr, std::size_t output_len,
                                  std::int32_t status, std::uint64_t* out_event_id) noexcept {
  clear_slot();
  if (engine == nullptr || out_event_id == nullptr) return reject("invalid argument");
  if (!range_ok(output_ptr, output_len)) return reject("invalid output length");
  auto guard = lock(engine);
  *out_event_id = guard->record_result(call_event_id, bytes_of(output_ptr, output_len), status);
  return kOk;
}

std::int32_t mobrel_set_label(MobrelEngine* engine, std::uint64_t event_id,
                              const std::uint8_t* label_ptr, std::size_t label_len) noexcept {
  clear_slot();
  if (engine == nullptr) return kRejected;
  std::string label = decode_text_or_empty(label_ptr, label_len);
  auto guard = lock(engine);
  guard->set_label(event_id, label);
  return kOk;
}

std::int32_t mobrel_is_traced(MobrelEngine* engine, std::uint64_t event_id,
                              const std::uint8_t* label_ptr, std::size_t label_len,
                              std::int32_t* out_traced) noexcept {
  clear_slot();
  if (engine == nullptr || out_traced == nullptr) return kRejected;
  std::string label = decode_text_or_empty(label_ptr, label_len);
  auto guard = lock(engine);
  *out_traced = guard->is_traced_to(event_id, label) ? 1 : 0;
  return kOk;
}

std::int32_t mobrel_explain(MobrelEngine* engine, std::uint64_t event_id, std::uint8_t** out_ptr,
                            std::size_t* out_len) noexcept {
  clear_slot();
  if (engine == nullptr || out_ptr == nullptr || out_len == nullptr) return kRejected;
  auto guard = lock(engine);
  std::optional<Explain> explanation = guard->explain(event_id);
  if (!explanation) {
    set_error("event not found");
    return kNothing;
  }
  std::string text = explanation_json(*explanation);
  *out_ptr = hand_out(text);
  *out_len = text.size();
  return kOk;
}

}  // extern "C"
