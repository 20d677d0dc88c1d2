// Network port addresses as typed into the window or given to --port. Every text
// is either refused with a reason or turned into a name that the transport takes
// for a network port and that checks again to itself.
#include "transport/network_serial.h"
#include "workspace/core/network_address.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavo;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const NetworkAddress a = CheckNetworkAddress(text);
    if (a.name.empty() == a.problem.empty()) std::abort();
    if (a.name.empty()) return 0;
    if (!IsNetworkPortName(a.name) || !LooksLikeNetworkAddress(a.name)) std::abort();
    const NetworkAddress again = CheckNetworkAddress(a.name);
    if (again.name != a.name) std::abort();
    return 0;
}
