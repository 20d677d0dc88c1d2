// The Modbus TCP server's answers without sockets: the map of a model, the framing
// of what a client sends, and the answer to each kind of request, good or bad, from
// the cached polls.
#include "gateway/modbus_tcp_map.h"
#include "gateway/modbus_tcp_units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace tavo::gateway {
namespace {

using Pdu = std::vector<std::uint8_t>;

Pdu FloatWords(float f) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
            static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

Pdu operator+(Pdu a, const Pdu& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Adu(int unit, const Pdu& pdu) {
    Bytes adu{0x12, 0x34, 0, 0, 0, static_cast<std::uint8_t>(pdu.size() + 1), static_cast<std::uint8_t>(unit)};
    return adu + pdu;
}

struct Fixture : ::testing::Test {
    void SetUp() override {
        config.modbusTcp = ModbusTcpConfig{};
        BusConfig bus;
        bus.name = "line1";
        const auto add = [&](int address, int slot, const char* model, std::vector<std::string> writable) {
            ModuleConfig m;
            m.where = {address, slot, PointProtocol::Ascii};
            m.model = model;
            m.writable = writable;
            bus.modules.push_back(m);
        };
        add(0x09, -1, "R270P", {});
        add(0x0A, -1, "R550", {"do3"});
        add(0x01, -1, "R250", {"ao0"});
        add(0x40, 2, "K620", {"do1"});
        add(0x40, 0, "K520", {});
        config.buses.push_back(bus);
        units.Configure(config);
        for (const ModuleConfig& m : bus.modules) Describe(m);
    }
    void Describe(const ModuleConfig& m) {
        std::string why;
        const auto points = MakeModulePoints(m.model, m.where, why);
        ASSERT_TRUE(points) << why;
        ModuleDescription d;
        d.key = {"line1", m.where};
        d.model = m.model;
        d.points = points->Points();
        for (PointInfo& p : d.points)
            if (p.kind == PointKind::AnalogOutput) p.min = 0, p.max = 10;
        d.writable = m.writable;
        units.Take(d);
        descriptions[m.where.address * 16 + m.where.slot + 1] = d;
    }
    // A poll of the module at `address` (`slot`): every point good with `value` + its
    // index, except the qualities given.
    void Poll(int address, int slot, double value, std::map<int, PointQuality> bad = {}) {
        const ModuleDescription& d = descriptions[address * 16 + slot + 1];
        ModuleState s;
        s.key = d.key;
        s.answered = true;
        for (std::size_t i = 0; i < d.points.size(); ++i) {
            const auto q = bad.find(static_cast<int>(i));
            s.readings.push_back(q == bad.end() ? GoodReading(IsDigital(d.points[i].kind) ? 1 : value + i, 1)
                                                : BadReading(q->second, 1));
        }
        units.Take(s);
    }
    // The answer's PDU, the MBAP header checked against the request's.
    Pdu Ask(int unit, const Pdu& pdu, std::vector<WriteRequest>* writes = nullptr) {
        const Bytes adu = Adu(unit, pdu);
        std::size_t length = 0;
        std::string why;
        EXPECT_EQ(CheckFrame(adu.data(), adu.size(), length, why), FrameCheck::Whole) << why;
        const ModbusOutcome out = units.Handle(adu.data(), adu.size());
        if (writes) *writes = out.writes;
        const Bytes& answer = out.writes.empty() ? out.reply : out.done;
        if (answer.size() < 8) return {};
        EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), Bytes(adu.begin(), adu.begin() + 4));
        EXPECT_EQ(answer[5] + 6u, answer.size());
        EXPECT_EQ(answer[6], unit);
        return Pdu(answer.begin() + 7, answer.end());
    }
    GatewayConfig config;
    ModbusTcpUnits units;
    std::map<int, ModuleDescription> descriptions;
};

using ModbusTcpUnitsTest = Fixture;

TEST(ModbusTcpMap, FloatsInPointOrderAnalogFirstAndEveryTableFitsItsHundredNumbers) {
    std::string why;
    const auto loop = MakeModulePoints("R320T", {0x1A, -1, PointProtocol::Ascii}, why);
    ASSERT_TRUE(loop) << why;
    const auto rows = MapRows(0x1A, -1, loop->Points(), {"sv0", "ao1", "do0"});
    std::vector<std::string> inputs, holding, coils;
    for (const auto& r : rows) {
        const std::string text = r.point + "@" + std::to_string(r.first) + (r.writable ? "w" : "");
        if (r.table == ModbusTable::InputRegisters) inputs.push_back(text);
        if (r.table == ModbusTable::HoldingRegisters) holding.push_back(text);
        if (r.table == ModbusTable::Coils) coils.push_back(text);
    }
    EXPECT_EQ(inputs, (std::vector<std::string>{"pv0@1", "sv0@3", "mv0@5", "pv1@7", "sv1@9", "mv1@11", "ai0@13",
                                                "ai1@15", "ai2@17", "ai3@19", "ao0@21", "ao1@23", "di0@25",
                                                "di1@27"}));
    EXPECT_EQ(holding, (std::vector<std::string>{"sv0@1w", "mv0@3", "sv1@5", "mv1@7", "ao0@9", "ao1@11w"}));
    EXPECT_EQ(coils, (std::vector<std::string>{"do0@1w", "do1@2"}));
    // A slot's numbers carry its offset, its quality registers too.
    const auto slot = MakeModulePoints("K510", {0x40, 7, PointProtocol::Ascii}, why);
    ASSERT_TRUE(slot) << why;
    const auto slotRows = MapRows(0x40, 7, slot->Points(), {});
    EXPECT_EQ(slotRows.front().first, 801);
    EXPECT_EQ(slotRows.back().first, 1800 + 32);
    // The largest models of each family stay within a slot's span of numbers.
    for (const auto& [model, s] : std::vector<std::pair<const char*, int>>{
             {"R850", -1}, {"R320T", -1}, {"K510", 0}, {"Z320", 0}, {"K710", 0}, {"R560SO", -1}, {"R270M", -1}}) {
        const auto p = MakeModulePoints(model, {0x40, s, PointProtocol::Ascii}, why);
        ASSERT_TRUE(p) << model << ": " << why;
        const ModbusLayout l = LayoutOf(p->Points());
        for (auto t : {ModbusTable::Coils, ModbusTable::DiscreteInputs, ModbusTable::InputRegisters,
                       ModbusTable::HoldingRegisters, ModbusTable::QualityRegisters})
            EXPECT_LE(l.Size(t), kModbusSlotSpan) << model << " " << ModbusTableName(t);
    }
}

TEST(ModbusTcpFrame, HeadersThatCannotStartARequestCloseTheConnection) {
    struct Row {
        const char* what;
        Bytes bytes;
        FrameCheck check;
        std::size_t length;
    };
    const std::vector<Row> rows = {
        {"half a header", {0, 1, 0, 0, 0}, FrameCheck::Incomplete, 7},
        {"header announcing more", {0, 1, 0, 0, 0, 6, 9, 4}, FrameCheck::Incomplete, 12},
        {"whole, with the next behind", {0, 1, 0, 0, 0, 2, 9, 7, 0, 2}, FrameCheck::Whole, 8},
        {"protocol id 1", {0, 1, 0, 1, 0, 6, 9, 4, 0, 0, 0, 1}, FrameCheck::Bad, 0},
        {"length 1: no function", {0, 1, 0, 0, 0, 1, 9}, FrameCheck::Bad, 0},
        {"length 0", {0, 1, 0, 0, 0, 0}, FrameCheck::Bad, 0},
        {"length 255", {0, 1, 0, 0, 0, 255, 9}, FrameCheck::Bad, 0},
        {"length 65535", {0, 1, 0, 0, 255, 255, 9}, FrameCheck::Bad, 0},
    };
    for (const Row& row : rows) {
        std::size_t length = 0;
        std::string why;
        EXPECT_EQ(CheckFrame(row.bytes.data(), row.bytes.size(), length, why), row.check) << row.what;
        if (row.check != FrameCheck::Bad) EXPECT_EQ(length, row.length) << row.what;
        else EXPECT_FALSE(why.empty()) << row.what;
    }
}

TEST_F(ModbusTcpUnitsTest, ReadsAnswerTheLatestPollAndEveryRefusalHasItsException) {
    Poll(0x09, -1, 140.5, {{2, PointQuality::BurnOut}});
    Poll(0x0A, -1, 0);
    Poll(0x40, 2, 0);
    const Pdu ai0 = FloatWords(140.5f), ai1 = FloatWords(141.5f), one = FloatWords(1.0f);
    const Pdu nan{0x7F, 0xC0, 0, 0};
    struct Row {
        const char* what;
        int unit;
        Pdu request;
        Pdu answer;
    };
    const std::vector<Row> rows = {
        {"two floats", 0x09, {4, 0, 0, 0, 4}, Pdu{4, 8} + ai0 + ai1},
        {"the low word of a float alone", 0x09, {4, 0, 1, 0, 1}, Pdu{4, 2, ai0[2], ai0[3]}},
        {"burn-out reads NaN", 0x09, {4, 0, 4, 0, 2}, Pdu{4, 4} + nan},
        {"qualities", 0x09, {4, 0x03, 0xE8, 0, 3}, {4, 6, 0, 0, 0, 0, 0, 1}},
        {"digital inputs as floats after the analog ones", 0x0A, {4, 0, 0, 0, 2}, Pdu{4, 4} + one},
        {"discrete inputs", 0x0A, {2, 0, 0, 0, 8}, {2, 1, 0xFF}},
        {"coils", 0x0A, {1, 0, 0, 0, 8}, {1, 1, 0xFF}},
        {"a coil past the map", 0x0A, {1, 0, 0, 0, 9}, {0x81, 0x02}},
        {"a slot's coils at 301", 0x40, {1, 0x01, 0x2C, 0, 8}, {1, 1, 0xFF}},
        {"unit of no module", 0x77, {4, 0, 0, 0, 2}, {0x84, 0x0A}},
        {"unknown function", 0x09, {0x07}, {0x87, 0x01}},
        {"encapsulated interface", 0x09, {0x2B, 0x0E, 1, 0}, {0xAB, 0x01}},
        {"count 0", 0x09, {4, 0, 0, 0, 0}, {0x84, 0x03}},
        {"126 registers", 0x09, {4, 0, 0, 0, 126}, {0x84, 0x03}},
        {"2001 coils", 0x0A, {1, 0, 0, 0x07, 0xD1}, {0x81, 0x03}},
        {"short request", 0x09, {4, 0, 0}, {0x84, 0x03}},
        {"a byte too many", 0x09, {4, 0, 0, 0, 2, 0}, {0x84, 0x03}},
        {"past the floats", 0x09, {4, 0, 15, 0, 2}, {0x84, 0x02}},
        {"past the qualities", 0x09, {4, 0x03, 0xEF, 0, 2}, {0x84, 0x02}},
        {"a slot the unit has not", 0x09, {4, 0, 100, 0, 2}, {0x84, 0x02}},
        {"past every slot", 0x40, {4, 0x03, 0x84, 0, 1}, {0x84, 0x02}},
        {"holding registers of a model without", 0x09, {3, 0, 0, 0, 2}, {0x83, 0x02}},
        {"a configured slot never polled", 0x40, {2, 0, 100, 0, 1}, {0x82, 0x0B}},
        {"qualities never polled", 0x01, {4, 0x03, 0xE8, 0, 1}, {0x84, 0x0B}},
    };
    for (const Row& row : rows) EXPECT_EQ(Ask(row.unit, row.request), row.answer) << row.what;
}

TEST_F(ModbusTcpUnitsTest, APointNotReadByStaleAfterPollsAnswersTargetFailedItsQualityStays) {
    Poll(0x09, -1, 10.0);
    for (int failed = 1; failed <= 3; ++failed) {
        Poll(0x09, -1, 10.0, {{0, PointQuality::Failed}});
        const Pdu value = Ask(0x09, {4, 0, 0, 0, 2});
        if (failed < 3) EXPECT_EQ(value, (Pdu{4, 4} + FloatWords(10.0f))) << failed << " failed polls";
        else EXPECT_EQ(value, (Pdu{0x84, 0x0B})) << failed << " failed polls";
        EXPECT_EQ(Ask(0x09, {4, 0x03, 0xE8, 0, 1}), (Pdu{4, 2, 0, 5})) << failed;
        EXPECT_EQ(Ask(0x09, {4, 0, 2, 0, 2}), (Pdu{4, 4} + FloatWords(11.0f))) << failed;
    }
    Poll(0x09, -1, 20.0);
    EXPECT_EQ(Ask(0x09, {4, 0, 0, 0, 2}), (Pdu{4, 4} + FloatWords(20.0f)));
}

TEST_F(ModbusTcpUnitsTest, WritesBecomeRequestsOnlyForWritablePointsWholeAndInRange) {
    Poll(0x0A, -1, 0);
    Poll(0x01, -1, 1);
    Poll(0x40, 2, 0);
    struct Row {
        const char* what;
        int unit;
        Pdu request;
        Pdu answer; // after the writes succeeded, or the exception
        std::vector<std::string> writes;
    };
    const Pdu f41 = FloatWords(4.1f);
    const std::vector<Row> rows = {
        {"coil on", 0x0A, {5, 0, 3, 0xFF, 0}, {5, 0, 3, 0xFF, 0}, {"0A do3 1"}},
        {"coil off", 0x0A, {5, 0, 3, 0, 0}, {5, 0, 3, 0, 0}, {"0A do3 0"}},
        {"coils by function 15", 0x0A, {15, 0, 3, 0, 1, 1, 1}, {15, 0, 3, 0, 1}, {"0A do3 1"}},
        {"a slot's coil", 0x40, {5, 0x01, 0x2D, 0xFF, 0}, {5, 0x01, 0x2D, 0xFF, 0}, {"40S2 do1 1"}},
        {"a float as typed", 0x01, Pdu{16, 0, 0, 0, 2, 4} + f41, {16, 0, 0, 0, 2}, {"01 ao0 4.1"}},
        {"coil value 1", 0x0A, {5, 0, 3, 0, 1}, {0x85, 0x03}, {}},
        {"coil not writable", 0x0A, {5, 0, 2, 0xFF, 0}, {0x85, 0x02}, {}},
        {"function 15 over a coil not writable", 0x0A, {15, 0, 2, 0, 2, 1, 3}, {0x8F, 0x02}, {}},
        {"function 15 byte count wrong", 0x0A, {15, 0, 3, 0, 1, 2, 1, 0}, {0x8F, 0x03}, {}},
        {"past the coils", 0x0A, {5, 0, 8, 0xFF, 0}, {0x85, 0x02}, {}},
        {"coils of a module with none writable", 0x09, {5, 0, 0, 0xFF, 0}, {0x85, 0x01}, {}},
        {"half a float by function 6", 0x01, {6, 0, 0, 0x40, 0x83}, {0x86, 0x02}, {}},
        {"a float's second half first", 0x01, Pdu{16, 0, 1, 0, 2, 4} + f41, {0x90, 0x02}, {}},
        {"an odd count", 0x01, {16, 0, 0, 0, 1, 2, 0x40, 0x83}, {0x90, 0x02}, {}},
        {"NaN", 0x01, Pdu{16, 0, 0, 0, 2, 4, 0x7F, 0xC0, 0, 0}, {0x90, 0x03}, {}},
        {"beyond the range", 0x01, Pdu{16, 0, 0, 0, 2, 4} + FloatWords(10.5f), {0x90, 0x03}, {}},
        {"infinity", 0x01, Pdu{16, 0, 0, 0, 2, 4, 0x7F, 0x80, 0, 0}, {0x90, 0x03}, {}},
        {"byte count that lies", 0x01, Pdu{16, 0, 0, 0, 2, 6} + f41, {0x90, 0x03}, {}},
        {"124 registers", 0x01, {16, 0, 0, 0, 124, 248}, {0x90, 0x03}, {}},
        {"a unit of no module", 0x33, {5, 0, 3, 0xFF, 0}, {0x85, 0x0A}, {}},
    };
    for (const Row& row : rows) {
        std::vector<WriteRequest> writes;
        EXPECT_EQ(Ask(row.unit, row.request, &writes), row.answer) << row.what;
        std::vector<std::string> made;
        for (const auto& w : writes) {
            char value[32];
            std::snprintf(value, sizeof value, "%g", w.value);
            made.push_back(LocationText(w.key.where) + " " + w.point + " " + value);
            EXPECT_EQ(w.key.bus, "line1");
        }
        EXPECT_EQ(made, row.writes) << row.what;
    }
}

} // namespace
} // namespace tavo::gateway
