// The loop controller's readers of outside bytes: the PID configuration file and the
// cutting of a parameter read's reply. The first byte chooses the reader; the rest
// is the file or the reply text.
#include "devices/loop_table.h"
#include "devices/models_analog.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        const std::vector<std::uint8_t> file(data + 1, data + size);
        const tavo::loop::PidFileRead r = tavo::loop::ReadPidFile(file);
        // A refused file always says why; exactly the files of the right size and
        // header are taken, whatever their entries, and write back to the same bytes.
        if (r.ok != r.error.empty()) std::abort();
        const std::string_view header = tavo::loop::kPidFileHeader;
        const bool wellFormed =
            file.size() == tavo::loop::kPidFileSize &&
            std::equal(header.begin(), header.end(), file.begin());
        if (r.ok != wellFormed) std::abort();
        if (r.ok && tavo::loop::WritePidFile(r.table) != file) std::abort();
        return 0;
    }
    const int count = data[0] >> 1; // 0 to 127 entries
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::int32_t> values{42};
    if (tavo::ParseParameterEntries(text, count, values)) {
        if (values.size() != static_cast<std::size_t>(count) || text.size() != 8u * count)
            std::abort();
        // Each entry is its eight digits in two's complement.
        for (int i = 0; i < count; ++i) {
            const auto word = static_cast<std::uint32_t>(
                std::strtoul(text.substr(8 * static_cast<std::size_t>(i), 8).c_str(), nullptr, 16));
            if (static_cast<std::uint32_t>(values[static_cast<std::size_t>(i)]) != word) std::abort();
        }
    } else if (values != std::vector<std::int32_t>{42}) {
        std::abort();
    }
    // The fixed-point parser never accepts what it cannot print back near its value.
    if (const auto v = tavo::loop::ParseFixed(text)) {
        const auto again = tavo::loop::ParseFixed(tavo::loop::FixedText(*v));
        if (!again || *again != *v) std::abort();
    }
    return 0;
}
