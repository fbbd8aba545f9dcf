#pragma once

// Marks the library's public symbols; everything else stays hidden.
#if defined(_WIN32)
#if defined(MORSEHANDLER_BUILDING)
#define MORSEHANDLER_EXPORT __declspec(dllexport)
#else
#define MORSEHANDLER_EXPORT __declspec(dllimport)
#endif
#else
#define MORSEHANDLER_EXPORT __attribute__((visibility("default")))
#endif

// Internal helpers are exported only in builds with tests, which exercise them directly.
#if defined(MORSEHANDLER_BUILD_INTERNAL_TESTS)
#define MORSEHANDLER_TESTS_EXPORT MORSEHANDLER_EXPORT
#else
#define MORSEHANDLER_TESTS_EXPORT
#endif
