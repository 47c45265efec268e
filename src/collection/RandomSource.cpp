#include "collection/RandomSource.h"

#include <chrono>
#include <cmath>

ClockSeededRandom::ClockSeededRandom()
    : m_engine(uint64_t(std::chrono::system_clock::now().time_since_epoch().count()))
{
}

double ClockSeededRandom::Next()
{
    // generate_canonical may return exactly 1 on some library versions; the range is [0, 1).
    const double v = std::generate_canonical<double, 53>(m_engine);
    return v < 1.0 ? v : std::nextafter(1.0, 0.0);
}

double FixedRandom::Next()
{
    ++m_calls;
    if (m_values.empty())
        return 0.0;
    const double v = m_values[m_next];
    m_next = (m_next + 1) % m_values.size();
    return v;
}
