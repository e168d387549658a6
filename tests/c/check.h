/* Minimal checks for the C tests: each failed check prints where and why; the program's
 * exit status is the number of failures (capped). */
#ifndef MOBREL_TEST_CHECK_H
#define MOBREL_TEST_CHECK_H

#include <stddef.h>
#include <stdint.h>

#include "mobrel.h"

extern int check_failures;

void check_true(int ok, const char *what, const char *file, int line);
void check_int(long long got, long long want, const char *what, const char *file, int line);
/* Takes the thread's slot and compares it with the expected text (NULL: slot empty). */
void check_slot(const char *want, const char *file, int line);
int check_exit(void);
/* mobrel_is_traced's answer for the label, checking that the call itself succeeds. */
int traced(MobrelEngine *engine, uint64_t id, const char *label);

#define CHECK(cond) check_true((cond) ? 1 : 0, #cond, __FILE__, __LINE__)
#define CHECK_INT(got, want) check_int((long long)(got), (long long)(want), #got, __FILE__, __LINE__)
#define CHECK_SLOT(want) check_slot((want), __FILE__, __LINE__)

/* Byte-range shorthands for string literals. */
#define BYTES(s) ((const uint8_t *)(s))
#define LEN(s) (sizeof(s) - 1)

#endif
