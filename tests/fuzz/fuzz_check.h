// What both fuzz targets share: a check that reports what was expected and stops the run, so that
// libFuzzer records the input as a crash.
#pragma once
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                  \
    do {                                                                            \
        if (!(condition)) {                                                         \
            fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition); \
            fprintf(stderr, __VA_ARGS__);                                           \
            fprintf(stderr, "\n");                                                  \
            abort();                                                                \
        }                                                                           \
    } while (0)
