// Raw registers of the Modbus analog panels: the scaling of an input register by
// any table and range code, and the R330's output register both ways. Byte 0 picks
// the table, byte 1 the range code, bytes 2..3 the register; the rest is a value
// for the output conversion.
#include "points/modbus_analog_data.h"
#include "points/output_values.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const auto table = static_cast<tavo::RawScaling>(data[0] % 6);
    const int code = data[1];
    const auto raw = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    const bool newK = (data[0] & 0x80) != 0;

    const std::string text = tavo::ModbusChannelText(table, code, raw, newK);
    if (const auto scale = tavo::FindRawScale(table, code, newK)) {
        // Seven characters, a sign first, and a number within the range.
        if (text.size() != 7 || (text[0] != '+' && text[0] != '-')) std::abort();
        const double v = std::strtod(text.c_str(), nullptr);
        const double step = std::pow(10.0, -scale->decimals);
        if (v < scale->min - step || v > scale->max + step) std::abort();
        // Ends of the register are the ends of the range.
        if (raw == 0 && std::fabs(v - scale->min) > step) std::abort();
        if (raw == 0xFFFF && std::fabs(v - scale->max) > step) std::abort();
    } else {
        // The register as it is: "0x" and four digits that give it back.
        if (text.size() != 6 || text.compare(0, 2, "0x") != 0) std::abort();
        if (std::strtoul(text.c_str() + 2, nullptr, 16) != raw) std::abort();
    }

    for (const int c : {0x30, 0x31, 0x32}) {
        const tavo::OutputChannelRange& range = *tavo::R330Range(c);
        if (const auto value = tavo::R330ValueFromRaw(range, raw)) {
            if (raw > tavo::kR330OutputSteps) std::abort();
            if (*value < range.min - 1e-9 || *value > range.max + 1e-9) std::abort();
            if (tavo::R330RawFromValue(range, *value) != raw) std::abort(); // round trip
        } else if (raw <= tavo::kR330OutputSteps) {
            std::abort();
        }
        if (size >= 4 + sizeof(double)) {
            double v = 0;
            std::memcpy(&v, data + 4, sizeof v);
            if (tavo::R330RawFromValue(range, v) > tavo::kR330OutputSteps) std::abort();
        }
    }
    return 0;
}
