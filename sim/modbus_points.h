// Coils and holding registers whose values live in a model's own state rather than
// in the module's static register store.
#pragma once

#include "module.h"

#include <functional>
#include <map>
#include <optional>

namespace tavo::sim {

class ModbusPoints {
public:
    // nullopt: the write was taken; otherwise the exception code to answer with.
    using Refusal = std::optional<std::uint8_t>;
    struct Coil {
        std::function<bool()> get;
        std::function<Refusal(bool)> set; // empty: read only
    };
    struct Register {
        std::function<std::uint16_t()> get;
        std::function<Refusal(std::uint16_t)> set; // empty: read only
    };

    // Zero-based wire addresses (reference number - 1).
    void AddCoil(std::uint16_t wire, Coil coil) { coils_[wire] = std::move(coil); }
    void AddRegister(std::uint16_t wire, Register reg) { registers_[wire] = std::move(reg); }
    bool empty() const { return coils_.empty() && registers_.empty(); }

    // Functions 1, 3, 5, 6, 15 and 16 when the request touches a point of the map;
    // nullopt otherwise (the module's generic store answers). A read of registers
    // may mix mapped ones with those of the module's store. Points that do not
    // exist give exception 02, writes to read-only points 02 as well.
    std::optional<Bytes> Handle(SimModule& m, const Bytes& pdu) const;

private:
    std::map<std::uint16_t, Coil> coils_;
    std::map<std::uint16_t, Register> registers_;
};

} // namespace tavo::sim
