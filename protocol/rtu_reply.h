#pragma once

#include "protocol/result_code.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalvenor {

// The judging half of the RTU transactions: `collected` is what serialExchange returned (the
// number of bytes at the start of reply, or its own negative code). Only those bytes are read.
// The checks run in a fixed order per function, and that order decides which code a malformed
// reply yields.

// FC03/FC04 reply for `quantity` (1..125) registers: the quantity, with values resized to it and
// filled big-endian; otherwise -20, -21, -23, -52 or -256 - e. values is untouched on failure.
[[nodiscard]] ResultCode rtuCheckReadReply(const std::uint8_t* reply, std::int64_t collected,
    std::uint16_t quantity, std::vector<std::uint16_t>& values);
// FC06 reply: 1, or -30, -31, -32 or -512 - e (any exception byte e).
[[nodiscard]] ResultCode rtuCheckWriteSingleReply(
    const std::uint8_t* reply, std::int64_t collected);
// FC16 reply: quantity, or -41, -42, -43, -52 or -768 - e.
[[nodiscard]] ResultCode rtuCheckWriteMultipleReply(
    const std::uint8_t* reply, std::int64_t collected, std::size_t quantity);

} // namespace kalvenor
