#pragma once

// Marks the FSK library's public symbols; everything else stays hidden.
#if defined(_WIN32)
#if defined(FSKDEMODULATOR_BUILDING)
#define FSKDEMODULATOR_EXPORT __declspec(dllexport)
#else
#define FSKDEMODULATOR_EXPORT __declspec(dllimport)
#endif
#else
#define FSKDEMODULATOR_EXPORT __attribute__((visibility("default")))
#endif
