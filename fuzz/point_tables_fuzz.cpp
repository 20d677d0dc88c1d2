// Every model's points against arbitrary exchanges. The models are whatever
// MakeModulePoints makes points for among the registry's designations (and the
// slot designations a rack reports of itself), in each protocol, without a slot and
// in every slot. Whatever a port reports (the module's own requests or any other,
// any reply, ok or not), observing it must not crash, read past its bytes or throw;
// the points keep their number, names and kinds; a good reading is a finite number,
// 0 or 1 on a digital point; and a value CheckWrite lets through is one the point
// can take.
//
// Input: the designation up to a newline (a table entry is chosen by its bytes when
// the designation, protocol and slot that follow name none), a protocol byte (0
// ASCII, 1 with checksum, 2 Modbus) and a slot byte (0xFF none), then records: an
// operation byte, a flags byte (bit 0: the exchange was ok), a length byte and as
// many bytes. Operations: 0 one of the module's own requests (as ReadAll and Write
// make them) with a reply of the shape its answer has and the bytes as data; 1 the
// same request with the bytes as the whole reply; 2 a request to the module's
// address with the bytes as its body; 3 the bytes split in half as request and
// reply; 4 the bytes as a value typed for one of the points (CheckWrite).
#include "points/module_points.h"
#include "scripted_port.h"
#include "transport/modbus.h"
#include "workspace/core/model_registry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace tavo;

void Check(bool ok) {
    if (!ok) std::abort();
}

struct Target {
    std::string model;
    ModuleLocation where;
    std::vector<PortExchange> requests; // what ReadAll and Write asked, as Take sees it
};

// The requests a module's points make, heard on a port where nothing answers.
std::vector<PortExchange> LearnRequests(ModulePoints& points) {
    fuzz::ScriptedPort line("", 1);
    std::vector<PortExchange> heard;
    line.port->SetExchangeObserver([&](const PortExchange& e) { heard.push_back(e); });
    points.ReadAll(*line.port, true);
    for (const PointInfo& info : points.Points()) {
        if (!info.writable) continue;
        std::string error;
        const double value = std::isnan(info.min) ? 0.0 : info.min;
        points.Write(*line.port, info.name, value, error);
    }
    std::sort(heard.begin(), heard.end(), [](const PortExchange& a, const PortExchange& b) {
        return a.request < b.request;
    });
    heard.erase(std::unique(heard.begin(), heard.end(),
                            [](const PortExchange& a, const PortExchange& b) {
                                return a.request == b.request;
                            }),
                heard.end());
    return heard;
}

const std::vector<Target>& Targets() {
    static const std::vector<Target> targets = [] {
        TavoModbusCOM::SetDefaultTurnaroundDelay(0);
        std::vector<std::string> models = ModelRegistry::Instance().Designations();
        models.push_back("K230P"); // a generic analog slot names itself
        std::vector<Target> out;
        for (const std::string& model : models)
            for (const auto protocol :
                 {PointProtocol::Ascii, PointProtocol::AsciiChecksum, PointProtocol::Modbus})
                for (int slot = -1; slot < 8; ++slot) {
                    const ModuleLocation where{slot < 0 ? 0x09 : 0x40, slot, protocol};
                    std::string error;
                    auto points = MakeModulePoints(model, where, error);
                    if (!points) continue;
                    out.push_back({model, where, LearnRequests(*points)});
                }
        if (out.empty()) std::abort(); // no family makes points: nothing to fuzz
        return out;
    }();
    return targets;
}

std::string Bytes(const std::uint8_t*& data, std::size_t& size, std::size_t n) {
    n = std::min(n, size);
    std::string out(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return out;
}

std::string Hex2(int value) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[(value >> 4) & 15], digits[value & 15]};
}

// A reply of the shape the answer to `request` has, carrying `data`.
std::string Shaped(const PortExchange& request, const std::string& data, const ModuleLocation& where) {
    if (request.modbus) {
        std::string reply = request.request.substr(0, 2);
        const auto function = request.request.size() > 1 ? static_cast<std::uint8_t>(request.request[1]) : 0;
        if (function == 1 || function == 3 || function == 0x20)
            return reply + static_cast<char>(std::min<std::size_t>(data.size(), 250)) + data.substr(0, 250);
        return reply + data; // a write's echo
    }
    const bool value = !request.request.empty() && request.request[0] == '#' &&
                       request.request.size() <= 4 + (where.slot >= 0 ? 2 : 0);
    return (value ? ">" : "!" + Hex2(where.address)) + data + "\r";
}

void CheckPoints(const ModulePoints& points, const std::vector<PointInfo>& first) {
    const auto& infos = points.Points();
    const auto& readings = points.Readings();
    Check(infos.size() == first.size() && readings.size() == infos.size());
    for (std::size_t i = 0; i < infos.size(); ++i) {
        Check(infos[i].name == first[i].name && infos[i].kind == first[i].kind);
        Check(infos[i].unit.size() <= 16);
        if (readings[i].quality != PointQuality::Good) continue;
        Check(std::isfinite(readings[i].value));
        if (IsDigital(infos[i].kind)) Check(readings[i].value == 0.0 || readings[i].value == 1.0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& targets = Targets();
    std::string model;
    while (size > 0 && *data != '\n' && model.size() < 8) model += static_cast<char>(*data++), --size;
    if (size > 0 && *data == '\n') ++data, --size;
    const std::string head = Bytes(data, size, 2);
    const int protocol = head.size() > 0 ? static_cast<std::uint8_t>(head[0]) % 3 : 0;
    const int slot = head.size() > 1 && static_cast<std::uint8_t>(head[1]) < 8 ? head[1] : -1;
    const Target* target = nullptr;
    for (const Target& t : targets)
        if (t.model == model && static_cast<int>(t.where.protocol) == protocol && t.where.slot == slot)
            target = &t;
    if (!target) {
        std::size_t hash = 0;
        for (const char c : model + head) hash = hash * 31 + static_cast<std::uint8_t>(c);
        target = &targets[hash % targets.size()];
    }
    std::string error;
    auto points = MakeModulePoints(target->model, target->where, error);
    Check(points != nullptr);
    const std::vector<PointInfo> first = points->Points();

    while (size >= 3) {
        const std::uint8_t operation = data[0] % 5;
        const bool ok = data[1] & 1;
        const std::size_t length = data[2];
        data += 3;
        size -= 3;
        const std::string bytes = Bytes(data, size, length);
        PortExchange exchange;
        exchange.ok = ok;
        const auto& own = target->requests;
        const PortExchange* request = own.empty() ? nullptr : &own[bytes.empty() ? 0 : static_cast<std::uint8_t>(bytes[0]) % own.size()];
        switch (operation) {
        case 0:
        case 1:
            if (!request) continue;
            exchange.modbus = request->modbus;
            exchange.request = request->request;
            exchange.reply = operation == 0 ? Shaped(*request, bytes.empty() ? std::string() : bytes.substr(1),
                                                     target->where)
                                            : bytes;
            break;
        case 2:
            exchange.modbus = target->where.protocol == PointProtocol::Modbus;
            exchange.request = exchange.modbus
                                   ? std::string(1, static_cast<char>(target->where.address)) + bytes
                                   : std::string(1, bytes.empty() ? '$' : "$#%@~"[static_cast<std::uint8_t>(bytes[0]) % 5]) +
                                         Hex2(target->where.address) + bytes.substr(std::min<std::size_t>(1, bytes.size())) + "\r";
            exchange.reply = request ? Shaped(*request, bytes, target->where) : bytes;
            break;
        case 3:
            exchange.modbus = ok;
            exchange.request = bytes.substr(0, bytes.size() / 2);
            exchange.reply = bytes.substr(bytes.size() / 2);
            break;
        default: {
            if (first.empty()) continue;
            const std::size_t index = bytes.empty() ? 0 : static_cast<std::uint8_t>(bytes[0]) % first.size();
            std::string why;
            const auto value = points->CheckWrite(first[index].name, bytes.substr(std::min<std::size_t>(1, bytes.size())), why);
            if (value) {
                const PointInfo& info = points->Points()[index];
                Check(info.writable && std::isfinite(*value));
                if (IsDigital(info.kind)) Check(*value == 0.0 || *value == 1.0);
                Check(std::isnan(info.min) || *value >= info.min);
                Check(std::isnan(info.max) || *value <= info.max);
            } else {
                Check(!why.empty());
            }
            continue;
        }
        }
        const unsigned long before = points->Serial();
        points->Observe(exchange);
        Check(points->Serial() == before + 1);
        CheckPoints(*points, first);
    }
    return 0;
}
