// What a K100 rack's Modbus side sends: the identification and name blocks, and
// slot data decoded by every module type, from any bytes without a crash or a read
// past their end.
#include "points/k100_modbus.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    tavo::K100ModbusRack rack;
    tavo::DecodeK100Identification(bytes, rack);
    tavo::DecodeK100Names(bytes, rack);
    const std::vector<std::uint16_t> words = tavo::K100Words(bytes);
    for (const auto& slot : rack.modules) {
        const tavo::K100SlotPoll poll = tavo::K100PollFor(slot);
        for (int row = 0; row < tavo::K100ValueRows(slot.type, poll.count) + 1; ++row) {
            tavo::K100ValueText(slot.type, row, words, false);
            tavo::K100ValueText(slot.type, row, words, true);
        }
    }
    for (int channel = -1; channel <= 4; ++channel) {
        tavo::K100CounterFromRegisters(words, channel);
        tavo::K100CounterFromCoils(bytes, channel);
    }
    const std::string text(bytes.begin(), bytes.end());
    tavo::K100OutputWord(text, false);
    tavo::K100OutputWord(text, true);
    return 0;
}
