#include "commands/operator_view.h"

#include <cstdio>

namespace kalvenor {

std::string hexBytes(const std::uint8_t* bytes, std::size_t count)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string logLine(int hour, int minute, int second, const std::string& text)
{
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d] ", hour, minute, second);
    return stamp + text;
}

void OperatorView::logDump(const std::string& label, const std::uint8_t* bytes, std::size_t count)
{
    appendLog(label + " (" + std::to_string(count) + " B): " + hexBytes(bytes, count));
}

} // namespace kalvenor
