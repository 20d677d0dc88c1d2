// The Modbus panels read each block of coils or registers in one request and take
// it apart: all the range registers of an analog input module, the R330's ranges and
// its outputs scaled by them, and the R560SO's outputs with its error coils. From any
// answers they give only what is there: a range code per channel from its register,
// an R330 output only with a known range and within it, bits only of the points
// asked for. Byte 0 picks the block reader, byte 1 the channel count; the rest is
// the line's script.
#include "scripted_backend.h"

#include "panels/analog/modbus_analog_links.h"
#include "points/output_values.h"
#include "panels/digital/digital_links.h"

#include "devices/models_analog.h"
#include "devices/models_digital.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void AnalogRanges(tavo::TavoComPort& port, int channels) {
    tavo::TavoMR270P module(&port, "01");
    tavo::ModbusMultiInput link(module, 1);
    std::vector<int> codes;
    if (!link.ReadRanges(channels, codes)) return;
    Check(codes.size() == static_cast<std::size_t>(channels));
    for (int n = 0; n < channels; ++n) {
        const int code = codes[static_cast<std::size_t>(n)];
        Check(code >= 0 && code <= 0xFF && link.LastRange(n) == code);
    }
}

void R330Blocks(tavo::TavoComPort& port) {
    tavo::TavoMR330 module(&port, "01");
    tavo::R330ModbusLink link(module, 1);
    tavo::R330Link::Setups setups{};
    const bool setupsRead = link.ReadChannelSetups(setups);
    for (int n = 0; n < tavo::R330Link::kChannels; ++n) {
        const auto& s = setups[static_cast<std::size_t>(n)];
        if (!s) {
            Check(!setupsRead);
            continue;
        }
        Check(s->rangeCode == link.RangeCode(n));
        Check(s->rangeCode == -1 || tavo::R330Range(s->rangeCode));
        if (setupsRead) Check(s->rangeCode >= 0);
    }
    tavo::R330Link::Outputs values{};
    const bool outputsRead = link.ReadOutputs(values);
    for (int n = 0; n < tavo::R330Link::kChannels; ++n) {
        const auto& v = values[static_cast<std::size_t>(n)];
        if (!v) {
            Check(!outputsRead);
            continue;
        }
        const tavo::OutputChannelRange* range = tavo::R330Range(link.RangeCode(n));
        Check(range && *v >= range->min && *v <= range->max && link.LastRaw(n));
    }
}

void OutputsWithFaults(tavo::TavoComPort& port) {
    tavo::TavoMR550 module(&port, "01");
    const auto link = tavo::MakeModbusDigitalLink("R560SO", module, "01");
    tavo::DioReading reading;
    if (!link->Poll(1, true, reading)) return;
    Check(reading.asked == tavo::DioReading::kOutputs && !reading.inputs);
    Check(reading.outputs && *reading.outputs < (1u << 12) && reading.outputDigits.size() == 4);
    Check(reading.faults && *reading.faults < (1u << 3));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The script never waits: no pauses around its requests either.
    tavo::TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    tavo::TavoComPort port("fuzz", std::make_unique<tavo::fuzz::ScriptedBackend>(data + 2, size - 2));
    if (!port.OpenPort()) return 0;
    port.SetTimeOut(1);
    switch (data[0] % 3) {
    case 0: AnalogRanges(port, data[1] % 8 + 1); break;
    case 1: R330Blocks(port); break;
    default: OutputsWithFaults(port); break;
    }
    return 0;
}
