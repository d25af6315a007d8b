#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding: say which one and abort, so the fuzzer saves the input.
#define FUZZ_CHECK(condition, what)                                                                          \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: invariant broken: %s (%s)\n", __FILE__, __LINE__, what,             \
                         #condition);                                                                        \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
