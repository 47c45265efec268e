#include "picture/Budget.h"

#include <algorithm>

namespace picture {

Budget &Budget::Process()
{
    static Budget budget(kDecodeBudgetBytes);
    return budget;
}

qint64 Budget::InUse() const
{
    const std::lock_guard lock(m_mutex);
    return m_inUse;
}

bool Reservation::hold(qint64 total)
{
    m_busy = false;
    if (total <= m_held)
        return true;
    m_wanted = total;
    if (total > m_budget.m_total)
        return false;
    const std::lock_guard lock(m_budget.m_mutex);
    if (m_budget.m_inUse - m_held + total > m_budget.m_total) {
        m_busy = true;
        return false;
    }
    m_budget.m_inUse += total - m_held;
    m_held = total;
    return true;
}

void Reservation::WaitFor(qint64 total)
{
    total = std::min(total, m_budget.m_total);
    std::unique_lock lock(m_budget.m_mutex);
    m_budget.m_inUse -= m_held;
    m_held = 0;
    m_budget.m_changed.notify_all();
    m_budget.m_changed.wait(lock, [&] { return m_budget.m_inUse + total <= m_budget.m_total; });
    m_budget.m_inUse += total;
    m_held = total;
    m_busy = false;
}

void Reservation::release()
{
    if (m_held == 0)
        return;
    const std::lock_guard lock(m_budget.m_mutex);
    m_budget.m_inUse -= m_held;
    m_held = 0;
    m_budget.m_changed.notify_all();
}

} // namespace picture
