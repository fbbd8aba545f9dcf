#include "host/valuebase.h"

namespace values {

ValueBase::ValueBase() = default;
ValueBase::~ValueBase() = default;

QString ValueBase::GetName() const
{
    return m_strName;
}

void ValueBase::SetName(const QString& name, IObserver* /*skip*/)
{
    m_strName = name;
}

TValueState ValueBase::GetState() const
{
    return m_eState;
}

void ValueBase::SetState(TValueState state, IObserver* skip)
{
    m_eState = state;
    HasChanged(CHANGE_STATE, skip);
}

} // namespace values
