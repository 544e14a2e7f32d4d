#include "protocol/result_code.h"

#include <gtest/gtest.h>

#include <cstdint>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kalvenor {
namespace {

// clang-format off
const std::vector<std::pair<ResultCode, std::string>> fixedCodes = {
    { -1,    "Kein geöffneter Port." },
    { -2,    "Senden fehlgeschlagen." },
    { -10,   "Ungültige Anzahl Register (1..125)." },
    { -20,   "Antwort zu kurz / Timeout (FC03/04)." },
    { -21,   "CRC-Fehler (FC03/04)." },
    { -22,   "Unerwartete Länge (FC03/04)." },
    { -23,   "ByteCount passt nicht." },
    { -30,   "Antwort zu kurz / Timeout (FC06)." },
    { -31,   "CRC-Fehler (FC06)." },
    { -32,   "Unerwartete Länge (FC06)." },
    { -40,   "Ungültige Anzahl Register (1..123)." },
    { -41,   "Antwort zu kurz / Timeout (FC16)." },
    { -42,   "CRC-Fehler (FC16)." },
    { -43,   "Unerwartete Länge (FC16)." },
    { -52,   "RTU: Ungültiger Exceptioncode \u2013 Stream unsynchron." },
    { -1000, "TCP: Keine Verbindung offen." },
    { -1001, "TCP: Senden fehlgeschlagen." },
    { -1010, "TCP: Timeout / Antwort zu kurz." },
    { -1011, "TCP: ProtocolID ungleich 0." },
    { -1012, "TCP: MBAP-Länge unplausibel." },
    { -1013, "TCP: Verbindung abgebrochen." },
    { -1014, "TCP: Transaction-ID passt nicht (falsche/alte Antwort?)." },
    { -1015, "TCP: Ungültiger Exceptioncode \u2013 Stream unsynchron." },
    { -1016, "TCP: Unit/Slave-ID passt nicht." },
    { -1020, "TCP (FC03/04): ByteCount passt nicht." },
    { -1030, "TCP (FC06): Unerwartete Antwortlänge." },
    { -1040, "TCP (FC16): Unerwartete Antwortlänge." },
};
// clang-format on

TEST(ResultMessage, EveryFixedCodeHasItsOwnText)
{
    std::set<std::string> texts;
    for (const auto& [code, text] : fixedCodes) {
        EXPECT_EQ(resultMessage(code), text) << code;
        texts.insert(resultMessage(code));
    }
    EXPECT_EQ(texts.size(), fixedCodes.size()) << "two fixed codes share a text";
}

TEST(ResultMessage, NamedConstantsCarryTheirValues)
{
    // The names are what producers use; a swapped pair would show the wrong text.
    const std::vector<std::pair<ResultCode, ResultCode>> pairs = {
        {RC_NO_PORT, -1},
        {RC_SEND_FAILED, -2},
        {RC_BAD_READ_COUNT, -10},
        {RC_FC0304_SHORT, -20},
        {RC_FC0304_CRC, -21},
        {RC_FC0304_LENGTH, -22},
        {RC_FC0304_BYTE_COUNT, -23},
        {RC_FC06_SHORT, -30},
        {RC_FC06_CRC, -31},
        {RC_FC06_LENGTH, -32},
        {RC_BAD_WRITE_COUNT, -40},
        {RC_FC16_SHORT, -41},
        {RC_FC16_CRC, -42},
        {RC_FC16_LENGTH, -43},
        {RC_RTU_BAD_EXCEPTION, -52},
        {RC_TCP_NOT_CONNECTED, -1000},
        {RC_TCP_SEND_FAILED, -1001},
        {RC_TCP_TIMEOUT, -1010},
        {RC_TCP_PROTOCOL_ID, -1011},
        {RC_TCP_MBAP_LENGTH, -1012},
        {RC_TCP_CONNECTION_LOST, -1013},
        {RC_TCP_TRANSACTION_ID, -1014},
        {RC_TCP_BAD_EXCEPTION, -1015},
        {RC_TCP_UNIT_ID, -1016},
        {RC_TCP_FC0304_BYTE_COUNT, -1020},
        {RC_TCP_FC06_LENGTH, -1030},
        {RC_TCP_FC16_LENGTH, -1040},
        {RC_EXCEPTION_FC0304, -256},
        {RC_EXCEPTION_FC06, -512},
        {RC_EXCEPTION_FC16, -768},
    };
    for (const auto& [constant, value] : pairs)
        EXPECT_EQ(constant, value);
}

TEST(ResultMessage, ExceptionBandsAndTheirEdges)
{
    // clang-format off
    const std::vector<std::pair<ResultCode, std::string>> cases = {
        { -256,  "Modbus-Exception: EXC 0" },
        { -258,  "Modbus-Exception: ILLEGAL DATA ADDRESS (02)" },
        { -263,  "Modbus-Exception: EXC 7" },
        { -511,  "Modbus-Exception: EXC 255" },
        { -512,  "Modbus-Exception (FC06): EXC 0" },
        { -514,  "Modbus-Exception (FC06): ILLEGAL DATA ADDRESS (02)" },
        { -519,  "Modbus-Exception (FC06): EXC 7" },
        { -767,  "Modbus-Exception (FC06): EXC 255" },
        { -768,  "Modbus-Exception (FC16): EXC 0" },
        { -779,  "Modbus-Exception (FC16): GATEWAY TARGET FAILED (0B)" },
        { -1023, "Modbus-Exception (FC16): EXC 255" },
        // Gaps between the fixed codes inside the FC16 band still read as exceptions.
        { -1017, "Modbus-Exception (FC16): EXC 249" },
        { -999,  "Modbus-Exception (FC16): EXC 231" },
    };
    // clang-format on
    for (const auto& [code, text] : cases)
        EXPECT_EQ(resultMessage(code), text) << code;
}

TEST(ResultMessage, FixedCodesInsideTheFc16BandKeepTheirOwnText)
{
    EXPECT_EQ(resultMessage(-1010), "TCP: Timeout / Antwort zu kurz.");
    EXPECT_EQ(resultMessage(-1020), "TCP (FC03/04): ByteCount passt nicht.");
    EXPECT_EQ(resultMessage(-1000), "TCP: Keine Verbindung offen.");
}

TEST(ResultMessage, AnyOtherCodeShowsItsNumber)
{
    // clang-format off
    const std::vector<std::pair<ResultCode, std::string>> cases = {
        { -3,    "Fehler -3" },
        { -11,   "Fehler -11" },
        { -255,  "Fehler -255" },
        { -1024, "Fehler -1024" },
        { -1031, "Fehler -1031" },
        { 0,     "Fehler 0" },
        { 5,     "Fehler 5" },
        { INT64_MIN, "Fehler -9223372036854775808" },
        { INT64_MAX, "Fehler 9223372036854775807" },
    };
    // clang-format on
    for (const auto& [code, text] : cases)
        EXPECT_EQ(resultMessage(code), text) << code;
}

TEST(ExceptionText, NamedCodesAndTheFallback)
{
    // clang-format off
    const std::vector<std::pair<int, std::string>> cases = {
        { 1,  "ILLEGAL FUNCTION (01)" },
        { 2,  "ILLEGAL DATA ADDRESS (02)" },
        { 3,  "ILLEGAL DATA VALUE (03)" },
        { 4,  "SLAVE DEVICE FAILURE (04)" },
        { 5,  "ACKNOWLEDGE (05)" },
        { 6,  "SLAVE DEVICE BUSY (06)" },
        { 8,  "MEMORY PARITY ERROR (08)" },
        { 10, "GATEWAY PATH UNAVAILABLE (0A)" },
        { 11, "GATEWAY TARGET FAILED (0B)" },
        { 0,  "EXC 0" },
        { 7,  "EXC 7" },
        { 9,  "EXC 9" },
        { 12, "EXC 12" },
        { 255, "EXC 255" },
        { -1, "EXC -1" },
    };
    // clang-format on
    for (const auto& [code, text] : cases)
        EXPECT_EQ(exceptionText(code), text) << code;
}

} // namespace
} // namespace kalvenor
