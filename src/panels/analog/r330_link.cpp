#include "r330_link.h"

#include "devices/hex_codes.h"
#include "devices/models_analog.h"

namespace tavo {

bool R330AsciiLink::ReadOutput(int n, double& value) {
    std::string text;
    if (!module_.ReadChannelOutput(n, text)) return false;
    const auto v = OutputReplyNumber(text, OutputFormat::Engineering);
    if (!v) return false;
    value = *v;
    return true;
}

bool R330AsciiLink::ReadOutputs(Outputs& values) {
    for (int n = 0; n < kChannels; ++n) {
        double value = 0.0;
        if (!ReadOutput(n, value)) return false;
        values[static_cast<std::size_t>(n)] = value;
    }
    return true;
}

bool R330AsciiLink::WriteOutput(int n, double value, const OutputChannelRange&) {
    return module_.WriteChannel(n, SignedValueField(value));
}

bool R330AsciiLink::ReadInputs(unsigned& bits) {
    std::string text;
    if (!module_.ReadDI(text) || text.size() != 2) return false;
    const auto value = HexValue(text);
    if (!value) return false;
    bits = *value;
    return true;
}

bool R330AsciiLink::ReadChannelSetup(int n, R330ChannelSetup& out) {
    std::string range, startup, emergency, input;
    if (!module_.ReadChannelRange(n, range) || !module_.ReadStartupValue(n, startup) ||
        !module_.ReadEmergencyValue(n, emergency) || !module_.ReadEmergencyInput(n, input))
        return false;
    const auto code = range.size() == 2 ? HexValue(range) : std::nullopt;
    if (!code || !R330Range(static_cast<int>(*code)) || !PlainDecimalValue(startup) ||
        !PlainDecimalValue(emergency) || (input != "0" && input != "1"))
        return false;
    out.rangeCode = static_cast<int>(*code);
    out.startup = startup;
    out.emergency = emergency;
    out.emergencyInput = input == "1";
    return true;
}

bool R330AsciiLink::ReadChannelSetups(Setups& out) {
    for (int n = 0; n < kChannels; ++n) {
        R330ChannelSetup setup;
        if (!ReadChannelSetup(n, setup)) return false;
        out[static_cast<std::size_t>(n)] = setup;
    }
    return true;
}

bool R330AsciiLink::WriteRange(int n, int code) {
    return module_.SetChannelRange(n, code);
}

bool R330AsciiLink::WriteStartup(int n, double value) {
    return module_.SetStartupValue(n, SignedValueField(value));
}

bool R330AsciiLink::WriteEmergency(int n, double value) {
    return module_.SetEmergencyValue(n, SignedValueField(value));
}

bool R330AsciiLink::WriteEmergencyInput(int n, bool enabled) {
    return module_.SetEmergencyInput(n, enabled);
}

} // namespace tavo
