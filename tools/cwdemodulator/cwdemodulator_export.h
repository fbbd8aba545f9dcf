#pragma once

// Marks the CW library's public symbols; everything else stays hidden.
#if defined(_WIN32)
#if defined(CWDEMODULATOR_BUILDING)
#define CWDEMODULATOR_EXPORT __declspec(dllexport)
#else
#define CWDEMODULATOR_EXPORT __declspec(dllimport)
#endif
#else
#define CWDEMODULATOR_EXPORT __attribute__((visibility("default")))
#endif
