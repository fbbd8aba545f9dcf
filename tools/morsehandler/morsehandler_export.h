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
