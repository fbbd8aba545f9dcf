#include "tools/morsehandler/valuebindings.h"

namespace morse {

ValueBindings::ValueBindings(IObserver* pObserver, std::vector<BoundValueSlot*> roles)
    : m_pObserver(pObserver), m_vecRoles(std::move(roles))
{
}

values::ValueBase* ValueBindings::bind(BoundValueSlot& role, values::ValueBase* pValue)
{
    values::ValueBase* pLeft = leave(role);
    role.m_pValue = pValue;
    if (pValue)
        pValue->AddObserver(m_pObserver);
    return pLeft == pValue ? nullptr : pLeft;
}

values::ValueBase* ValueBindings::leave(BoundValueSlot& role)
{
    values::ValueBase* pOld = role.m_pValue;
    role.m_pValue = nullptr;
    if (!pOld || roleCount(pOld) > 0)
        return nullptr;
    pOld->DeleteObserver(m_pObserver);
    return pOld;
}

int ValueBindings::roleCount(const Observable* pValue) const
{
    int nCount = 0;
    for (const BoundValueSlot* pRole : m_vecRoles)
        nCount += pValue && static_cast<const Observable*>(pRole->m_pValue) == pValue;
    return nCount;
}

values::ValueBase* ValueBindings::find(const Observable* pSubject) const
{
    for (const BoundValueSlot* pRole : m_vecRoles) {
        if (pSubject && static_cast<const Observable*>(pRole->m_pValue) == pSubject)
            return pRole->m_pValue;
    }
    return nullptr;
}

bool ValueBindings::forgetIfGoingAway(const Observable* pSubject)
{
    values::ValueBase* pValue = find(pSubject);
    if (!pValue || pValue->GetState() != VALUE_STATE_GOING_AWAY)
        return false;
    pValue->DeleteObserver(m_pObserver);
    for (BoundValueSlot* pRole : m_vecRoles) {
        if (pRole->m_pValue == pValue)
            pRole->m_pValue = nullptr;
    }
    return true;
}

void ValueBindings::leaveAll()
{
    for (BoundValueSlot* pRole : m_vecRoles)
        leave(*pRole);
}

} // namespace morse
