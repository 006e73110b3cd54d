#pragma once

// Compiles a function for the x86-64 levels 4 (AVX-512) and 3 (AVX2) besides
// the baseline, the loader picking the one the processor runs. Thread
// sanitizer builds get the baseline only: the loader calls the picking code
// before that sanitizer's run-time is up, which crashes.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define ORVALIS_TARGET_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define ORVALIS_TARGET_CLONES
#endif
