#pragma once

namespace cw {

/// What a key-down or key-up segment is in its character.
enum class SegmentKind : unsigned char
{
    Dot,
    Dash,
    ElementGap,   ///< between two elements of one character
    CharacterGap, ///< after the last element of a character (or longer silence)
};

} // namespace cw
