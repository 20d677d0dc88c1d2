// The bytes a Modbus TCP client may send the gateway: framed, and each whole request
// answered from a fixed map and cached polls, without sockets. Every request gets a
// well-formed answer or writes to make; writes go only to points listed writable,
// and a stream no request can start is refused.
#include "gateway/modbus_tcp_units.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace tavo;
using namespace tavo::gateway;

struct Cache {
    ModbusTcpUnits units{2};
    Cache() {
        GatewayConfig config;
        config.modbusTcp = ModbusTcpConfig{};
        BusConfig bus;
        bus.name = "line1";
        const struct {
            int address, slot;
            const char* model;
            std::vector<std::string> writable;
            int polls; // good polls, then one that failed
        } modules[] = {{0x09, -1, "R270P", {}, 3},       {0x0A, -1, "R550", {"do3", "do7"}, 1},
                       {0x01, -1, "R250", {"ao0", "do1"}, 2}, {0x40, 2, "K620", {"do1"}, 1},
                       {0x40, 0, "K520", {}, 0},          {0x1A, -1, "R320T", {"sv0", "mv1", "ao0", "do0"}, 4}};
        for (const auto& m : modules) {
            ModuleConfig mc;
            mc.where = {m.address, m.slot, PointProtocol::Ascii};
            mc.model = m.model;
            mc.writable = m.writable;
            bus.modules.push_back(mc);
        }
        config.buses.push_back(bus);
        units.Configure(config);
        for (const auto& m : modules) {
            std::string why;
            const auto points = MakeModulePoints(m.model, {m.address, m.slot, PointProtocol::Ascii}, why);
            if (!points) std::abort();
            ModuleDescription d;
            d.key = {"line1", {m.address, m.slot, PointProtocol::Ascii}};
            d.model = m.model;
            d.points = points->Points();
            for (PointInfo& p : d.points)
                if (p.kind == PointKind::AnalogOutput) p.min = -5, p.max = 20;
            d.writable = m.writable;
            units.Take(d);
            for (int poll = 0; poll <= m.polls; ++poll) {
                ModuleState s;
                s.key = d.key;
                for (std::size_t i = 0; i < d.points.size(); ++i)
                    s.readings.push_back(poll == m.polls ? BadReading(PointQuality::Failed, 1)
                                         : i % 3 == 2  ? BadReading(PointQuality::BurnOut, 1)
                                                       : GoodReading(static_cast<double>(i) * 1.5, 1));
                units.Take(s);
            }
        }
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Cache cache;
    std::size_t at = 0;
    while (at < size) {
        std::size_t length = 0;
        std::string why;
        const FrameCheck check = CheckFrame(data + at, size - at, length, why);
        if (check == FrameCheck::Bad) {
            Check(!why.empty());
            return 0;
        }
        if (check == FrameCheck::Incomplete) {
            Check(length >= kMbapHeader && length <= kMaxAdu);
            return 0;
        }
        Check(length > kMbapHeader && length <= kMaxAdu && at + length <= size);
        const std::uint8_t* adu = data + at;
        const ModbusOutcome out = cache.units.Handle(adu, length);
        const Bytes& answer = out.writes.empty() ? out.reply : out.done;
        // A whole answer to this request: its transaction id, protocol 0, the length
        // that follows, its unit id, its function (or the function's exception).
        Check(answer.size() >= 9 && answer.size() <= kMaxAdu);
        Check(std::equal(answer.begin(), answer.begin() + 2, adu) && answer[2] == 0 && answer[3] == 0);
        Check(static_cast<std::size_t>((answer[4] << 8) | answer[5]) + 6 == answer.size());
        Check(answer[6] == adu[6] && (answer[7] | 0x80) == (adu[7] | 0x80));
        if (answer[7] & 0x80) Check(answer.size() == 9 && out.writes.empty());
        for (const WriteRequest& w : out.writes) {
            Check(w.key.bus == "line1" && w.key.where.address == adu[6]);
            Check(w.point.rfind("do", 0) == 0 || w.point.rfind("ao", 0) == 0 || w.point.rfind("sv", 0) == 0 ||
                  w.point.rfind("mv", 0) == 0);
            Check(w.value == w.value && w.value >= -5 && w.value <= 20);
        }
        at += length;
    }
    return 0;
}
