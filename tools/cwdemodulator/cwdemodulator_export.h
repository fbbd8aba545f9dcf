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

// Marks a class nested in an exported one that stays hidden all the same: the private
// implementation behind a public class's d-pointer.
#if defined(_WIN32)
#define CWDEMODULATOR_NO_EXPORT
#else
#define CWDEMODULATOR_NO_EXPORT __attribute__((visibility("hidden")))
#endif
