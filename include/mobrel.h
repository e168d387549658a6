/*
 * mobrel: policy and provenance engine for AI agents.
 *
 * One engine per agent session. The host reports content entering the agent's context
 * (with a trust level), registers tools, asks before every tool call whether it may go
 * ahead, reports tool output, and may label events, ask whether an event traces to a
 * label, or ask why an event happened.
 *
 * Conventions shared by every function:
 * - Byte ranges are (pointer, length) pairs of at most 1,048,576 bytes; NULL is accepted
 *   with length 0. Nothing is NUL-terminated.
 * - Return codes: 0 success (for mobrel_propose: allowed), -1 rejected argument or failed
 *   policy load, -2 denied call, -3 escalated call, -5 nothing to hand out / not found.
 * - Error and decision texts are JSON, kept per thread: read them with mobrel_last_error
 *   on the thread that made the failing call. Every function except mobrel_engine_free,
 *   mobrel_free_string and mobrel_last_error clears that text on entry.
 * - Texts handed out (by mobrel_last_error and mobrel_explain) are exact-size buffers owned
 *   by the host, released with mobrel_free_string(ptr, len).
 * - Calls on one handle from several threads are serialised; calls on different handles
 *   do not interact.
 */
#ifndef MOBREL_H
#define MOBREL_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define MOBREL_EXPORT __attribute__((visibility("default")))
#else
#define MOBREL_EXPORT
#endif

/* The functions never throw; C++ callers may rely on it. */
#ifdef __cplusplus
#define MOBREL_NOEXCEPT noexcept
#else
#define MOBREL_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MobrelEngine MobrelEngine;

/* Creates an engine holding the six built-in rules; every event it records derives from
 * every event recorded before it. Never returns NULL. Free it with mobrel_engine_free. */
MOBREL_EXPORT MobrelEngine *mobrel_engine_new(void) MOBREL_NOEXCEPT;

/* Destroys the engine and everything in it. NULL does nothing. No other call on the
 * handle may run or follow. */
MOBREL_EXPORT void mobrel_engine_free(MobrelEngine *engine) MOBREL_NOEXCEPT;

/* Hands out the calling thread's last error or decision text and empties the slot.
 * 0: text written to *out_ptr / *out_len (free it with mobrel_free_string).
 * -5: no text; writes NULL and 0. -1: an out-parameter is NULL; the text stays. */
MOBREL_EXPORT int32_t mobrel_last_error(uint8_t **out_ptr, size_t *out_len) MOBREL_NOEXCEPT;

/* Releases a text handed out by mobrel_last_error or mobrel_explain, with the length
 * handed out with it. NULL or length 0 does nothing. */
MOBREL_EXPORT void mobrel_free_string(uint8_t *ptr, size_t len) MOBREL_NOEXCEPT;

/* Appends the rules of one YAML policy document after the rules already held; all or
 * nothing. 0: loaded. -1: NULL engine or bad range (no text), or the document failed to
 * load (text {"error":"<loader message>"}); the engine's rules are then unchanged. */
MOBREL_EXPORT int32_t mobrel_load_policies_yaml(MobrelEngine *engine, const uint8_t *yaml_ptr,
                                                size_t yaml_len) MOBREL_NOEXCEPT;

/* Records content that entered the agent's context. trust_level: 0 system, 1 operator,
 * 2 user, 3 external, 4 unknown (3 and 4 label the event "external"). metadata: optional
 * JSON object of string members; "channel", "sender" and "sender_id" are read, unusable
 * metadata is ignored. 0: *out_event_id written. -1: rejected argument (text in slot). */
MOBREL_EXPORT int32_t mobrel_ingest(MobrelEngine *engine, const uint8_t *content_ptr,
                                    size_t content_len, uint32_t trust_level,
                                    const uint8_t *metadata_ptr, size_t metadata_len,
                                    uint64_t *out_event_id) MOBREL_NOEXCEPT;

/* Registers (or replaces) a tool. definition: optional JSON object with string members
 * "risk" (low, medium, high or critical, any letter case; default medium) and "category".
 * An unreadable name or definition falls back to the empty name or the defaults.
 * 0: registered. -1: NULL engine or bad definition range (no text). */
MOBREL_EXPORT int32_t mobrel_register_tool(MobrelEngine *engine, const uint8_t *name_ptr,
                                           size_t name_len, const uint8_t *definition_ptr,
                                           size_t definition_len) MOBREL_NOEXCEPT;

/* Records a proposed tool call and judges it. params: the call's parameters (normally a
 * JSON object), call_text: optional text kept with the call, input_sources: at most 1,024
 * event ids the host names as the call's inputs. *out_event_id is written for 0, -2, -3.
 * 0: allowed. -2: denied, -3: escalated; the slot then holds the decision as JSON
 * ({"allowed":false,["outcome":"escalate",]"reason":...,"rule_id":...}).
 * -1: rejected argument (text in slot); nothing recorded. */
MOBREL_EXPORT int32_t mobrel_propose(MobrelEngine *engine, const uint8_t *tool_ptr,
                                     size_t tool_len, const uint8_t *params_ptr,
                                     size_t params_len, const uint8_t *call_text_ptr,
                                     size_t call_text_len, const uint64_t *input_sources,
                                     size_t input_sources_len, uint64_t *out_event_id) MOBREL_NOEXCEPT;

/* Records a tool's output for the call event call_event_id; status is kept unchanged.
 * Output that looks like credentials or personal data labels the result "injected".
 * 0: *out_event_id written. -1: rejected argument (text in slot). */
MOBREL_EXPORT int32_t mobrel_record_result(MobrelEngine *engine, uint64_t call_event_id,
                                           const uint8_t *output_ptr, size_t output_len,
                                           int32_t status, uint64_t *out_event_id) MOBREL_NOEXCEPT;

/* Attaches a trace label to an event and to every event already derived from it.
 * An unreadable label is the empty label. 0: done. -1: NULL engine (no text). */
MOBREL_EXPORT int32_t mobrel_set_label(MobrelEngine *engine, uint64_t event_id,
                                       const uint8_t *label_ptr, size_t label_len) MOBREL_NOEXCEPT;

/* Writes 1 to *out_traced if the event carries the label, else 0.
 * 0: done. -1: NULL engine or out_traced (no text). */
MOBREL_EXPORT int32_t mobrel_is_traced(MobrelEngine *engine, uint64_t event_id,
                                       const uint8_t *label_ptr, size_t label_len,
                                       int32_t *out_traced) MOBREL_NOEXCEPT;

/* Explains an event: {"text":"<summary>","trace_chain":[<ancestor ids>]} handed out in
 * *out_ptr / *out_len (free with mobrel_free_string). -5: no such event (text
 * {"error":"event not found"}). -1: NULL argument (no text). */
MOBREL_EXPORT int32_t mobrel_explain(MobrelEngine *engine, uint64_t event_id, uint8_t **out_ptr,
                                     size_t *out_len) MOBREL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* MOBREL_H */
