#pragma once

#include "host/observable.h"

#include <QString>

/// States of a value; observers hear of a change with CHANGE_STATE.
enum TValueState : int
{
    VALUE_STATE_NORMAL = 0,
    VALUE_STATE_GOING_AWAY = 1, ///< the value is about to be deleted: unregister and forget it
};

namespace values {

/// A named value of the tree. The value is its own Observable: observers compare the
/// subject of a notice with the values they hold.
class MORSEHOST_EXPORT ValueBase : public Observable
{
public:
    ValueBase();
    ~ValueBase() override;

    /// The last part of the value's path in the tree.
    QString GetName() const;
    /// Renames the value; sends nothing (the tree keeps the name it was inserted under).
    void SetName(const QString& name, IObserver* skip);

    TValueState GetState() const;
    /// Stores the state and sends CHANGE_STATE to every observer but @p skip.
    void SetState(TValueState state, IObserver* skip);

private:
    QString m_strName;
    TValueState m_eState = VALUE_STATE_NORMAL;
};

} // namespace values
