// The command classes cut values out of replies. Whatever the module sends, a value
// comes only from a well-formed reply: the operation succeeds only after a reply
// that starts with "!" or ">" and ends in CR (with its checksum when the checksum
// is on), the value it hands back is a piece of that reply, and on a failure the
// caller's variables keep what they held.
//
// Input: one byte choosing the operation, one byte for the checksum switch and the
// read size, then the replies the module sends, one per command, each up to a CR.
#include "devices/models_analog.h"
#include "devices/models_digital.h"
#include "scripted_port.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tavo;

using Outs = std::vector<std::string*>;
struct Operation {
    // Runs the operation on a module at address 01, its values in `outs`.
    std::function<bool(TavoComPort*, Outs&)> run;
    int values = 1;
    // Leading characters of the value that come from the object, not the reply
    // (the configuration text starts with the address the object talks to).
    std::size_t held = 0;
};

template <class Model, class F> Operation On(F f, int values = 1) {
    return {[f](TavoComPort* port, Outs& outs) {
                Model m(port, "01");
                return f(m, outs);
            },
            values};
}

#define ONE(Model, call) On<Model>([](Model& m, Outs& o) { return m.call(*o[0]); })
#define ONE_N(Model, call, n) On<Model>([](Model& m, Outs& o) { return m.call(n, *o[0]); })

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> ops = {
        [] {
            Operation op = ONE(TavoMR210D, ReadConfigText);
            op.held = 2;
            return op;
        }(),
        ONE(TavoMR210D, ReadFirmwareVersion),
        ONE(TavoMR210D, ReadModuleName),
        ONE(TavoMR210D, ReadAll),
        ONE_N(TavoMR210D, ReadChannel, 0),
        ONE(TavoMR210D, ReadCJC),
        ONE(TavoMR210D, ReadHighLimit),
        ONE(TavoMR210D, ReadEventCounter),
        ONE(TavoMR240, ReadChannelEnable),
        ONE_N(TavoMR240, ReadChannelRange, 3),
        ONE(TavoMR240, ReadChannelStatus),
        ONE(TavoMR240, ReadBurnOut),
        ONE(TavoMR240, ReadAT),
        ONE_N(TavoMR240, ReadWireCompensation, 1),
        ONE(TavoMR310, ReadLastOutput),
        ONE(TavoMR310, ReadReadback),
        ONE_N(TavoMR330, ReadChannelRange, 2),
        ONE_N(TavoMR330, ReadEmergencyInput, 1),
        ONE_N(TavoMR330, ReadStartupValue, 0),
        ONE(TavoMR330, ReadDI),
        ONE(TavoMR550, ReadDIO),
        ONE(TavoMR550, ReadError),
        ONE_N(TavoMR550, ReadOutputMode, 2),
        ONE_N(TavoMR850, ReadInputMode, 1),
        ONE_N(TavoMR850, ReadCounter, 4),
        ONE_N(TavoMR850, ReadCounting, 4),
        ONE(TavoMR710, ReadInputSignal),
        ONE(TavoMR710, ReadGate),
        ONE_N(TavoMR710, ReadMaxCount, 1),
        ONE_N(TavoMR710, ReadCount, 0),
        ONE_N(TavoMR710, ReadOverflowFlag, 1),
        ONE(TavoMR710, ReadFilter),
        ONE(TavoMR710, ReadHighWidth),
        ONE(TavoMR710, ReadLowTrigger),
        ONE(TavoMR710D, ReadLEDSource),
        On<TavoMR550>([](TavoMR550& m, Outs& o) { return m.ReadSafety(*o[0], *o[1]); }, 2),
        On<TavoMR850>([](TavoMR850& m, Outs& o) { return m.ReadInputWidths(0, *o[0], *o[1]); }, 2),
        On<TavoMR850>(
            [](TavoMR850& m, Outs& o) { return m.ReadPulseWidths(1, *o[0], *o[1], *o[2], *o[3]); },
            4),
    };
    return ops;
}

// A reply the transaction may take: "!" or ">" first, CR last, and with the
// checksum on two hexadecimal digits before the CR that match the rest.
bool WellFormed(const std::string& reply, bool checksum) {
    if (reply.size() < 2 || (reply[0] != '!' && reply[0] != '>') || reply.back() != '\r')
        return false;
    if (!checksum) return true;
    // The sum of every character before the two digits, modulo 256.
    const std::size_t n = reply.size();
    if (n < 4) return false;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 3 < n; ++i)
        sum += static_cast<unsigned char>(reply[i]);
    const auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    const int hi = digit(reply[n - 3]), lo = digit(reply[n - 2]);
    return hi >= 0 && lo >= 0 && static_cast<unsigned>(hi * 16 + lo) == (sum & 0xFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const auto& ops = Operations();
    const Operation& op = ops[data[0] % ops.size()];
    const bool checksum = data[1] & 1;
    const std::size_t chunk = 1 + (data[1] >> 1) % 16;
    const std::string_view script(reinterpret_cast<const char*>(data + 2), size - 2);

    fuzz::ScriptedPort sp(script, chunk);
    sp.port->SetCheckSum(checksum);
    const std::string sentinel = "\x01untouched";
    std::vector<std::string> values(static_cast<std::size_t>(op.values), sentinel);
    Outs outs;
    for (auto& v : values)
        outs.push_back(&v);

    const bool ok = op.run(sp.port.get(), outs);
    const auto& replies = sp.backend->replies;
    if (!ok) {
        for (const auto& v : values)
            if (v != sentinel) __builtin_trap(); // a failure handed back a value
        return 0;
    }
    // Every transaction of a successful operation took a well-formed reply...
    if (replies.empty()) __builtin_trap();
    for (const auto& r : replies)
        if (!WellFormed(r, checksum)) __builtin_trap();
    // ... and every value is a piece of one of them.
    for (const auto& v : values) {
        if (v.size() < op.held) __builtin_trap();
        const std::string piece = v.substr(op.held);
        bool found = false;
        for (const auto& r : replies)
            found = found || r.find(piece) != std::string::npos;
        if (!found) __builtin_trap();
    }
    return 0;
}
