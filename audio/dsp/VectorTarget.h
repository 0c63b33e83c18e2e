// Marks a hot per-block loop to be compiled twice on x86-64, once for AVX2 and once for the
// baseline instruction set; the loader picks the one the processor runs. The baseline build
// targets processors without AVX, which would otherwise leave every loop at four floats a step.
// Sanitizer builds get one plain build: the loader runs the selector before a sanitizer's
// runtime is up, and an instrumented selector crashes there.
#pragma once

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define MIRVO_VECTOR_LOOP
#elif defined(__GNUC__) && defined(__x86_64__) && defined(__linux__)
#define MIRVO_VECTOR_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define MIRVO_VECTOR_LOOP
#endif
