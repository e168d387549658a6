/* The error slot, returned buffers, handle lifecycle and policy loading at the boundary. */
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"

#define LIMIT 1048576

static void *fresh_thread_sees_empty_slot(void *arg) {
  (void)arg;
  CHECK_SLOT(NULL);
  return NULL;
}

static void *thread_a_fails(void *arg) {
  uint64_t id = 0;
  pthread_t b;
  (void)arg;
  CHECK_INT(mobrel_ingest(NULL, NULL, 0, 9, NULL, 0, &id), -1);
  /* Another thread does not see this thread's text. */
  pthread_create(&b, NULL, fresh_thread_sees_empty_slot, NULL);
  pthread_join(b, NULL);
  CHECK_SLOT("{\"error\":\"invalid argument\"}");
  CHECK_SLOT(NULL); /* handed out once */
  return NULL;
}

static void slot_is_per_thread(void) {
  pthread_t a;
  pthread_create(&a, NULL, thread_a_fails, NULL);
  pthread_join(a, NULL);
  CHECK_SLOT(NULL);
}

static void last_error_arguments(void) {
  uint8_t *ptr = NULL;
  size_t len = 0;
  uint64_t id;
  MobrelEngine *engine = mobrel_engine_new();
  CHECK(engine != NULL);
  CHECK_SLOT(NULL);

  CHECK_INT(mobrel_ingest(engine, NULL, 1, 0, NULL, 0, &id), -1);
  CHECK_INT(mobrel_last_error(&ptr, NULL), -1); /* the text stays */
  CHECK_INT(mobrel_last_error(NULL, &len), -1);
  /* freeing nothing and freeing an engine do not touch the slot */
  mobrel_free_string(NULL, 5);
  mobrel_free_string((uint8_t *)&len, 0);
  mobrel_engine_free(NULL);
  mobrel_engine_free(engine);
  CHECK_SLOT("{\"error\":\"invalid content length\"}");

  /* any clearing export empties the slot */
  engine = mobrel_engine_new();
  CHECK_INT(mobrel_ingest(engine, NULL, 1, 0, NULL, 0, &id), -1);
  CHECK_INT(mobrel_set_label(engine, 0, BYTES("x"), 1), 0);
  CHECK_SLOT(NULL);
  mobrel_engine_free(engine);
}

static void load_policy_lengths(void) {
  MobrelEngine *engine = mobrel_engine_new();
  uint8_t *doc = malloc(LIMIT + 1);
  static const char head[] = "policies: []\n";
  memset(doc, '#', LIMIT + 1); /* a comment up to the end */
  memcpy(doc, head, LEN(head));

  CHECK_INT(mobrel_load_policies_yaml(engine, doc, LIMIT), 0); /* reaches the loader */
  CHECK_SLOT(NULL);
  CHECK_INT(mobrel_load_policies_yaml(engine, doc, LIMIT + 1), -1);
  CHECK_SLOT(NULL);
  CHECK_INT(mobrel_load_policies_yaml(engine, NULL, 3), -1);
  CHECK_SLOT(NULL);
  CHECK_INT(mobrel_load_policies_yaml(NULL, doc, 3), -1);
  CHECK_SLOT(NULL);
  /* NULL with length 0 is the empty document: the loader's own failure */
  CHECK_INT(mobrel_load_policies_yaml(engine, NULL, 0), -1);
  CHECK_SLOT("{\"error\":\"Parse(Error(\\\"EOF while parsing a value\\\"))\"}");
  free(doc);
  mobrel_engine_free(engine);
}

static void loader_failure_text(void) {
  static const char doc[] = "policies:\n  - when: {}\n    action: deny\n";
  MobrelEngine *engine = mobrel_engine_new();
  CHECK_INT(mobrel_load_policies_yaml(engine, BYTES(doc), LEN(doc)), -1);
  CHECK_SLOT(
      "{\"error\":\"Parse(Error(\\\"policies[0]: missing field `name`\\\", line: 2, column: "
      "5))\"}");
  mobrel_engine_free(engine);
}

/* Decodes the JSON string that starts after `"error":"` in place; returns its length, or
 * -1 if the text is not exactly {"error":"..."}. Handles the escapes the writer uses. */
static long decode_error_member(const uint8_t *text, size_t len, char *out) {
  static const char prefix[] = "{\"error\":\"";
  size_t i = LEN(prefix), n = 0;
  if (len < i + 2 || memcmp(text, prefix, i) != 0) return -1;
  while (i < len && text[i] != '"') {
    char c = (char)text[i++];
    if (c == '\\') {
      char e = (char)text[i++];
      switch (e) {
        case '"': case '\\': case '/': c = e; break;
        case 'n': c = '\n'; break;
        case 't': c = '\t'; break;
        case 'r': c = '\r'; break;
        case 'b': c = '\b'; break;
        case 'f': c = '\f'; break;
        case 'u': c = (char)strtol((const char[]){(char)text[i], (char)text[i + 1],
                                                  (char)text[i + 2], (char)text[i + 3], 0},
                                   NULL, 16);
                  i += 4;
                  break;
        default: return -1;
      }
    } else if ((unsigned char)c < 0x20) {
      return -1; /* raw control characters are not JSON */
    }
    out[n++] = c;
  }
  if (i + 2 != len || text[i] != '"' || text[i + 1] != '}') return -1;
  out[n] = 0;
  return (long)n;
}

static void loader_message_round_trips_as_json(void) {
  /* A count given as a quoted text with a quotation mark, a backslash and a newline. */
  static const char doc[] =
      "policies:\n"
      "  - name: r\n"
      "    when:\n"
      "      calls_in_window:\n"
      "        count: \"a\\\"b\\\\c\\nd\"\n"
      "        window_minutes: 1\n"
      "    action: deny\n";
  static const char message[] =
      "Parse(Error(\"policies[0].when.calls_in_window.count: invalid type: string "
      "\\\"a\\\\\\\"b\\\\\\\\c\\\\nd\\\", expected u32\", line: 5, column: 16))";
  MobrelEngine *engine = mobrel_engine_new();
  uint8_t *ptr;
  size_t len;
  char decoded[512];
  CHECK_INT(mobrel_load_policies_yaml(engine, BYTES(doc), LEN(doc)), -1);
  CHECK_INT(mobrel_last_error(&ptr, &len), 0);
  CHECK_INT(decode_error_member(ptr, len, decoded), (long)LEN(message));
  CHECK(strcmp(decoded, message) == 0);
  mobrel_free_string(ptr, len);
  mobrel_engine_free(engine);
}

static void loading_appends_rules(void) {
  static const char doc[] =
      "policies:\n"
      "  - name: no-shell\n"
      "    when: {tool: shell}\n"
      "    action: escalate\n"
      "    message: \"needs a \\\"human\\\"\\nreview\"\n";
  MobrelEngine *engine = mobrel_engine_new();
  uint64_t id;
  CHECK_INT(mobrel_register_tool(engine, BYTES("shell"), 5, NULL, 0), 0);
  CHECK_INT(mobrel_ingest(engine, BYTES("hi"), 2, 2, NULL, 0, &id), 0);
  CHECK_INT(mobrel_propose(engine, BYTES("shell"), 5, NULL, 0, NULL, 0, NULL, 0, &id), 0);
  CHECK_INT(mobrel_load_policies_yaml(engine, BYTES(doc), LEN(doc)), 0);
  CHECK_INT(mobrel_propose(engine, BYTES("shell"), 5, NULL, 0, NULL, 0, NULL, 0, &id), -3);
  CHECK_SLOT(
      "{\"allowed\":false,\"outcome\":\"escalate\",\"reason\":\"needs a \\\"human\\\"\\nreview\","
      "\"rule_id\":\"no-shell\"}");
  mobrel_engine_free(engine);
}

typedef struct {
  MobrelEngine *engine;
  uint64_t ids[500];
} Worker;

static void *ingest_many(void *arg) {
  Worker *worker = arg;
  int i;
  for (i = 0; i < 500; ++i)
    CHECK_INT(mobrel_ingest(worker->engine, BYTES("x"), 1, 2, NULL, 0, &worker->ids[i]), 0);
  return NULL;
}

static void calls_on_one_handle_are_serialised(void) {
  Worker workers[4];
  pthread_t threads[4];
  static unsigned char seen[2000];
  int t, i;
  MobrelEngine *engine = mobrel_engine_new();
  for (t = 0; t < 4; ++t) {
    workers[t].engine = engine;
    pthread_create(&threads[t], NULL, ingest_many, &workers[t]);
  }
  for (t = 0; t < 4; ++t) pthread_join(threads[t], NULL);
  for (t = 0; t < 4; ++t)
    for (i = 0; i < 500; ++i) {
      CHECK(workers[t].ids[i] < 2000);
      if (workers[t].ids[i] < 2000) seen[workers[t].ids[i]]++;
    }
  for (i = 0; i < 2000; ++i) CHECK_INT(seen[i], 1);
  mobrel_engine_free(engine);
}

int main(void) {
  CHECK_SLOT(NULL);
  slot_is_per_thread();
  last_error_arguments();
  load_policy_lengths();
  loader_failure_text();
  loader_message_round_trips_as_json();
  loading_appends_rules();
  calls_on_one_handle_are_serialised();
  return check_exit();
}
