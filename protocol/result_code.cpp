#include "protocol/result_code.h"

#include <array>
#include <string_view>
#include <utility>

namespace kalvenor {

namespace {

struct FixedMessage
{
    ResultCode code;
    std::string_view text;
};

// clang-format off
constexpr std::array<FixedMessage, 27> fixedMessages { {
    { RC_NO_PORT,               "Kein geöffneter Port." },
    { RC_SEND_FAILED,           "Senden fehlgeschlagen." },
    { RC_BAD_READ_COUNT,        "Ungültige Anzahl Register (1..125)." },
    { RC_FC0304_SHORT,          "Antwort zu kurz / Timeout (FC03/04)." },
    { RC_FC0304_CRC,            "CRC-Fehler (FC03/04)." },
    { RC_FC0304_LENGTH,         "Unerwartete Länge (FC03/04)." },
    { RC_FC0304_BYTE_COUNT,     "ByteCount passt nicht." },
    { RC_FC06_SHORT,            "Antwort zu kurz / Timeout (FC06)." },
    { RC_FC06_CRC,              "CRC-Fehler (FC06)." },
    { RC_FC06_LENGTH,           "Unerwartete Länge (FC06)." },
    { RC_BAD_WRITE_COUNT,       "Ungültige Anzahl Register (1..123)." },
    { RC_FC16_SHORT,            "Antwort zu kurz / Timeout (FC16)." },
    { RC_FC16_CRC,              "CRC-Fehler (FC16)." },
    { RC_FC16_LENGTH,           "Unerwartete Länge (FC16)." },
    { RC_RTU_BAD_EXCEPTION,     "RTU: Ungültiger Exceptioncode – Stream unsynchron." },
    { RC_TCP_NOT_CONNECTED,     "TCP: Keine Verbindung offen." },
    { RC_TCP_SEND_FAILED,       "TCP: Senden fehlgeschlagen." },
    { RC_TCP_TIMEOUT,           "TCP: Timeout / Antwort zu kurz." },
    { RC_TCP_PROTOCOL_ID,       "TCP: ProtocolID ungleich 0." },
    { RC_TCP_MBAP_LENGTH,       "TCP: MBAP-Länge unplausibel." },
    { RC_TCP_CONNECTION_LOST,   "TCP: Verbindung abgebrochen." },
    { RC_TCP_TRANSACTION_ID,    "TCP: Transaction-ID passt nicht (falsche/alte Antwort?)." },
    { RC_TCP_BAD_EXCEPTION,     "TCP: Ungültiger Exceptioncode – Stream unsynchron." },
    { RC_TCP_UNIT_ID,           "TCP: Unit/Slave-ID passt nicht." },
    { RC_TCP_FC0304_BYTE_COUNT, "TCP (FC03/04): ByteCount passt nicht." },
    { RC_TCP_FC06_LENGTH,       "TCP (FC06): Unerwartete Antwortlänge." },
    { RC_TCP_FC16_LENGTH,       "TCP (FC16): Unerwartete Antwortlänge." },
} };

constexpr std::array<std::pair<int, std::string_view>, 9> exceptionNames { {
    { 1,  "ILLEGAL FUNCTION (01)" },
    { 2,  "ILLEGAL DATA ADDRESS (02)" },
    { 3,  "ILLEGAL DATA VALUE (03)" },
    { 4,  "SLAVE DEVICE FAILURE (04)" },
    { 5,  "ACKNOWLEDGE (05)" },
    { 6,  "SLAVE DEVICE BUSY (06)" },
    { 8,  "MEMORY PARITY ERROR (08)" },
    { 10, "GATEWAY PATH UNAVAILABLE (0A)" },
    { 11, "GATEWAY TARGET FAILED (0B)" },
} };
// clang-format on

// Each band is 256 codes wide, one for every possible exception byte.
struct Band
{
    ResultCode base;
    std::string_view prefix;
};
constexpr std::array<Band, 3> bands {{
    {RC_EXCEPTION_FC0304, "Modbus-Exception: "},
    {RC_EXCEPTION_FC06, "Modbus-Exception (FC06): "},
    {RC_EXCEPTION_FC16, "Modbus-Exception (FC16): "},
}};

} // namespace

std::string resultMessage(ResultCode code)
{
    // The fixed codes -1000 .. -1020 lie inside the FC16 band, so they are looked up first.
    for (const auto& fixed : fixedMessages) {
        if (fixed.code == code)
            return std::string(fixed.text);
    }
    for (const auto& band : bands) {
        if (code <= band.base && code > band.base - 256)
            return std::string(band.prefix) + exceptionText(static_cast<int>(band.base - code));
    }
    return "Fehler " + std::to_string(code);
}

std::string exceptionText(int exceptionCode)
{
    for (const auto& [number, name] : exceptionNames) {
        if (number == exceptionCode)
            return std::string(name);
    }
    return "EXC " + std::to_string(exceptionCode);
}

} // namespace kalvenor
