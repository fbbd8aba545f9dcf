// Hosts are compiled against the published slot order of IAlphabetHandler; reordering its
// operations would make their calls land in the wrong function without any compile error.

#include "tools/morsehandler/simplemorsehandler.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

/// The vtable slot a pointer to a virtual member function names (Itanium C++ ABI: the pointer
/// field holds 1 + the slot's byte offset).
template <class Member> long slotOf(Member member)
{
    static_assert(sizeof(Member) == 2 * sizeof(std::ptrdiff_t), "Itanium member pointer");
    std::ptrdiff_t raw[2];
    std::memcpy(raw, &member, sizeof raw);
    if ((raw[0] & 1) == 0)
        return -1; // not virtual
    return long((raw[0] - 1) / std::ptrdiff_t(sizeof(void*)));
}

template <class Handler> std::vector<long> slotsOf()
{
    return {slotOf(&Handler::SetAlphabetsDir),    slotOf(&Handler::SetAlphabet),
            slotOf(&Handler::SetDecoder),         slotOf(&Handler::Alphabet),
            slotOf(&Handler::AvailableAlphabets), slotOf(&Handler::TextDirectionRTL),
            slotOf(&Handler::ResetInternalState), slotOf(&Handler::Translate),
            slotOf(&Handler::Backtranslate)};
}

} // namespace

TEST(AlphabetHandlerInterface, OperationsFollowTheDestructorInThePublishedOrder)
{
#if defined(__GNUC__) && !defined(_WIN32)
    // Slots 0 and 1 hold the destructor (the ABI's complete and deleting variants).
    const std::vector<long> published{2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(slotsOf<IAlphabetHandler>(), published);
    EXPECT_EQ(slotsOf<SimpleMorseHandler>(), published)
        << "the handler overrides, adds none before";
#else
    GTEST_SKIP() << "slot numbers are read in the Itanium C++ ABI only";
#endif
}
