#pragma once

#include "host/observable.h"

#include <utility>
#include <vector>

/// Records every notice it receives as a (subject, code) pair: the one way tests watch notices.
class RecordingObserver : public IObserver
{
public:
    void Update(Observable* subject, TChangeCode code) override
    {
        notices.emplace_back(subject, code);
    }

    int count(Observable* subject, TChangeCode code) const
    {
        int n = 0;
        for (const auto& notice : notices)
            n += notice.first == subject && notice.second == code;
        return n;
    }
    void clear() { notices.clear(); }

    std::vector<std::pair<Observable*, TChangeCode>> notices;
};
