#include "link/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kalvenor {

std::int64_t monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void sleepMs(std::int64_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t Deadline::leftMs() const
{
    return std::max<std::int64_t>(0, m_end - monotonicMs());
}

} // namespace kalvenor
