#include "digital_rules.h"

#include "devices/hex_codes.h"

namespace tavo {
namespace {

using L = DioStateLayout;

constexpr DigitalIoModel kModels[] = {
    // model, inputs, outputs, state layout, long write, Modbus, its input and output
    // coils, over-current, universal
    {"R510", 7, 8, L::OutputsInputs, false, false, 0, 0, false, false},
    {"R520", 16, 0, L::Inputs16, false, true, 16, 0, false, false},
    {"R530", 8, 0, L::InputsOnly, false, false, 0, 0, false, false},
    {"R540", 16, 0, L::Inputs16, false, false, 0, 0, false, false},
    {"R550", 8, 8, L::OutputsInputs, false, true, 8, 8, false, false},
    {"R560S", 0, 12, L::Outputs12, true, true, 0, 12, false, false},
    {"R560SO", 0, 12, L::Outputs12, true, true, 0, 12, true, false},
    // The R610's four outputs come in the output byte of an eight-output module.
    {"R610", 0, 4, L::OutputsInputs, false, false, 0, 0, false, false},
    {"R620", 0, 8, L::OutputsInputs, false, true, 0, 8, false, false},
    {"R630", 0, 8, L::OutputsInputs, false, true, 0, 8, false, false},
    {"R850", 7, 8, L::OutputsInputs, false, true, 8, 8, false, true},
    {"R860", 0, 8, L::OutputsInputs, false, true, 0, 8, false, true},
};

} // namespace

const DigitalIoModel* FindDigitalIoModel(std::string_view model) {
    for (const DigitalIoModel& row : kModels)
        if (row.model == model) return &row;
    return nullptr;
}

unsigned DioGroups(DioStateLayout layout) {
    switch (layout) {
    case L::OutputsInputs:
        return DioReading::kOutputs | DioReading::kInputs;
    case L::Outputs12:
        return DioReading::kOutputs;
    case L::InputsOnly:
    case L::Inputs16:
        return DioReading::kInputs;
    }
    return 0;
}

bool DecodeDioState(DioStateLayout layout, std::string_view data, DioReading& out) {
    if (!IsHexField(data, 4)) return false;
    DioReading reading;
    reading.asked = DioGroups(layout);
    // The over-current groups come from a read of their own, made before this one.
    reading.faults = out.faults;
    const std::string high(data.substr(0, 2)), low(data.substr(2, 2));
    switch (layout) {
    case L::OutputsInputs:
        reading.outputDigits = high;
        reading.inputDigits = low;
        reading.outputs = HexValue(high);
        reading.inputs = HexValue(low);
        break;
    case L::InputsOnly:
        reading.inputDigits = high;
        reading.inputs = HexValue(high);
        break;
    case L::Inputs16:
        reading.inputDigits = std::string(data);
        reading.inputs = HexValue(data);
        break;
    case L::Outputs12:
        reading.outputDigits = std::string(data);
        reading.outputs = *HexValue(low) | (*HexValue(high) & 0x0F) << 8;
        break;
    }
    out = std::move(reading);
    return true;
}

std::optional<InputFunction> InputFunctionOf(unsigned modeByte) {
    const unsigned mode = modeByte & 0x0F;
    if (mode > 4) return std::nullopt;
    return static_cast<InputFunction>(mode);
}

std::optional<std::uint32_t> CountFromDigits(std::string_view digits) {
    if (!IsHexField(digits, 8)) return std::nullopt;
    return HexValue(digits);
}

bool CounterMeasuresFrequency(std::string_view typeCode) {
    return typeCode == "51";
}

std::optional<CounterAlarmState> ParseCounterAlarmState(std::string_view status,
                                                        std::string_view outputs) {
    // The outputs are written as a decimal number of two digits: 00 to 03.
    if (status.size() != 1 || !IsHexText(status) || outputs.size() != 2 || outputs[0] != '0' ||
        outputs[1] < '0' || outputs[1] > '3')
        return std::nullopt;
    return CounterAlarmState{*HexValue(status), static_cast<unsigned>(outputs[1] - '0')};
}

bool OutputFollowsAlarm(bool display, unsigned status, int n) {
    if (display) return status > 0;
    return n >= 0 && n < 2 && ((status >> n) & 1);
}

} // namespace tavo
