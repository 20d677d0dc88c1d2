#include "k100_modbus.h"

#include "devices/k_series.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tavo {
namespace {

using K = K100ModuleKind;

constexpr K100ModuleType kTypes[] = {
    {0x01, "K210", K::AnalogInput, 0, 3},   {0x02, "K220", K::AnalogInput, 0, 8},
    {0x03, "K230", K::AnalogInput, 0, 7},   {0x04, "K220H", K::AnalogInput, 0, 8},
    {0x05, "K220UH", K::AnalogInput, 0, 8}, {0x06, "K710", K::Counter, 0, 4},
    {0x07, "K0AI", K::AnalogInput, 0, 8},   {0x0F, "K520", K::Digital, 0x0000, 0},
    {0x10, "K530", K::Digital, 0x0000, 0},  {0x11, "K540", K::Digital, 0x00FF, 0},
    {0x12, "K550", K::Digital, 0xFFFF, 0},  {0x13, "K610", K::Digital, 0x003F, 0},
    {0x14, "K620", K::Digital, 0x00FF, 0},  {0x15, "K630", K::Digital, 0x00FF, 0},
    {0x18, "K310", K::AnalogOutput, 0, 4},  {0x69, "K510", K::Digital, 0x00FF, 0},
};

unsigned Word(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<unsigned>(b[at]) << 8 | b[at + 1];
}

std::string Percent(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%+.2f %%", v);
    return text;
}

std::string Thousandths(unsigned v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", K100OutputValue(static_cast<std::uint16_t>(v)));
    return text;
}

std::string Hex(unsigned v, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, v);
    return text;
}

char NibbleChar(unsigned n) {
    return "0123456789ABCDEF"[n & 15];
}

} // namespace

K100ModuleType K100ModuleTypeFor(std::uint8_t code) {
    for (const auto& t : kTypes)
        if (t.code == code) return t;
    return {code, "", K::Unknown, 0, 0};
}

int K100ShownAddress(unsigned value) {
    value &= 0xFFFF;
    return value > 30000 ? static_cast<int>(value % 10000 + 400000) : static_cast<int>(value);
}

std::string K100AddressText(int address) {
    char text[16];
    std::snprintf(text, sizeof text, "%06d", address);
    return text;
}

bool DecodeK100Identification(const std::vector<std::uint8_t>& block, K100ModbusRack& rack) {
    if (block.size() < 60) return false;
    const unsigned id = Word(block, 0);
    K100ModbusRack r;
    if (id == kK100ModbusCode)
        r.slotCount = 4;
    else if (id == kK100EModbusCode)
        r.slotCount = 8;
    else
        return false;
    r.firmware = {NibbleChar(block[4] >> 4), NibbleChar(block[4]), '.', NibbleChar(block[5] >> 4),
                  NibbleChar(block[5])};
    r.counterFlag = block[25];
    for (std::size_t k = 0; k < kK100ModbusSlots; ++k) {
        K100ModbusSlot& s = r.modules[k];
        s.type = block[8 + k];
        s.start = K100ShownAddress(Word(block, 28 + 2 * k));
        s.end = K100ShownAddress(Word(block, 44 + 2 * k));
        s.name = rack.modules[k].name;
    }
    rack = std::move(r);
    return true;
}

bool DecodeK100Names(const std::vector<std::uint8_t>& block, K100ModbusRack& rack) {
    if (block.size() < 2 * kK100NamesRegisters) return false;
    for (std::size_t k = 0; k < kK100ModbusSlots; ++k) {
        std::string name;
        for (std::size_t i = 0; i < 16; ++i) {
            // Register j holds characters 2j (low byte) and 2j + 1 (high byte).
            const std::size_t at = 16 * k + (i % 2 == 0 ? i + 1 : i - 1);
            const auto c = block[at];
            if (c == 0) break;
            name.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
        }
        rack.modules[k].name = name;
    }
    return true;
}

K100SlotPoll K100PollFor(const K100ModbusSlot& slot) {
    K100SlotPoll poll;
    const long long count = static_cast<long long>(slot.end) - slot.start + 1;
    if (slot.start > 0 && slot.start < 400000) {
        if (count < 1 || count > 2000) return poll;
        poll.read = K100SlotPoll::Read::Coils;
    } else if (slot.start > 400000) {
        if (count < 1 || count > 125) return poll;
        poll.read = K100SlotPoll::Read::Registers;
    } else {
        return poll;
    }
    poll.reference = slot.start % 100000;
    poll.count = static_cast<int>(count);
    return poll;
}

std::vector<std::uint16_t> K100Words(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint16_t> words;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        words.push_back(static_cast<std::uint16_t>(Word(bytes, i)));
    return words;
}

double K100InputPercent(std::uint16_t word) {
    return static_cast<std::int16_t>(word) / 32767.0 * 100.0;
}

double K100OutputValue(std::uint16_t word) {
    return word / 1000.0;
}

unsigned long K100Count(std::uint16_t high, std::uint16_t low) {
    return static_cast<unsigned long>(high) << 16 | low;
}

int K100ValueRows(std::uint8_t type, int count) {
    const K100ModuleType t = K100ModuleTypeFor(type);
    if (t.kind == K::Digital) return 0;
    if (t.kind == K::Counter) return std::min(4, count / 2);
    return std::min(count, kK100SlotPoints);
}

int K100ValueRegister(std::uint8_t type, int row) {
    return K100ModuleTypeFor(type).kind == K::Counter ? 2 * row : row;
}

std::string K100ValueText(std::uint8_t type, int row, const std::vector<std::uint16_t>& words,
                          bool hex) {
    const K100ModuleType t = K100ModuleTypeFor(type);
    const auto reg = static_cast<std::size_t>(K100ValueRegister(type, row));
    if (row < 0 || reg >= words.size()) return {};
    const unsigned w = words[reg];
    switch (t.kind) {
    case K::Counter: {
        if (reg + 1 >= words.size()) return {};
        const unsigned long count = K100Count(static_cast<std::uint16_t>(w), words[reg + 1]);
        if (hex) return Hex(static_cast<unsigned>(count), 8);
        char text[24];
        std::snprintf(text, sizeof text, "%lu", count);
        return text;
    }
    case K::AnalogInput:
        if (hex) return Hex(w, 4);
        return Percent(K100InputPercent(static_cast<std::uint16_t>(w)));
    case K::AnalogOutput:
        if (hex) return Hex(w, 4);
        if (row < 4) return Thousandths(w);
        return std::to_string(w);
    default:
        return hex ? Hex(w, 4) : std::to_string(w);
    }
}

std::optional<std::uint16_t> K100OutputWord(std::string_view text, bool hex) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.empty() || text.size() > 16) return std::nullopt;
    const std::string s(text);
    if (hex) {
        if (s.size() > 4) return std::nullopt;
        for (const char c : s)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        return static_cast<std::uint16_t>(std::strtoul(s.c_str(), nullptr, 16));
    }
    // A plain decimal number: digits with at most one point, no sign, no exponent.
    bool point = false, digit = false;
    for (const char c : s) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digit = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digit) return std::nullopt;
    const double thousandths = std::round(std::strtod(s.c_str(), nullptr) * 1000.0);
    if (thousandths < 0 || thousandths > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(thousandths);
}

std::optional<K100CounterState> K100CounterFromRegisters(const std::vector<std::uint16_t>& words,
                                                         int channel) {
    const auto at = static_cast<std::size_t>(8 + channel);
    if (channel < 0 || channel > 3 || at >= words.size()) return std::nullopt;
    return K100CounterState{(words[at] & 1) != 0, (words[at] & 4) != 0};
}

std::optional<K100CounterState> K100CounterFromCoils(const std::vector<std::uint8_t>& bytes,
                                                     int channel) {
    const auto at = static_cast<std::size_t>(channel / 2);
    if (channel < 0 || channel > 3 || at >= bytes.size()) return std::nullopt;
    const int shift = 4 * (channel % 2);
    return K100CounterState{((bytes[at] >> shift) & 1) != 0, ((bytes[at] >> (shift + 2)) & 1) != 0};
}

K100CounterWrite K100CounterControl(int counterFlag, int slot, int slotReference, int channel,
                                    K100CounterAction action) {
    K100CounterWrite w;
    if (counterFlag == 1) {
        w.coil = true;
        const int base = slot * 16 + 1 + 4 * channel;
        switch (action) {
        case K100CounterAction::Stop:
        case K100CounterAction::Start:
            w.reference = base;
            w.value = action == K100CounterAction::Start ? 1 : 0;
            break;
        case K100CounterAction::Clear:
            w.reference = base + 1;
            w.value = 1;
            break;
        case K100CounterAction::ClearOverflow:
            w.reference = base + 2;
            w.value = 0;
            break;
        }
        return w;
    }
    w.reference = slotReference + 12 + channel;
    w.value = static_cast<int>(action); // Stop 0, Start 1, Clear 2, ClearOverflow 3
    return w;
}

} // namespace tavo
