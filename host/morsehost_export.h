#pragma once

// Marks the host layer's public symbols; everything else in the library stays hidden.
#if defined(_WIN32)
#if defined(MORSEHOST_BUILDING)
#define MORSEHOST_EXPORT __declspec(dllexport)
#else
#define MORSEHOST_EXPORT __declspec(dllimport)
#endif
#else
#define MORSEHOST_EXPORT __attribute__((visibility("default")))
#endif
