#pragma once

#include <deque>
#include <utility>

namespace dsp {

/// Moves the oldest item of @p items into @p item: the Take() of every block that queues what
/// it decided until its caller asks for it. False, and @p item untouched, when none is waiting.
template <typename T> bool takeFront(std::deque<T>& items, T& item)
{
    if (items.empty())
        return false;
    item = std::move(items.front());
    items.pop_front();
    return true;
}

} // namespace dsp
