#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>

// The memory all decodes of the process may hold at once, and each decode's share of it.
namespace picture {

// Everything the decodes in flight may allocate together, file bytes and decoders' buffers
// included; also the most one decode may ever cost.
constexpr qint64 kDecodeBudgetBytes = qint64(1) << 30;

// A ledger of bytes. Decodes that do not fit wait for each other, so that two large pictures are
// never decoded at once; a decode waits only while it holds nothing, so that what the ledger says
// is free really is.
class Budget
{
public:
    explicit Budget(qint64 total) : m_total(total) {}
    Budget(const Budget &) = delete;
    Budget &operator=(const Budget &) = delete;

    // The one ledger every decode of the process shares.
    static Budget &Process();

    qint64 Total() const { return m_total; }
    qint64 InUse() const;

private:
    friend class Reservation;
    const qint64 m_total;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    qint64 m_inUse = 0;
};

// One decode's share. What it holds goes back when it is destroyed.
class Reservation
{
public:
    explicit Reservation(Budget &budget = Budget::Process()) : m_budget(budget) {}
    ~Reservation() { release(); }
    Reservation(const Reservation &) = delete;
    Reservation &operator=(const Reservation &) = delete;

    // Holds at least `total` bytes when that fits now, and never waits. False when it does not:
    // Busy() then says that it would fit once other decodes have finished (the caller frees what
    // it allocated and calls WaitFor), otherwise it never can.
    bool hold(qint64 total);
    bool Busy() const { return m_busy; }
    // What the last refused hold asked for.
    qint64 Wanted() const { return m_wanted; }

    // Gives back what is held, waits until `total` fits and holds it. Only for a decode that has
    // nothing allocated under this reservation: waiting while holding memory the ledger no longer
    // counts would let the process pass its budget, and holding it in the ledger while waiting
    // could block two waiting decodes on each other.
    void WaitFor(qint64 total);

    qint64 Held() const { return m_held; }

private:
    void release();

    Budget &m_budget;
    qint64 m_held = 0;
    qint64 m_wanted = 0;
    bool m_busy = false;
};

} // namespace picture
