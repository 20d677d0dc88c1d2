// The K100 Modbus map file reader ("K100_Modbus.cfg"): any bytes are read without
// a crash, and whatever it accepts is written back and read again to the same map.
#include "panels/system/k100_map.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tavo::K100MapFile file = tavo::ParseK100MapFile(text);
    if (!file.error.empty()) return 0;
    tavo::K100Map map;
    for (int k = 0; k < tavo::kK100MapSlots; ++k) {
        const auto& r = file.rows[static_cast<std::size_t>(k)];
        map[static_cast<std::size_t>(k)] = {r.type, tavo::K100StartText(r.start), r.length,
                                            tavo::K100AddressHead(r.type)};
    }
    const tavo::K100MapFile again = tavo::ParseK100MapFile(tavo::K100MapFileText(map));
    if (!again.error.empty()) std::abort();
    for (int k = 0; k < tavo::kK100MapSlots; ++k) {
        const auto& a = file.rows[static_cast<std::size_t>(k)];
        const auto& b = again.rows[static_cast<std::size_t>(k)];
        if (a.type != b.type || a.start != b.start || a.length != b.length) std::abort();
    }
    // Apply's checks take whatever the file held.
    std::array<tavo::K100SlotKind, tavo::kK100MapSlots> kinds{};
    kinds[static_cast<std::size_t>(size % tavo::kK100MapSlots)] = tavo::K100SlotKind::Counter;
    (void)tavo::K100PlanApply(map, kinds, size % 2 ? 8 : 4);
    return 0;
}
