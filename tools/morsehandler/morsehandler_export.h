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

// Marks a class nested in an exported one that stays hidden all the same: the private
// implementation behind a public class's d-pointer.
#if defined(_WIN32)
#define MORSEHANDLER_NO_EXPORT
#else
#define MORSEHANDLER_NO_EXPORT __attribute__((visibility("hidden")))
#endif
