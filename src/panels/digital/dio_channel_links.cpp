#include "dio_channel_links.h"

#include "panels/common/modbus_panel.h"

#include "devices/hex_codes.h"
#include "devices/modbus_slave.h"
#include "devices/models_digital.h"
#include "points/digital_rules.h"

#include <vector>

namespace tavo {
namespace {

bool Hex(const std::string& text, std::uint32_t& value) {
    const auto v = HexValue(text);
    if (!v) return false;
    value = *v;
    return true;
}

class AsciiChannelLink : public DioChannelLink {
public:
    explicit AsciiChannelLink(TavoMR850& device) : d_(device) {}

    bool ReadInputMode(int c, unsigned& mode) override {
        std::string text;
        std::uint32_t v = 0;
        if (!d_.ReadInputMode(c, text) || !Hex(text, v)) return false;
        mode = v;
        return true;
    }
    bool SetInputMode(int c, unsigned mode) override { return d_.SetInputMode(c, mode); }

    bool ReadInputWidths(int c, std::uint32_t& low, std::uint32_t& high) override {
        std::string lo, hi;
        std::uint32_t l = 0, h = 0;
        if (!d_.ReadInputWidths(c, lo, hi) || !Hex(lo, l) || !Hex(hi, h)) return false;
        low = l;
        high = h;
        return true;
    }
    bool SetInputWidths(int c, std::uint32_t low, std::uint32_t high) override {
        return d_.SetInputWidths(c, low, high);
    }

    bool ReadCounter(int c, std::uint32_t& value) override {
        std::string text;
        const auto v = d_.ReadCounter(c, text) ? CountFromDigits(text) : std::nullopt;
        if (!v) return false;
        value = *v;
        return true;
    }
    bool ReadCounting(int c, bool& counting) override {
        std::string text;
        if (!d_.ReadCounting(c, text)) return false;
        counting = text == "1";
        return true;
    }
    bool SetCounting(int c, bool counting) override {
        return counting ? d_.StartCounting(c) : d_.StopCounting(c);
    }
    // "Counter Clear" sends "@AACAC" + c and "Clear Latch" "$AA6" + c; the module
    // clears both the count and the latch with either.
    bool ClearCounter(int c) override { return d_.ClearLatch(c); }
    bool ClearLatch(int c) override { return d_.ClearCounter(c); }

    bool ReadOutputMode(int c, unsigned& mode) override {
        std::string text;
        std::uint32_t v = 0;
        if (!d_.ReadOutputMode(c, text) || !Hex(text, v)) return false;
        mode = v;
        return true;
    }
    bool SetOutputMode(int c, unsigned mode) override { return d_.SetOutputMode(c, mode); }

    bool ReadTimings(int c, Timings& timings) override {
        std::array<std::string, 4> text;
        Timings t{};
        if (!d_.ReadPulseWidths(c, text[0], text[1], text[2], text[3])) return false;
        for (std::size_t i = 0; i < 4; ++i)
            if (!Hex(text[i], t[i])) return false;
        timings = t;
        return true;
    }
    bool SetTimings(int c, const Timings& t) override {
        return d_.SetPulseWidths(c, t[0], t[1], t[2], t[3]);
    }

    bool SetPulseCount(int c, std::uint32_t count) override {
        return c >= 0 && d_.SetPulseCount(static_cast<unsigned>(c), count);
    }
    bool ReadPulseCount(int c, bool& running, std::uint32_t& remaining) override {
        std::string state, count;
        std::uint32_t n = 0;
        if (c < 0 || !d_.ReadPulseCount(static_cast<unsigned>(c), state, count) ||
            !Hex(count, n) || state.size() != 1 || state[0] < '0' || state[0] > '9')
            return false;
        running = state != "0";
        remaining = n;
        return true;
    }

private:
    TavoMR850& d_;
};

// One-based numbers of the channel map.
using namespace universal;

std::vector<std::uint16_t> Words(std::initializer_list<std::uint32_t> values) {
    std::vector<std::uint16_t> words;
    for (const std::uint32_t v : values) {
        words.push_back(static_cast<std::uint16_t>(v >> 16));
        words.push_back(static_cast<std::uint16_t>(v & 0xFFFF));
    }
    return words;
}

std::uint32_t Long(const std::vector<std::uint16_t>& words, std::size_t i) {
    return std::uint32_t{words[2 * i]} << 16 | words[2 * i + 1];
}

class ModbusChannelLink : public DioChannelLink {
public:
    ModbusChannelLink(TavoMR850& device, const std::string& address)
        : s_(device.GetModbus(), ModbusSlaveId(address)) {}

    bool ReadInputMode(int c, unsigned& mode) override { return ReadByte(kInputModes + c, mode); }
    bool SetInputMode(int c, unsigned mode) override {
        return mode <= 0xFF && s_.WriteRegister(kInputModes + c, static_cast<std::uint16_t>(mode));
    }

    bool ReadInputWidths(int c, std::uint32_t& low, std::uint32_t& high) override {
        std::vector<std::uint16_t> w;
        if (!s_.ReadRegisters(kFilterWidths + 4 * c, 4, w)) return false;
        low = Long(w, 0);
        high = Long(w, 1);
        return true;
    }
    bool SetInputWidths(int c, std::uint32_t low, std::uint32_t high) override {
        return s_.WriteRegisters(kFilterWidths + 4 * c, Words({low, high}));
    }

    bool ReadCounter(int c, std::uint32_t& value) override { return s_.ReadLong(kValues + 2 * c, value); }
    bool ReadCounting(int c, bool& counting) override {
        std::uint32_t bits = 0;
        if (!s_.ReadCoils(kCountingCoils + c, 1, bits)) return false;
        counting = bits & 1;
        return true;
    }
    bool SetCounting(int c, bool counting) override { return s_.WriteCoil(kCountingCoils + c, counting); }
    bool ClearCounter(int c) override { return s_.WriteCoil(kLatchCoils + c, false); }
    bool ClearLatch(int c) override { return s_.WriteCoil(kLatchCoils + c, false); }

    bool ReadOutputMode(int c, unsigned& mode) override { return ReadByte(kOutputModes + c, mode); }
    bool SetOutputMode(int c, unsigned mode) override {
        return mode <= 0xFF && s_.WriteRegister(kOutputModes + c, static_cast<std::uint16_t>(mode));
    }

    bool ReadTimings(int c, Timings& timings) override {
        std::vector<std::uint16_t> w;
        if (!s_.ReadRegisters(kTimings + 8 * c, 8, w)) return false;
        for (std::size_t i = 0; i < 4; ++i) timings[i] = Long(w, i);
        return true;
    }
    bool SetTimings(int c, const Timings& t) override {
        return s_.WriteRegisters(kTimings + 8 * c, Words({t[0], t[1], t[2], t[3]}));
    }

    bool SetPulseCount(int c, std::uint32_t count) override {
        return s_.WriteRegisters(kPulseCounts + 2 * c, Words({count}));
    }
    bool ReadPulseCount(int c, bool& running, std::uint32_t& remaining) override {
        std::uint32_t bits = 0, n = 0;
        if (!s_.ReadCoils(kPulsingCoils + c, 1, bits) || !s_.ReadLong(kPulseCounts + 2 * c, n))
            return false;
        running = bits & 1;
        remaining = n;
        return true;
    }

private:
    // A mode register: the mode is its low byte.
    bool ReadByte(int reg, unsigned& value) {
        std::vector<std::uint16_t> w;
        if (!s_.ReadRegisters(reg, 1, w)) return false;
        value = w[0] & 0xFF;
        return true;
    }

    ModbusSlave s_;
};

} // namespace

std::unique_ptr<DioChannelLink> MakeAsciiChannelLink(TavoMR850& device) {
    return std::make_unique<AsciiChannelLink>(device);
}

std::unique_ptr<DioChannelLink> MakeModbusChannelLink(TavoMR850& device, const std::string& address) {
    return std::make_unique<ModbusChannelLink>(device, address);
}

} // namespace tavo
