#include "check.h"

#include <stdio.h>
#include <string.h>

int check_failures = 0;

void check_true(int ok, const char *what, const char *file, int line) {
  if (ok) return;
  ++check_failures;
  fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
}

void check_int(long long got, long long want, const char *what, const char *file, int line) {
  if (got == want) return;
  ++check_failures;
  fprintf(stderr, "%s:%d: %s is %lld, expected %lld\n", file, line, what, got, want);
}

void check_slot(const char *want, const char *file, int line) {
  uint8_t *ptr = (uint8_t *)1;
  size_t len = 99;
  int32_t code = mobrel_last_error(&ptr, &len);
  if (want == NULL) {
    if (code != -5 || ptr != NULL || len != 0) {
      ++check_failures;
      fprintf(stderr, "%s:%d: slot should be empty, got code %d: %.*s\n", file, line, code,
              code == 0 ? (int)len : 0, code == 0 ? (const char *)ptr : "");
    }
  } else if (code != 0 || len != strlen(want) || memcmp(ptr, want, len) != 0) {
    ++check_failures;
    fprintf(stderr, "%s:%d: slot holds (code %d) %.*s\n  expected %s\n", file, line, code,
            code == 0 ? (int)len : 0, code == 0 ? (const char *)ptr : "", want);
  }
  if (code == 0) mobrel_free_string(ptr, len);
}

int check_exit(void) {
  if (check_failures == 0) printf("all checks passed\n");
  return check_failures > 100 ? 100 : check_failures;
}

int traced(MobrelEngine *engine, uint64_t id, const char *label) {
  int32_t out = -7;
  CHECK_INT(mobrel_is_traced(engine, id, (const uint8_t *)label, strlen(label), &out), 0);
  return out;
}
