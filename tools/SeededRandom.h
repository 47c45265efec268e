#pragma once

#include <QtGlobal>

// Small xorshift generator: the sample pictures must come out byte-identical on every run and
// every machine, which std::uniform_*_distribution does not promise.
class SeededRandom
{
public:
    explicit SeededRandom(quint64 seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}

    quint64 next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }

    // In [0, 1).
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double low, double high) { return low + (high - low) * uniform(); }
    int below(int bound) { return int(next() % quint64(bound)); }

private:
    quint64 m_state;
};
