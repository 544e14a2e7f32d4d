#pragma once

#include <cstdint>

namespace kalvenor {

// Monotonic milliseconds since an arbitrary start; never goes backwards.
std::int64_t monotonicMs();

// Sleeps at least ms milliseconds (1 ms granularity); ms <= 0 returns at once.
void sleepMs(std::int64_t ms);

// A point in time that every wait loop of one operation counts down to.
class Deadline
{
public:
    explicit Deadline(std::int64_t timeoutMs)
        : m_end(monotonicMs() + timeoutMs)
    {
    }
    // Milliseconds left, never negative.
    std::int64_t leftMs() const;
    bool expired() const { return leftMs() == 0; }

private:
    std::int64_t m_end;
};

} // namespace kalvenor
