// A model's Modbus map: coils, holding registers and 32-bit values in register
// pairs whose values live in the model's own state rather than in the module's
// static register store. Models describe their map as a table of rows
// (ModbusMapRow below); each row is a block of points read and written through
// the model.
#pragma once

#include "module.h"

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>

namespace tavo::sim {

class ModbusPoints {
public:
    // nullopt: the value is taken; otherwise the exception code to answer with.
    using Refusal = std::optional<std::uint8_t>;
    struct Coil {
        std::function<bool()> get;
        std::function<Refusal(bool)> set;   // empty: read only
        std::function<Refusal(bool)> check; // empty: every value is taken
    };
    struct Register {
        std::function<std::uint16_t()> get;
        std::function<Refusal(std::uint16_t)> set;   // empty: read only
        std::function<Refusal(std::uint16_t)> check; // empty: every value is taken
    };
    // A 32-bit value in two registers, high word first. A write of one half keeps
    // the other; the value is checked and set whole.
    struct Long {
        std::function<std::uint32_t()> get;
        std::function<Refusal(std::uint32_t)> set;
        std::function<Refusal(std::uint32_t)> check;
    };

    ModbusPoints() = default;
    // The register views of a Long refer to this object.
    ModbusPoints(const ModbusPoints&) = delete;
    ModbusPoints& operator=(const ModbusPoints&) = delete;

    // Zero-based wire addresses (reference number - 1).
    void AddCoil(std::uint16_t wire, Coil coil) { coils_[wire] = std::move(coil); }
    void AddRegister(std::uint16_t wire, Register reg);
    void AddLong(std::uint16_t wireHigh, Long value);
    bool empty() const { return coils_.empty() && registers_.empty(); }

    // The function codes the model answers; any other gets exception 01 (illegal
    // function). Not set: every function goes on to the module's store.
    void SetFunctions(std::initializer_list<std::uint8_t> functions) { functions_ = functions; }

    // Functions 1, 3, 5, 6, 15 and 16 when the request touches a point of the map;
    // nullopt otherwise (the module's generic store answers). A read of registers
    // may mix mapped ones with those of the module's store. As a slave answers:
    // 01 for a function it does not offer, 03 for a quantity outside the standard's
    // limits or a byte count that disagrees with it, 02 for points it does not have
    // or that cannot be written; a write of several points is checked whole before
    // any of them changes.
    std::optional<Bytes> Handle(SimModule& m, const Bytes& pdu) const;

private:
    struct RegisterEntry {
        Register reg;
        std::optional<std::uint16_t> longHigh; // set for the halves of a Long
    };
    std::optional<Bytes> WriteRegisters(std::uint8_t fn, const Bytes& pdu) const;
    std::optional<Bytes> WriteCoils(std::uint8_t fn, const Bytes& pdu) const;

    std::map<std::uint16_t, Coil> coils_;
    std::map<std::uint16_t, RegisterEntry> registers_;
    std::map<std::uint16_t, Long> longs_;
    std::set<std::uint8_t> functions_;
};

enum class PointKind { Coil, Register, Long };

// One block of a model's map: count(model) points of one kind from the one-based
// reference number `first` (a Long block takes two registers per point). `index`
// counts the points of the block from 0. Coils read and write 0 or 1.
template <class Model> struct ModbusMapRow {
    PointKind kind;
    std::uint16_t first;
    int (*count)(const Model&);
    std::uint32_t (*get)(Model&, int index);
    // Null: read only. May still refuse (04) what the model cannot do just now.
    ModbusPoints::Refusal (*set)(Model&, int index, std::uint32_t value) = nullptr;
    // Null: every value is taken. Runs before anything of a request is set.
    ModbusPoints::Refusal (*check)(Model&, int index, std::uint32_t value) = nullptr;
};

template <class Model, std::size_t N>
void AddMapRows(ModbusPoints& points, Model& model, const ModbusMapRow<Model> (&rows)[N]) {
    for (const ModbusMapRow<Model>& row : rows) {
        const int n = row.count(model);
        for (int i = 0; i < n; ++i) {
            const auto get = [&model, f = row.get, i] { return f(model, i); };
            const auto set = [&model, f = row.set, i](std::uint32_t v) { return f(model, i, v); };
            const auto check = [&model, f = row.check, i](std::uint32_t v) {
                return f(model, i, v);
            };
            switch (row.kind) {
            case PointKind::Coil: {
                ModbusPoints::Coil c{[get] { return get() != 0; }, {}, {}};
                if (row.set) c.set = [set](bool on) { return set(on ? 1u : 0u); };
                if (row.check) c.check = [check](bool on) { return check(on ? 1u : 0u); };
                points.AddCoil(static_cast<std::uint16_t>(row.first - 1 + i), std::move(c));
                break;
            }
            case PointKind::Register: {
                ModbusPoints::Register r{[get] { return static_cast<std::uint16_t>(get()); }, {}, {}};
                if (row.set) r.set = [set](std::uint16_t v) { return set(v); };
                if (row.check) r.check = [check](std::uint16_t v) { return check(v); };
                points.AddRegister(static_cast<std::uint16_t>(row.first - 1 + i), std::move(r));
                break;
            }
            case PointKind::Long: {
                ModbusPoints::Long l{get, {}, {}};
                if (row.set) l.set = set;
                if (row.check) l.check = check;
                points.AddLong(static_cast<std::uint16_t>(row.first - 1 + 2 * i), std::move(l));
                break;
            }
            }
        }
    }
}

// Row counts that do not depend on the model.
template <class Model, int N> int Fixed(const Model&) { return N; }

} // namespace tavo::sim
