// What the points of rack slots and Z-series slot modules take from a port's
// exchanges: any request and reply bytes, ASCII or Modbus, into every slot model's
// Observe, without a crash, a read past the end or a huge allocation; and what they
// take keeps its shape (the same points, digital values 0 or 1, numbers finite).
//
// Input: one byte picks the model and protocol, then exchanges, each a flag byte
// (bit 0 ok, bit 1 Modbus, bit 2 the request's head is the model's own: "$01S2" or
// slave 1), a length byte and the request's bytes, a length byte and the reply's.
#include "points/families.h"
#include "points/module_points.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kModels[] = {"K510", "K520", "K530", "K540", "K550", "K610", "K620",
                                   "K630", "K710", "K210", "K220", "K220H", "K220UH", "K230",
                                   "K230P", "K0AI", "K310", "Z310", "Z320"};
constexpr std::size_t kModelCount = sizeof kModels / sizeof kModels[0];

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string Bytes(std::size_t n) {
        n = std::min(n, size_ - at_);
        std::string out(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

void Check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t pick = in.Byte();
    const char* model = kModels[pick % kModelCount];
    const bool modbus = (pick / kModelCount) % 2 == 1 && model[0] == 'K';
    const tavo::ModuleLocation where{1, 2, modbus ? tavo::PointProtocol::Modbus : tavo::PointProtocol::Ascii};
    std::string error;
    auto points = tavo::MakeModulePoints(model, where, error);
    Check(points != nullptr);
    const std::size_t count = points->Points().size();
    while (!in.Empty()) {
        const std::uint8_t flags = in.Byte();
        tavo::PortExchange exchange;
        exchange.ok = flags & 1;
        exchange.modbus = flags & 2;
        if (flags & 4) exchange.request = exchange.modbus ? std::string(1, '\x01') : "$01S2";
        exchange.request += in.Bytes(in.Byte());
        exchange.reply = in.Bytes(in.Byte());
        points->Observe(exchange);
        Check(points->Points().size() == count && points->Readings().size() == count);
        Check(points->Notice().size() < 200);
        for (std::size_t i = 0; i < count; ++i) {
            const auto& info = points->Points()[i];
            const auto& r = points->Readings()[i];
            if (r.quality != tavo::PointQuality::Good) continue;
            Check(std::isfinite(r.value));
            if (tavo::IsDigital(info.kind)) Check(r.value == 0.0 || r.value == 1.0);
        }
    }
    return 0;
}
