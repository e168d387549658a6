/* Argument checks of mobrel_ingest and mobrel_register_tool. */
#include <stdlib.h>
#include <string.h>

#include "check.h"

#define LIMIT 1048576

static void ingest_checks_in_order(void) {
  MobrelEngine *engine = mobrel_engine_new();
  uint8_t *big = calloc(LIMIT + 1, 1);
  uint64_t id = 77;
  struct {
    const char *name;
    const uint8_t *content;
    size_t content_len;
    uint32_t trust;
    const uint8_t *metadata;
    size_t metadata_len;
    const char *error;
  } rejected[] = {
      {"content over the limit before trust", big, LIMIT + 1, 9, NULL, 0,
       "{\"error\":\"invalid content length\"}"},
      {"NULL content with a length", NULL, 1, 0, NULL, 0, "{\"error\":\"invalid content length\"}"},
      {"trust 5", NULL, 0, 5, NULL, 0, "{\"error\":\"invalid trust_level\"}"},
      {"trust all ones", NULL, 0, 0xFFFFFFFFu, NULL, 0, "{\"error\":\"invalid trust_level\"}"},
      {"metadata over the limit", NULL, 0, 0, big, LIMIT + 1, "{\"error\":\"invalid metadata length\"}"},
      {"NULL metadata with a length", NULL, 0, 0, NULL, 2, "{\"error\":\"invalid metadata length\"}"},
  };
  size_t i;
  for (i = 0; i < sizeof rejected / sizeof rejected[0]; ++i) {
    CHECK_INT(mobrel_ingest(engine, rejected[i].content, rejected[i].content_len, rejected[i].trust,
                            rejected[i].metadata, rejected[i].metadata_len, &id),
              -1);
    CHECK_SLOT(rejected[i].error);
    CHECK_INT(id, 77); /* not written */
  }
  CHECK_INT(mobrel_ingest(NULL, NULL, 0, 9, NULL, 0, &id), -1);
  CHECK_SLOT("{\"error\":\"invalid argument\"}");
  CHECK_INT(mobrel_ingest(engine, NULL, 0, 0, NULL, 0, NULL), -1);
  CHECK_SLOT("{\"error\":\"invalid argument\"}");

  /* Nothing was recorded by the rejected calls: the first accepted event is 0. */
  CHECK_INT(mobrel_ingest(engine, NULL, 0, 4, NULL, 0, &id), 0);
  CHECK_INT(id, 0);
  CHECK_INT(mobrel_ingest(engine, big, LIMIT, 2, NULL, 0, &id), 0);
  CHECK_INT(id, 1);
  /* Unusable metadata is dropped silently. */
  CHECK_INT(mobrel_ingest(engine, BYTES("x"), 1, 2, BYTES("{\"a\":1}"), 7, &id), 0);
  CHECK_INT(mobrel_ingest(engine, BYTES("x"), 1, 2, BYTES("\xff"), 1, &id), 0);
  CHECK_INT(mobrel_ingest(engine, BYTES("x"), 1, 2, BYTES("{\"channel\":\"web\"}\n"), 18, &id), 0);
  CHECK_INT(id, 4);
  CHECK_SLOT(NULL);
  free(big);
  mobrel_engine_free(engine);
}

static void trust_labels(void) {
  MobrelEngine *engine = mobrel_engine_new();
  uint64_t id;
  CHECK_INT(mobrel_ingest(engine, BYTES("sys"), 3, 0, NULL, 0, &id), 0);
  CHECK_INT(traced(engine, id, "external"), 0);
  CHECK_INT(mobrel_ingest(engine, BYTES("web"), 3, 3, NULL, 0, &id), 0);
  CHECK_INT(traced(engine, id, "external"), 1);
  CHECK_INT(traced(engine, id, "External"), 0);
  CHECK_INT(traced(engine, id, "never-set"), 0);
  /* Every later event derives from it. */
  CHECK_INT(mobrel_ingest(engine, BYTES("user"), 4, 2, NULL, 0, &id), 0);
  CHECK_INT(traced(engine, id, "external"), 1);
  CHECK_INT(traced(engine, 0, "external"), 0);
  CHECK_INT(traced(engine, 999, "external"), 0);
  mobrel_engine_free(engine);
}

static void register_checks(void) {
  MobrelEngine *engine = mobrel_engine_new();
  uint8_t *big = calloc(LIMIT + 1, 1);
  CHECK_INT(mobrel_register_tool(NULL, BYTES("t"), 1, NULL, 0), -1);
  CHECK_SLOT(NULL);
  CHECK_INT(mobrel_register_tool(engine, BYTES("t"), 1, NULL, 3), -1);
  CHECK_SLOT(NULL);
  CHECK_INT(mobrel_register_tool(engine, BYTES("t"), 1, big, LIMIT + 1), -1);
  CHECK_SLOT(NULL);
  /* An over-long name is not an error: the tool gets the empty name. */
  CHECK_INT(mobrel_register_tool(engine, big, LIMIT + 1, NULL, 0), 0);
  CHECK_INT(mobrel_register_tool(engine, BYTES("t"), 1, BYTES("[1]"), 3), 0);
  CHECK_INT(mobrel_register_tool(engine, BYTES("t"), 1, BYTES("{} x"), 4), 0);
  CHECK_SLOT(NULL);
  free(big);
  mobrel_engine_free(engine);
}

/* Risk and category as the built-in rules see them. */
static void registration_drives_rules(void) {
  MobrelEngine *engine = mobrel_engine_new();
  uint64_t id;
  static const char outbound[] = "{\"category\":\"network_outbound\",\"risk\":\"low\"}";
  static const char critical[] = "{\"risk\":\"Critical\"}";
  /* a risk written in capitals still counts; no user content yet, so high-risk gating fires */
  CHECK_INT(mobrel_register_tool(engine, BYTES("deploy"), 6, BYTES(critical), LEN(critical)), 0);
  CHECK_INT(mobrel_propose(engine, BYTES("deploy"), 6, NULL, 0, NULL, 0, NULL, 0, &id), -2);
  CHECK_SLOT(
      "{\"allowed\":false,\"reason\":\"High-risk tool requires recorded user input in session\","
      "\"rule_id\":\"mobrel.default.high-risk-gating\"}");
  /* re-registering without a definition resets risk and category */
  CHECK_INT(mobrel_register_tool(engine, BYTES("deploy"), 6, NULL, 0), 0);
  CHECK_INT(mobrel_propose(engine, BYTES("deploy"), 6, NULL, 0, NULL, 0, NULL, 0, &id), 0);

  CHECK_INT(mobrel_register_tool(engine, BYTES("post"), 4, BYTES(outbound), LEN(outbound)), 0);
  CHECK_INT(mobrel_propose(engine, BYTES("post"), 4, NULL, 0, NULL, 0, NULL, 0, &id), 0);
  CHECK_INT(mobrel_ingest(engine, BYTES("page"), 4, 3, NULL, 0, &id), 0);
  CHECK_INT(mobrel_propose(engine, BYTES("post"), 4, NULL, 0, NULL, 0, NULL, 0, &id), -2);
  CHECK_SLOT(
      "{\"allowed\":false,\"reason\":\"Outbound network action blocked: data traces to external "
      "source\",\"rule_id\":\"mobrel.default.external-trace-containment\"}");
  CHECK_INT(mobrel_register_tool(engine, BYTES("post"), 4, NULL, 0), 0); /* no category now */
  CHECK_INT(mobrel_propose(engine, BYTES("post"), 4, NULL, 0, NULL, 0, NULL, 0, &id), 0);
  mobrel_engine_free(engine);
}

int main(void) {
  ingest_checks_in_order();
  trust_labels();
  register_checks();
  registration_drives_rules();
  return check_exit();
}
