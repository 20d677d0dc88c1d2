#include "r320t_link.h"

#include "devices/models_analog.h"
#include "panels/common/modbus_panel.h"

#include <vector>

namespace tavo {

bool R320TAsciiLink::Read(int first, int count, loop::PidTable& table) {
    std::string text;
    std::vector<std::int32_t> values;
    if (!module_.ReadParameters(first, count, text) || !ParseParameterEntries(text, count, values))
        return false;
    for (int i = 0; i < count; ++i)
        table[static_cast<std::size_t>(first + i)] = values[static_cast<std::size_t>(i)];
    return true;
}

bool R320TAsciiLink::ReadBlock(int loop, int block, loop::PidTable& table) {
    return Read(loop::EntryId(loop, block * BlockEntries()), BlockEntries(), table);
}

bool R320TAsciiLink::ReadEntry(int entry, std::int32_t& value) {
    loop::PidTable scratch{};
    if (!Read(entry, 1, scratch)) return false;
    value = scratch[static_cast<std::size_t>(entry)];
    return true;
}

bool R320TAsciiLink::ReadTable(loop::PidTable& table) {
    loop::PidTable read = table;
    for (int first = 0; first < loop::kEntries; first += 64)
        if (!Read(first, 64, read)) return false;
    table = read;
    return true;
}

bool R320TAsciiLink::WriteEntry(int entry, std::int32_t value) {
    return module_.WriteParameter(entry, value);
}

R320TModbusLink::R320TModbusLink(TavoMR320T& module, const std::string& address)
    : slave_(module.GetModbus(), ModbusSlaveId(address)) {}

bool R320TModbusLink::Read(int first, int count, loop::PidTable& table) {
    std::vector<std::uint16_t> words;
    if (!slave_.ReadRegisters(kTableRegister + 2 * first, 2 * count, words)) return false;
    for (int i = 0; i < count; ++i) {
        table[static_cast<std::size_t>(first + i)] =
            loop::EntryFromWords(words[static_cast<std::size_t>(2 * i)],
                                 words[static_cast<std::size_t>(2 * i + 1)]);
    }
    return true;
}

bool R320TModbusLink::ReadBlock(int loop, int block, loop::PidTable& table) {
    // Register 1000 + loop x 256 + block x 100: entry loop x 128 + block x 50.
    return Read(loop::EntryId(loop, block * BlockEntries()), BlockEntries(), table);
}

bool R320TModbusLink::ReadTable(loop::PidTable& table) {
    loop::PidTable read = table;
    for (int first = 0; first < loop::kEntries; first += 32)
        if (!Read(first, 32, read)) return false;
    table = read;
    return true;
}

bool R320TModbusLink::ReadEntry(int entry, std::int32_t& value) {
    std::uint32_t v = 0;
    if (entry < 0 || entry >= loop::kEntries || !slave_.ReadLong(kTableRegister + 2 * entry, v))
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool R320TModbusLink::WriteEntry(int entry, std::int32_t value) {
    if (entry < 0 || entry >= loop::kEntries) return false;
    const auto u = static_cast<std::uint32_t>(value);
    return slave_.WriteRegisters(kTableRegister + 2 * entry,
                                 {static_cast<std::uint16_t>(u >> 16), static_cast<std::uint16_t>(u)});
}

} // namespace tavo
