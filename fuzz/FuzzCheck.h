// What a fuzz target asserts beyond "no crash, no sanitizer report": a
// property of the reader that must hold for every input. A broken property
// aborts, so that libFuzzer keeps the input and its replay test fails on it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)
