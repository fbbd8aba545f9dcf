#pragma once

#include "host/morsehost_export.h"

#include <memory>
#include <vector>

/// Change codes that a value sends to its observers.
enum TChangeCode : int
{
    CHANGE_STATE = 2,    ///< the value's state changed (read GetState)
    CHANGE_VALUE = 3,    ///< the value changed, or a repeat of it is announced
    CHANGE_LIMITS = 4,   ///< limits or attributes changed
    CHANGE_ITEMS = 7,    ///< a selection's items changed
    CHANGE_TRIGGER = 19, ///< a trigger without a new value
};

class Observable;

/// Receives the change notices of the values it registered with.
class MORSEHOST_EXPORT IObserver
{
public:
    virtual ~IObserver();
    /// Called for each notice; compare @p subject with the values held to find the sender.
    virtual void Update(Observable* subject, TChangeCode code) = 0;
};

/// Keeps a list of observers and tells them of changes. Observers may register, unregister
/// themselves or others, and even delete the subject from inside Update.
class MORSEHOST_EXPORT Observable
{
public:
    Observable();
    virtual ~Observable();
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    /// Registers @p o; registering the same observer twice keeps one registration.
    void AddObserver(IObserver* o);
    /// Unregisters @p o; safe from inside a notice, which then skips it.
    void DeleteObserver(IObserver* o);
    /// Sends @p code to every observer but @p skip.
    void HasChanged(TChangeCode code, IObserver* skip);

    /// How many observers are registered.
    int ObserverCount() const;

private:
    void compactObservers();

    std::vector<IObserver*> m_vecObservers; // null entries are removals made during a notice
    int m_nNotifyDepth = 0;
    bool m_bNeedsCompaction = false;
    std::shared_ptr<bool> m_pAlive; // false once destroyed, read by a running notice
};
