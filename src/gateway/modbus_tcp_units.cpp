#include "modbus_tcp_units.h"

#include "points/point_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tavo::gateway {
namespace {

namespace ex = modbus_exception;

// The protocol's own limits on one request.
constexpr int kMaxReadBits = 2000;
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteBits = 1968;
constexpr int kMaxWriteRegisters = 123;

int Word(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }

void PutWord(Bytes& out, int value) {
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// The MBAP header of an answer of `pdu` bytes, after the request's own.
Bytes Answer(const Bytes& header, const Bytes& pdu) {
    Bytes out(header.begin(), header.begin() + 4);
    PutWord(out, static_cast<int>(pdu.size()) + 1);
    out.push_back(header[6]);
    out.insert(out.end(), pdu.begin(), pdu.end());
    return out;
}

std::uint32_t FloatBits(double value) {
    const float f = static_cast<float>(value);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// A float from the wire as the decimal number a person typed for it: 4.1 is 4.1, not
// the 4.0999999 a float holds, so that it reaches the module as written.
double FloatValue(const std::uint8_t* p) {
    const std::uint32_t bits = (static_cast<std::uint32_t>(Word(p)) << 16) | static_cast<std::uint32_t>(Word(p + 2));
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f)) return std::nan("");
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", static_cast<double>(f));
    return std::strtod(text, nullptr);
}

// Which table a function reads or writes, and where a zero-based number sits: the
// module or slot (-1, 0 ... 7) and the offset in its table.
std::optional<ModbusTable> TableOf(std::uint8_t function) {
    switch (function) {
    case 1: case 5: case 15: return ModbusTable::Coils;
    case 2: return ModbusTable::DiscreteInputs;
    case 3: case 6: case 16: return ModbusTable::HoldingRegisters;
    case 4: return ModbusTable::InputRegisters;
    default: return std::nullopt;
    }
}

bool Locate(ModbusTable& table, int address, int& slot, int& offset) {
    if (table == ModbusTable::InputRegisters && address >= kModbusQualityBase) {
        table = ModbusTable::QualityRegisters;
        address -= kModbusQualityBase;
    }
    const int block = address / kModbusSlotSpan;
    offset = address % kModbusSlotSpan;
    slot = block - 1;
    return block <= 8;
}

} // namespace

FrameCheck CheckFrame(const std::uint8_t* data, std::size_t size, std::size_t& length, std::string& why) {
    length = kMbapHeader;
    if (size < 6) return FrameCheck::Incomplete;
    if (Word(data + 2) != 0) {
        why = "protocol id " + std::to_string(Word(data + 2)) + " is not Modbus (0)";
        return FrameCheck::Bad;
    }
    const int declared = Word(data + 4);
    // The unit id and at least a function code; at most a PDU of 253 bytes.
    if (declared < 2 || declared > 254) {
        why = "a length of " + std::to_string(declared) + " (2 to 254 are requests)";
        return FrameCheck::Bad;
    }
    length = 6 + static_cast<std::size_t>(declared);
    return size >= length ? FrameCheck::Whole : FrameCheck::Incomplete;
}

Bytes ModbusExceptionReply(const ModbusOutcome& outcome, std::uint8_t code) {
    return Answer(outcome.header, {static_cast<std::uint8_t>(outcome.function | 0x80), code});
}

void ModbusTcpUnits::Configure(const GatewayConfig& config) {
    staleAfter_ = config.modbusTcp ? config.modbusTcp->staleAfter : staleAfter_;
    std::map<int, Unit> next;
    for (const BusConfig& bus : config.buses)
        for (const ModuleConfig& mc : bus.modules) {
            Module m;
            m.config = mc;
            m.key = {bus.name, mc.where};
            if (Module* old = Find(m.key); old && old->config == mc) m = std::move(*old);
            next[mc.where.address].blocks[mc.where.slot] = std::move(m);
        }
    units_ = std::move(next);
}

ModbusTcpUnits::Module* ModbusTcpUnits::Find(const ModuleKey& key) {
    const auto unit = units_.find(key.where.address);
    if (unit == units_.end()) return nullptr;
    const auto block = unit->second.blocks.find(key.where.slot);
    if (block == unit->second.blocks.end() || !(block->second.key == key)) return nullptr;
    return &block->second;
}

void ModbusTcpUnits::Take(const BusEvent& event) {
    if (const auto* d = std::get_if<ModuleDescription>(&event)) {
        Module* m = Find(d->key);
        if (!m) return;
        const bool same = m->description && m->description->points.size() == d->points.size() &&
                          std::equal(d->points.begin(), d->points.end(), m->description->points.begin(),
                                     [](const PointInfo& a, const PointInfo& b) {
                                         return a.name == b.name && a.kind == b.kind;
                                     });
        m->description = *d;
        if (same) return;
        const std::size_t n = d->points.size();
        m->layout = LayoutOf(d->points);
        m->quality.assign(n, PointQuality::Failed);
        m->kept.assign(n, PointQuality::Failed);
        m->value.assign(n, 0.0);
        m->missed.assign(n, -1);
        m->polled = false;
    } else if (const auto* s = std::get_if<ModuleState>(&event)) {
        Module* m = Find(s->key);
        if (!m || !m->description || s->readings.size() != m->quality.size()) return;
        m->polled = true;
        for (std::size_t i = 0; i < s->readings.size(); ++i) {
            const PointReading& r = s->readings[i];
            m->quality[i] = r.quality;
            if (r.quality != PointQuality::Failed) {
                m->kept[i] = r.quality;
                m->value[i] = r.value;
                m->missed[i] = 0;
            } else if (m->missed[i] >= 0) {
                m->missed[i] = std::min(m->missed[i] + 1, 1 << 20);
            }
        }
    }
}

bool ModbusTcpUnits::Stale(const Module& m, int point) const {
    const int missed = m.missed[static_cast<std::size_t>(point)];
    return missed < 0 || missed >= staleAfter_;
}

Bytes ModbusTcpUnits::Read(const Module& m, ModbusTable table, int offset, int count, std::uint8_t& code) const {
    Bytes data;
    if (table == ModbusTable::QualityRegisters) {
        // Qualities are what a client tells a value from a placeholder by: they answer
        // once the module has been polled, whatever the polls read.
        if (!m.polled) {
            code = ex::kTargetFailed;
            return {};
        }
        for (int i = 0; i < count; ++i)
            PutWord(data, PointQualityCode(m.quality[static_cast<std::size_t>(offset + i)]));
        return data;
    }
    for (int i = 0; i < count; ++i)
        if (Stale(m, m.layout.PointAt(table, offset + i))) {
            code = ex::kTargetFailed;
            return {};
        }
    const auto good = [&](int point) { return m.kept[static_cast<std::size_t>(point)] == PointQuality::Good; };
    const auto value = [&](int point) { return m.value[static_cast<std::size_t>(point)]; };
    if (table == ModbusTable::Coils || table == ModbusTable::DiscreteInputs) {
        data.assign(static_cast<std::size_t>((count + 7) / 8), 0);
        for (int i = 0; i < count; ++i) {
            const int p = m.layout.PointAt(table, offset + i);
            if (good(p) && value(p) != 0) data[static_cast<std::size_t>(i / 8)] |= static_cast<std::uint8_t>(1 << (i % 8));
        }
        return data;
    }
    for (int i = 0; i < count; ++i) {
        const int p = m.layout.PointAt(table, offset + i);
        // A point that was read but is not good (burn-out, over-range, disabled) reads
        // as NaN: a number no module sends. Its quality register says which.
        const std::uint32_t bits = good(p) ? FloatBits(value(p)) : 0x7FC00000u;
        PutWord(data, (offset + i) % 2 == 0 ? static_cast<int>(bits >> 16) : static_cast<int>(bits & 0xFFFF));
    }
    return data;
}

void ModbusTcpUnits::PlanWrite(const Module& m, std::uint8_t function, ModbusTable table, int offset, int count,
                               const std::uint8_t* values, ModbusOutcome& out, std::uint8_t& code) const {
    const ModuleDescription& d = *m.description;
    const auto writable = [&](int point) {
        const std::string& name = d.points[static_cast<std::size_t>(point)].name;
        return std::find(d.writable.begin(), d.writable.end(), name) != d.writable.end();
    };
    const int size = m.layout.Size(table);
    bool any = false;
    for (int i = 0; i < size; ++i) any = any || writable(m.layout.PointAt(table, i));
    if (!any) {
        code = ex::kIllegalFunction;
        return;
    }
    if (offset + count > size) {
        code = ex::kIllegalAddress;
        return;
    }
    for (int i = 0; i < count; ++i)
        if (!writable(m.layout.PointAt(table, offset + i))) {
            code = ex::kIllegalAddress;
            return;
        }
    const auto request = [&](int point, double value) {
        WriteRequest w;
        w.key = m.key;
        w.point = d.points[static_cast<std::size_t>(point)].name;
        w.value = value;
        out.writes.push_back(std::move(w));
    };
    if (table == ModbusTable::Coils) {
        for (int i = 0; i < count; ++i) {
            bool on = false;
            if (function == 5) {
                const int v = Word(values);
                if (v != 0xFF00 && v != 0x0000) {
                    code = ex::kIllegalValue;
                    out.writes.clear();
                    return;
                }
                on = v == 0xFF00;
            } else {
                on = (values[i / 8] >> (i % 8)) & 1;
            }
            request(m.layout.PointAt(table, offset + i), on ? 1.0 : 0.0);
        }
        return;
    }
    // A float is written whole or not at all.
    if (offset % 2 != 0 || count % 2 != 0) {
        code = ex::kIllegalAddress;
        return;
    }
    for (int i = 0; i < count; i += 2) {
        const int point = m.layout.PointAt(table, offset + i);
        const PointInfo& info = d.points[static_cast<std::size_t>(point)];
        const double v = FloatValue(values + 2 * i);
        std::string outside;
        if (std::isnan(v) || !WithinLimits(info, v, outside)) {
            code = ex::kIllegalValue;
            out.writes.clear();
            return;
        }
        request(point, v);
    }
}

ModbusOutcome ModbusTcpUnits::Handle(const std::uint8_t* adu, std::size_t length) const {
    ModbusOutcome out;
    out.header.assign(adu, adu + kMbapHeader);
    const std::uint8_t* pdu = adu + kMbapHeader;
    const std::size_t pduSize = length - kMbapHeader;
    out.function = pdu[0];
    const auto fail = [&](std::uint8_t code) {
        out.writes.clear();
        out.reply = ModbusExceptionReply(out, code);
        return out;
    };
    const auto unit = units_.find(adu[6]);
    if (unit == units_.end()) return fail(ex::kPathUnavailable);
    const auto tableOf = TableOf(out.function);
    if (!tableOf) return fail(ex::kIllegalFunction);
    ModbusTable table = *tableOf;
    const int function = out.function;
    const bool multiple = function == 15 || function == 16;
    if (pduSize < 5 || (!multiple && pduSize != 5)) return fail(ex::kIllegalValue);
    const int address = Word(pdu + 1);
    int count = function == 5 || function == 6 ? 1 : Word(pdu + 3);
    const int limit = function <= 2 ? kMaxReadBits : function <= 4 ? kMaxReadRegisters
                      : function == 15 ? kMaxWriteBits : kMaxWriteRegisters;
    if (count < 1 || count > limit) return fail(ex::kIllegalValue);
    if (multiple) {
        const std::size_t bytes = function == 15 ? static_cast<std::size_t>((count + 7) / 8)
                                                 : static_cast<std::size_t>(2 * count);
        if (pduSize < 6 || pdu[5] != bytes || pduSize != 6 + bytes) return fail(ex::kIllegalValue);
    }
    int slot = -1, offset = 0;
    if (!Locate(table, address, slot, offset)) return fail(ex::kIllegalAddress);
    const auto block = unit->second.blocks.find(slot);
    if (block == unit->second.blocks.end()) return fail(ex::kIllegalAddress);
    const Module& m = block->second;
    if (!m.description) return fail(ex::kTargetFailed);
    std::uint8_t code = 0;
    if (function <= 4) {
        if (offset + count > std::min(m.layout.Size(table), kModbusSlotSpan)) return fail(ex::kIllegalAddress);
        const Bytes data = Read(m, table, offset, count, code);
        if (code) return fail(code);
        Bytes answer{static_cast<std::uint8_t>(function), static_cast<std::uint8_t>(data.size())};
        answer.insert(answer.end(), data.begin(), data.end());
        out.reply = Answer(out.header, answer);
        return out;
    }
    if (function == 6) {
        // Every holding register is half of a float.
        PlanWrite(m, function, table, offset, 1, pdu + 3, out, code);
        return fail(code ? code : ex::kIllegalAddress);
    }
    PlanWrite(m, static_cast<std::uint8_t>(function), table, offset, count, multiple ? pdu + 6 : pdu + 3, out, code);
    if (code) return fail(code);
    // The answer after success: functions 5 and 6 echo the request, 15 and 16 give
    // the first number and the count.
    out.done = Answer(out.header, Bytes(pdu, pdu + 5));
    return out;
}

} // namespace tavo::gateway
