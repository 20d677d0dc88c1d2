// The K100 panels' plain logic: length lists and codes, what a stored map entry
// shows, Apply's plan, the map file reader, and the decoding of the Modbus side's
// identification, names and slot data.
#include "panels/system/k100_map.h"
#include "points/k100_modbus.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

K100MapRow RowOf(int type, const char* start, int length) {
    return {type, start, length, K100AddressHead(type)};
}

TEST(K100Map, LengthCodesBothWays) {
    struct Case {
        int type, index, units, code;
    };
    const Case cases[] = {
        {kRef0X, 0, 0, 0},  {kRef0X, 1, 8, 4}, {kRef0X, 2, 16, 5}, {kRef0X, 4, 64, 7},
        {kRef0X, 5, 0, 0},  {kRef4X, 1, 1, 1}, {kRef4X, 3, 4, 3},  {kRef4X, 5, 16, 5},
        {kRef4X, -1, 0, 0}, {-1, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.index));
        EXPECT_EQ(K100LengthUnits(c.type, c.index), c.units);
        EXPECT_EQ(K100LengthCode(c.type, c.index), c.code);
        if (c.units > 0) {
            EXPECT_EQ(K100LengthIndexForCode(c.type, c.code), c.index);
        }
    }
    EXPECT_EQ(K100LengthIndexForCode(kRef0X, 0), 0);
    EXPECT_EQ(K100LengthIndexForCode(kRef0X, 2), std::nullopt); // 2 coils: not on the list
    EXPECT_EQ(K100LengthIndexForCode(kRef4X, 6), std::nullopt);
}

TEST(K100Map, StoredEntriesChooseTypeStartAndLength) {
    struct Case {
        int stored, code;
        K100MapRow before;
        const char* shows; // type head start length
    };
    const Case cases[] = {
        {40001, 5, RowOf(kRef0X, "", 0), "1 4X 00001 5"},
        {17, 4, RowOf(kRef4X, "", 3), "0 0X 00017 1"},
        {10001, 7, RowOf(kRef0X, "", 0), "0 0X 10001 4"},  // every digit of a coil start
        {25000, 5, RowOf(kRef4X, "1", 2), "1 4X 05000 5"}, // neither range: the type stays
        {9, 2, RowOf(kRef0X, "", 3), "0 0X 00009 3"},      // a code the list lacks
    };
    for (const Case& c : cases) {
        K100MapRow row = c.before;
        K100ShowStoredEntry(row, c.stored, c.code);
        EXPECT_EQ(std::to_string(row.type) + " " + row.head + " " + row.start + " " +
                      std::to_string(row.length),
                  c.shows)
            << c.stored;
    }
}

TEST(K100Map, ApplyPlansEveryWriteOrNone) {
    const std::array<K100SlotKind, 8> kinds = {K100SlotKind::Digital, K100SlotKind::Counter,
                                               K100SlotKind::Digital};
    K100Map map;
    map[0] = RowOf(kRef0X, "00009", 1);
    map[1] = RowOf(kRef4X, "00001", 5);
    map[2] = RowOf(kRef0X, "00017", 0);
    map[3] = RowOf(kRef0X, "", 0);
    K100ApplyPlan plan = K100PlanApply(map, kinds, 4);
    ASSERT_EQ(plan.error, "");
    ASSERT_EQ(plan.writes.size(), 4u);
    EXPECT_EQ(plan.writes[1].start, 40001); // 9C41
    EXPECT_EQ(plan.writes[1].code, 5);
    EXPECT_EQ(plan.writes[0].code, 4);
    EXPECT_EQ(plan.writes[2].start, 0);
    EXPECT_EQ(map[2].start, "00000");
    EXPECT_EQ(map[3].start, "00000");

    // Two 0X slots 1-16 and 16-23; an out-of-order start counts as an overlap too.
    map[0] = RowOf(kRef0X, "1", 2);
    map[2] = RowOf(kRef0X, "16", 1);
    EXPECT_EQ(K100PlanApply(map, kinds, 4).error,
              "Slot2: Overlap of modbus address range Error!\n");
    map[0] = RowOf(kRef0X, "33", 1);
    map[2] = RowOf(kRef0X, "17", 1);
    EXPECT_EQ(K100PlanApply(map, kinds, 4).error,
              "Slot2: Overlap of modbus address range Error!\n");
    // References count from 1.
    map[2] = RowOf(kRef0X, "0", 1);
    map[0] = RowOf(kRef0X, "0", 0);
    EXPECT_EQ(K100PlanApply(map, kinds, 4).error, "Start Address out of range!");
    // Rows beyond the rack are not looked at.
    map[2] = RowOf(kRef0X, "17", 1);
    map[5] = RowOf(kRef0X, "garbage", 3);
    plan = K100PlanApply(map, kinds, 4);
    EXPECT_EQ(plan.error, "");
    EXPECT_EQ(plan.writes.size(), 4u);
}

TEST(K100MapFile, ReaderTakesWhatTheWriterWritesAndBlanksAsScanfWould) {
    K100Map map;
    map[0] = RowOf(kRef0X, "00033", 2);
    map[1] = RowOf(kRef4X, "00101", 4);
    const K100MapFile back = ParseK100MapFile(K100MapFileText(map));
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.rows[0].start, 33);
    EXPECT_EQ(back.rows[0].length, 2);
    EXPECT_EQ(back.rows[1].type, 1);
    EXPECT_EQ(back.rows[1].start, 101);
    EXPECT_TRUE(K100MapFileText(map).find("Slot1   Start Addr: 400101    End Addr: 400108\r\n") !=
                std::string::npos);

    std::string lines;
    for (int k = 0; k < 8; ++k)
        lines += "Slot:  " + std::to_string(k) + ", Ref. Type:1, S. Addr:   7, Length: 0  \n";
    EXPECT_EQ(ParseK100MapFile(lines).error, "");
    EXPECT_EQ(ParseK100MapFile(lines + "anything after the eight lines").error, "");
    EXPECT_EQ(ParseK100MapFile("").error, "Line 1: the file ends before the line of slot 0.");
    EXPECT_EQ(
        ParseK100MapFile(std::string("Slot: 0, Ref. Type: 0, S. Addr: 99999999999, Length: 0\n"))
            .error.substr(0, 16),
        "Line 1: expected");
}

TEST(K100Modbus, AddressesNamesAndIdentification) {
    EXPECT_EQ(K100ShownAddress(40001), 400001);
    EXPECT_EQ(K100ShownAddress(17), 17);
    EXPECT_EQ(K100ShownAddress(30000), 30000);
    EXPECT_EQ(K100AddressText(17), "000017");

    std::vector<std::uint8_t> block(76, 0);
    block[0] = 0x21, block[1] = 0x91, block[4] = 0xA3, block[5] = 0x10, block[25] = 1;
    block[8] = 0x12;
    block[28] = 0x9C, block[29] = 0x41, block[44] = 0x9C, block[45] = 0x50;
    K100ModbusRack rack;
    ASSERT_TRUE(DecodeK100Identification(block, rack));
    EXPECT_EQ(rack.slotCount, 4);
    EXPECT_EQ(rack.firmware, "A3.10");
    EXPECT_EQ(rack.counterFlag, 1);
    EXPECT_EQ(rack.modules[0].type, 0x12);
    EXPECT_EQ(rack.modules[0].start, 400001);
    EXPECT_EQ(rack.modules[0].end, 400016);
    block[1] = 0x92;
    EXPECT_FALSE(DecodeK100Identification(block, rack));
    block[1] = 0x90;
    EXPECT_FALSE(DecodeK100Identification(
        std::vector<std::uint8_t>(block.begin(), block.begin() + 59), rack));
    EXPECT_EQ(rack.slotCount, 4); // unchanged

    // Two characters a register, the first one in the low byte.
    std::vector<std::uint8_t> names(128, 0);
    names[0] = '5', names[1] = 'K', names[2] = '0', names[3] = '5';
    names[16] = 0x01, names[17] = 'A'; // a byte nobody can show
    ASSERT_TRUE(DecodeK100Names(names, rack));
    EXPECT_EQ(rack.modules[0].name, "K550");
    EXPECT_EQ(rack.modules[1].name, "A?");
    EXPECT_FALSE(DecodeK100Names(std::vector<std::uint8_t>(127, 0), rack));
}

TEST(K100Modbus, PollsValuesAndControls) {
    struct Poll {
        int start, end;
        K100SlotPoll::Read read;
        int reference, count;
    };
    const Poll polls[] = {
        {1, 16, K100SlotPoll::Read::Coils, 1, 16},
        {400013, 400028, K100SlotPoll::Read::Registers, 13, 16},
        {0, 0, K100SlotPoll::Read::Nothing, 0, 0},
        {400001, 400200, K100SlotPoll::Read::Nothing, 0, 0}, // more than a request carries
        {17, 3, K100SlotPoll::Read::Nothing, 0, 0},
    };
    for (const Poll& p : polls) {
        K100ModbusSlot s;
        s.start = p.start;
        s.end = p.end;
        const K100SlotPoll poll = K100PollFor(s);
        EXPECT_EQ(poll.read, p.read) << p.start;
        EXPECT_EQ(poll.reference, p.reference) << p.start;
        EXPECT_EQ(poll.count, p.count) << p.start;
    }

    const std::vector<std::uint16_t> counter = {0x0001, 0x0002, 0,      5,      0,      0,
                                                0,      0,      0x0001, 0x0004, 0x0005, 0};
    EXPECT_EQ(K100ValueText(0x06, 0, counter, false), "65538");
    EXPECT_EQ(K100ValueText(0x06, 0, counter, true), "00010002");
    EXPECT_EQ(K100ValueText(0x06, 1, counter, false), "5");
    EXPECT_EQ(K100ValueRows(0x06, 16), 4);
    EXPECT_EQ(K100ValueText(0x02, 0, {0x8001}, false), "-100.00 %");
    EXPECT_EQ(K100ValueText(0x18, 0, {12500}, false), "12.500");
    EXPECT_EQ(K100ValueText(0x18, 1, {12500}, false), ""); // beyond the words
    EXPECT_EQ(K100CounterFromRegisters(counter, 1)->overflow, true);
    EXPECT_EQ(K100CounterFromRegisters(counter, 2)->counting, true);
    EXPECT_EQ(K100CounterFromRegisters(counter, 4), std::nullopt);
    const auto fromCoils = K100CounterFromCoils({0x41, 0x00}, 1);
    ASSERT_TRUE(fromCoils);
    EXPECT_FALSE(fromCoils->counting);
    EXPECT_TRUE(fromCoils->overflow);

    EXPECT_EQ(K100OutputWord("12.5", false), 12500);
    EXPECT_EQ(K100OutputWord(" 65.535 ", false), 65535);
    EXPECT_EQ(K100OutputWord("65.536", false), std::nullopt);
    EXPECT_EQ(K100OutputWord("1e3", false), std::nullopt);
    EXPECT_EQ(K100OutputWord("ffff", true), 0xFFFF);
    EXPECT_EQ(K100OutputWord("10000", true), std::nullopt);
    EXPECT_EQ(K100OutputWord("", true), std::nullopt);

    const K100CounterWrite reg = K100CounterControl(0, 3, 13, 2, K100CounterAction::ClearOverflow);
    EXPECT_FALSE(reg.coil);
    EXPECT_EQ(reg.reference, 27);
    EXPECT_EQ(reg.value, 3);
    const K100CounterWrite coil = K100CounterControl(1, 3, 13, 3, K100CounterAction::Clear);
    EXPECT_TRUE(coil.coil);
    EXPECT_EQ(coil.reference, 3 * 16 + 1 + 12 + 1);
    EXPECT_EQ(coil.value, 1);
}

} // namespace
} // namespace tavo
