#pragma once

#include <cstdint>
#include <random>
#include <vector>

// Uniform numbers in [0, 1). The program seeds one generator from the clock at startup; tests
// feed fixed sequences through FixedRandom.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual double Next() = 0;
};

class ClockSeededRandom : public RandomSource
{
public:
    ClockSeededRandom();
    explicit ClockSeededRandom(uint64_t seed) : m_engine(seed) {}
    double Next() override;

private:
    std::mt19937_64 m_engine;
};

// Replays the given values in turn, starting over at the end.
class FixedRandom : public RandomSource
{
public:
    explicit FixedRandom(std::vector<double> values) : m_values(std::move(values)) {}
    double Next() override;
    int calls() const { return m_calls; }

private:
    std::vector<double> m_values;
    size_t m_next = 0;
    int m_calls = 0;
};
