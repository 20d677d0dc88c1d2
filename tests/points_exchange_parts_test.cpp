// How the point families cut an exchange they hear: only whole commands, replies and
// frames give parts, and a frame whose length is not the one its function and
// quantity say gives no numbers at all.
#include "points/exchange_parts.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace tavo::decode {
namespace {

PortExchange Ascii(std::string request, std::string reply, bool ok = true) {
    return PortExchange{false, std::move(request), std::move(reply), ok};
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string out;
    for (const int b : bytes)
        out.push_back(static_cast<char>(b));
    return out;
}

PortExchange Modbus(std::initializer_list<int> request, std::initializer_list<int> reply,
                    bool ok = true) {
    return PortExchange{true, Bytes(request), Bytes(reply), ok};
}

TEST(PointExchangeParts, AsciiCommandsAreWholeLinesToOneAddress) {
    struct Row {
        const char* request;
        bool modbus;
        bool cut;
        char lead;
        int address;
        const char* body;
    };
    const Row rows[] = {
        {"#0a2\r", false, true, '#', 0x0A, "2"},
        {"$FF\r", false, true, '$', 0xFF, ""},
        {"%0A0B0C0D0E\r", false, true, '%', 0x0A, "0B0C0D0E"},
        {"#0A2", false, false, 0, 0, ""}, // no CR: not a line the port sends
        {"#0\r", false, false, 0, 0, ""}, // too short for an address
        {"#G1\r", false, false, 0, 0, ""},
        {"#0A2\r", true, false, 0, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request);
        const PortExchange exchange{row.modbus, row.request, "", true};
        const auto command = SplitAsciiCommand(exchange);
        ASSERT_EQ(command.has_value(), row.cut);
        if (!row.cut) continue;
        EXPECT_EQ(command->lead, row.lead);
        EXPECT_EQ(command->address, row.address);
        EXPECT_EQ(command->body, row.body);
        EXPECT_TRUE(AsciiCommandTo(exchange, row.address));
        EXPECT_FALSE(AsciiCommandTo(exchange, row.address ^ 1));
    }
}

TEST(PointExchangeParts, ReplyDataComesOnlyFromWholeSuccessfulReplies) {
    struct Row {
        const char* reply;
        bool ok;
        char first;
        std::size_t from;
        std::optional<std::string_view> data;
    };
    const Row rows[] = {
        {"!0A123\r", true, '!', 3, "123"},
        {"!0A\r", true, '!', 3, ""},
        {"!0\r", true, '!', 3, std::nullopt},
        {"!0A123", true, '!', 3, std::nullopt}, // cut before its CR
        {"!0A123\r", false, '!', 3, std::nullopt},
        {"?0A\r", true, '!', 3, std::nullopt},
        {"!00FF00\r", true, '!', 1, "00FF00"}, // the digital state: no address
        {">+001.50\r", true, '>', 1, "+001.50"},
        {">\r", true, '>', 1, ""},
        {"", true, '>', 1, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply);
        EXPECT_EQ(ReplyDataAfter(Ascii("$0A2\r", row.reply, row.ok), row.first, row.from),
                  row.data);
    }
    EXPECT_EQ(AddressedData(Ascii("$0A2\r", "!0A400600\r")), "400600");
    EXPECT_EQ(ValueData(Ascii("#0A\r", ">+1.0\r")), "+1.0");
    EXPECT_FALSE(ValueData(Ascii("#0A\r", "!0A\r")));
    EXPECT_EQ(HexByte("7f"), 0x7Fu);
    EXPECT_FALSE(HexByte("7"));
    EXPECT_FALSE(HexByte("7FF"));
    EXPECT_FALSE(HexByte("+7"));
}

TEST(PointExchangeParts, ModbusRequestsGiveNumbersOnlyForTheirExactLength) {
    struct Row {
        const char* what;
        PortExchange exchange;
        int first;
        int count;
        int value;
    };
    const Row rows[] = {
        {"read", Modbus({5, 3, 0, 199, 0, 8}, {}), 200, 8, 0},
        {"read, a byte too many", Modbus({5, 3, 0, 199, 0, 8, 0}, {}), 0, 0, 0},
        {"single write", Modbus({5, 6, 0, 220, 0x12, 0x34}, {}), 221, 1, 0x1234},
        {"coil on", Modbus({5, 5, 0, 16, 0xFF, 0}, {}), 17, 1, 0xFF00},
        {"two words", Modbus({5, 16, 0, 0, 0, 2, 4, 1, 2, 3, 4}, {}), 1, 2, 0},
        {"two words, byte count 3", Modbus({5, 16, 0, 0, 0, 2, 3, 1, 2, 3}, {}), 0, 0, 0},
        {"two words, one short", Modbus({5, 16, 0, 0, 0, 2, 4, 1, 2, 3}, {}), 0, 0, 0},
        {"nine coils", Modbus({5, 15, 0, 0, 0, 9, 2, 0xFF, 1}, {}), 1, 9, 0},
        {"no quantity", Modbus({5, 16, 0, 0, 0, 0, 0}, {}), 0, 0, 0},
        {"slave id", Modbus({5, 17}, {}), 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto request = SplitModbusRequest(row.exchange);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->slave, 5);
        EXPECT_EQ(request->first, row.first);
        EXPECT_EQ(request->count, row.count);
        EXPECT_EQ(request->value, row.value);
    }
    EXPECT_FALSE(SplitModbusRequest(Modbus({5}, {})));
    EXPECT_FALSE(SplitModbusRequest(Ascii("#05\r", ">\r")));
}

TEST(PointExchangeParts, ReadDataHasExactlyTheBytesItsQuantityAsksFor) {
    const std::initializer_list<int> request = {5, 3, 0, 0, 0, 2};
    struct Row {
        const char* what;
        PortExchange exchange;
        bool whole;
    };
    const Row rows[] = {
        {"whole", Modbus(request, {5, 3, 4, 0x12, 0x34, 0xFF, 0xFE}), true},
        {"a byte more", Modbus(request, {5, 3, 4, 0x12, 0x34, 0xFF, 0xFE, 0}), false},
        {"a byte short", Modbus(request, {5, 3, 4, 0x12, 0x34, 0xFF}), false},
        {"count says 2", Modbus(request, {5, 3, 2, 0x12, 0x34}), false},
        {"other slave", Modbus(request, {6, 3, 4, 0x12, 0x34, 0xFF, 0xFE}), false},
        {"exception", Modbus(request, {5, 0x83, 2}), false},
        {"failed", Modbus(request, {5, 3, 4, 0x12, 0x34, 0xFF, 0xFE}, false), false},
        {"empty", Modbus(request, {}), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto data = ModbusReadData(row.exchange, *SplitModbusRequest(row.exchange));
        ASSERT_EQ(data.has_value(), row.whole);
        const auto read = ModbusReadOf(row.exchange, 5);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->values.has_value(), row.whole);
        if (!row.whole) continue;
        EXPECT_EQ(DataWord(*data, 0), 0x1234);
        EXPECT_EQ(DataWord(*data, 1), 0xFFFE);
        EXPECT_EQ(*read->values, (std::vector<std::uint16_t>{0x1234, 0xFFFE}));
    }
    // Coils come least significant bit first.
    const auto coils = ModbusReadOf(Modbus({5, 1, 0, 9, 0, 10}, {5, 1, 2, 0x81, 0x02}), 5);
    ASSERT_TRUE(coils && coils->values);
    EXPECT_TRUE(coils->coils);
    EXPECT_TRUE(coils->Covers(10) && coils->Covers(19) && !coils->Covers(20));
    EXPECT_EQ(*coils->values, (std::vector<std::uint16_t>{1, 0, 0, 0, 0, 0, 0, 1, 0, 1}));
    EXPECT_FALSE(ModbusReadOf(Modbus({6, 1, 0, 9, 0, 10}, {}), 5));
    EXPECT_FALSE(ModbusReadOf(Modbus({5, 1, 0, 9, 0, 10, 0}, {}), 5));
}

TEST(PointExchangeParts, WritesAreConfirmedByTheirEcho) {
    const auto words =
        ModbusWriteOf(Modbus({5, 16, 0, 199, 0, 2, 4, 0, 7, 0xFF, 0xFF}, {5, 16, 0, 199, 0, 2}), 5);
    ASSERT_TRUE(words);
    EXPECT_TRUE(words->ok);
    EXPECT_FALSE(words->coils);
    EXPECT_EQ(words->first, 200);
    EXPECT_EQ(words->values, (std::vector<std::uint16_t>{7, 0xFFFF}));

    const auto coils = ModbusWriteOf(Modbus({5, 15, 0, 0, 0, 3, 1, 0x05}, {5, 15, 0, 0, 0, 3}), 5);
    ASSERT_TRUE(coils);
    EXPECT_TRUE(coils->coils);
    EXPECT_EQ(coils->values, (std::vector<std::uint16_t>{1, 0, 1}));

    const auto on = ModbusWriteOf(Modbus({5, 5, 0, 3, 0xFF, 0}, {5, 5, 0, 3, 0xFF, 0}), 5);
    ASSERT_TRUE(on);
    EXPECT_EQ(on->values, (std::vector<std::uint16_t>{1}));

    // An echo of another value, a failed exchange: the write was not confirmed.
    EXPECT_FALSE(ModbusWriteOf(Modbus({5, 6, 0, 0, 0, 9}, {5, 6, 0, 0, 0, 8}), 5)->ok);
    EXPECT_FALSE(ModbusWriteOf(Modbus({5, 6, 0, 0, 0, 9}, {5, 6, 0, 0, 0, 9}, false), 5)->ok);
    EXPECT_FALSE(ModbusWriteOf(Modbus({5, 6, 0, 0, 0, 9}, {5, 6, 0, 0}), 5)->ok);
    // Not a write, another slave, a frame of the wrong length.
    EXPECT_FALSE(ModbusWriteOf(Modbus({5, 3, 0, 0, 0, 1}, {}), 5));
    EXPECT_FALSE(ModbusWriteOf(Modbus({5, 6, 0, 0, 0, 9}, {}), 4));
    EXPECT_FALSE(ModbusWriteOf(Modbus({5, 16, 0, 0, 0, 2, 4, 0, 7}, {}), 5));
    EXPECT_TRUE(IsModbusTo(Modbus({5, 17}, {}), 5));
    EXPECT_FALSE(IsModbusTo(Modbus({5, 17}, {}), 6));
    EXPECT_FALSE(IsModbusTo(Ascii("#05\r", ""), 5));
}

} // namespace
} // namespace tavo::decode
