// The data bytes of a coil or register read as the Modbus panels take them: the
// first input byte chooses the quantity asked for, the rest is the response's data.
#include "devices/modbus_slave.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int count = data[0];
    const std::vector<std::uint8_t> bytes(data + 1, data + size);
    std::uint32_t bits = 0;
    if (tavo::CoilBitsFromData(bytes, count, bits) && count < 32 && (bits >> count) != 0)
        __builtin_trap(); // bits beyond the coils asked for
    std::vector<std::uint16_t> words;
    if (tavo::WordsFromData(bytes, count, words) && words.size() * 2 != bytes.size())
        __builtin_trap();
    return 0;
}
