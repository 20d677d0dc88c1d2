// The data logger's record memory: the field formats the panel reads and writes,
// the upload's order of records and its retries, the saved table, and the
// simulated logger's memory filling in each storage mode.
#include "devices/data_logger.h"
#include "devices/hex_codes.h"

#include "sim/models.h"
#include "sim/module.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace tavo {
namespace {

TEST(DataLoggerFields, RecordValuesDecodeWithTheirDecimalsAndSign) {
    const std::pair<const char*, const char*> good[] = {
        {"304D2", "-123.4"}, {"00010", "16"},     {"204D2", "123.4"}, {"60001", "0.001"},
        {"81234", "0.4660"}, {"2FFFF", "6553.5"}, {"10000", "-0"},    {"9000a", "-0.0010"},
        {"50064", "-1.00"},  {"40064", "1.00"},
    };
    for (const auto& [field, text] : good)
        EXPECT_EQ(DecodeRecordValue(field), text) << field;
    for (const char* bad : {"", "3004", "304D22", "A04D2", "304G2", "-04D2", " 04D2"})
        EXPECT_FALSE(DecodeRecordValue(bad)) << bad;
}

TEST(DataLoggerFields, AlarmEntriesScaleExactlyOrAreRefused) {
    const std::pair<const char*, const char*> good[] = {
        {"12.5", "+1007D"},   {"-0.5", "-10005"}, {"65535", "+0FFFF"}, {"0.29", "+2001D"},
        {".5", "+10005"},     {"5.", "+00005"},   {"-0", "+00000"},    {"0.00001", "+50001"},
        {"6.5535", "+4FFFF"}, {"-100", "-00064"},
    };
    for (const auto& [entry, field] : good)
        EXPECT_EQ(AlarmLimitField(entry), field) << entry;
    for (const char* bad :
         {"70000", "6553.6", "", "-", ".", "1.2.3", "1-2", "--1", "+5", "1e3", "0.123456", "12 "})
        EXPECT_FALSE(AlarmLimitField(bad)) << bad;

    const std::pair<const char*, const char*> shown[] = {
        {"+1007D", "12.5"}, {"-10005", "-0.5"},     {"+0FFFF", "65535"},
        {"+60010", "16"}, // a decimals digit outside 1..5 counts as none
        {"+00010", "16"},   {"-50001", "-0.00001"}, {"-00000", "0"},
    };
    for (const auto& [field, text] : shown)
        EXPECT_EQ(AlarmLimitText(field), text) << field;
    for (const char* bad : {"*1007D", "+1007", "+X007D", "+100GD", "+1007D0"})
        EXPECT_FALSE(AlarmLimitText(bad)) << bad;
}

TEST(DataLoggerFields, MemoryConfigurationReadsAndWritesNineCharacters) {
    const auto c = ParseMemoryConfig("A5120000A");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->storeMask, 0xA5u);
    EXPECT_TRUE(c->recordData);
    EXPECT_EQ(c->mode, StorageMode::Mixed);
    EXPECT_FALSE(c->cyclic);
    EXPECT_EQ(c->intervalSeconds, 10u);
    EXPECT_EQ(MemoryConfigText(*c), "A5120000A");
    // Any mode other than "0" and "1" is mixed; any record mode other than "0" cyclic.
    const auto odd = ParseMemoryConfig("0307XFFFF");
    ASSERT_TRUE(odd);
    EXPECT_FALSE(odd->recordData);
    EXPECT_EQ(odd->mode, StorageMode::Mixed);
    EXPECT_TRUE(odd->cyclic);
    EXPECT_EQ(MemoryConfigText(*odd), "03021FFFF");
    for (const char* bad : {"", "A5120000", "A5120000AB", "G5120000A", "A51200G0A"})
        EXPECT_FALSE(ParseMemoryConfig(bad)) << bad;

    EXPECT_EQ(ParseSampleInterval("2"), 2u);
    EXPECT_EQ(ParseSampleInterval("65535"), 65535u);
    for (const char* bad : {"1", "0", "65536", "", "12a", "-5", "999999"})
        EXPECT_FALSE(ParseSampleInterval(bad)) << bad;
}

TEST(DataLoggerFields, OnlyWellFormedRecordsBecomeRows) {
    const auto standard = ParseRecordData("000010", false, 7);
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard->record, "0007");
    EXPECT_EQ(standard->channel, "0");
    EXPECT_EQ(standard->data, "16");
    EXPECT_EQ(standard->interval, "-----");
    // A standard record with the interval field still shows none.
    EXPECT_EQ(ParseRecordData("7304D20000012C", false, 0)->interval, "-----");
    const auto event = ParseRecordData("2304D20000012C", true, 12);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->record, "0012");
    EXPECT_EQ(event->data, "-123.4");
    EXPECT_EQ(event->interval, "300");
    EXPECT_EQ(ParseRecordData("0000010FFFFFFFF", true, 0), std::nullopt); // one too long
    for (const char* bad :
         {"", "0", "00001", "0000100", "800010", "X?#X?#", "0000G0", "00001000000"})
        EXPECT_FALSE(ParseRecordData(bad, false, 0)) << bad;
    for (const char* bad : {"000010", "00001000000G12", "2304D2000G012C", "0000100000012"})
        EXPECT_FALSE(ParseRecordData(bad, true, 0)) << bad;
}

TEST(DataLoggerFields, SavedTableHasTheHeaderAndOneLinePerRow) {
    EXPECT_EQ(RecordsCsv({}), "Record,Channel,Data,Interval\n");
    EXPECT_EQ(RecordsCsv({{"0000", "1", "-123.4", "-----"}, {"0000", "2", "16", "300"}}),
              "Record,Channel,Data,Interval\n0000,1,-123.4,-----\n0000,2,16,300\n");
}

// The indices an upload sends, with every record answered.
std::vector<std::pair<unsigned, unsigned>> Indices(RecordUpload upload) {
    std::vector<std::pair<unsigned, unsigned>> out;
    while (!upload.Finished()) {
        const auto step = upload.Current();
        out.emplace_back(step.index, step.number);
        RecordRow row;
        EXPECT_EQ(upload.Offer(step.event ? "100010000000FF" : "100010", row),
                  RecordUpload::Outcome::Row);
        EXPECT_EQ(row.record, DecimalText(static_cast<int>(step.number), 4));
    }
    return out;
}

TEST(DataLoggerUpload, SeriesFollowTheStorageMode) {
    using V = std::vector<std::pair<unsigned, unsigned>>;
    EXPECT_EQ(Indices(RecordUpload(StorageMode::Mixed, 3, 2)),
              (V{{0, 0}, {1, 1}, {2, 2}, {0x1388, 0}, {0x1389, 1}}));
    EXPECT_EQ(Indices(RecordUpload(StorageMode::Event, 3, 2)), (V{{0, 0}, {1, 1}}));
    EXPECT_EQ(Indices(RecordUpload(StorageMode::Standard, 2, 5)), (V{{0, 0}, {1, 1}}));
    EXPECT_TRUE(RecordUpload(StorageMode::Mixed, 0, 0).Finished());
    // In mixed storage the standard series cannot reach the event numbers.
    EXPECT_EQ(RecordUpload(StorageMode::Mixed, 0xFFFF, 0xFFFF).Total(),
              0x1388u + (0x10000u - 0x1388u));
}

TEST(DataLoggerUpload, EachRecordIsTriedTwiceAndTheSecondFailureEndsItsSeries) {
    RecordUpload upload(StorageMode::Mixed, 2, 1);
    RecordRow row;
    EXPECT_EQ(upload.Offer(std::string("000010"), row), RecordUpload::Outcome::Row);
    EXPECT_EQ(upload.Offer(std::nullopt, row), RecordUpload::Outcome::Retry);
    EXPECT_EQ(upload.Current().index, 1u); // the same record again
    EXPECT_EQ(upload.Offer(std::string("100020"), row), RecordUpload::Outcome::Row);
    EXPECT_EQ(row.record, "0001");
    // A garbled reply counts as a failure; so does a short one.
    EXPECT_EQ(upload.Offer(std::string("X?#X?#X?#X?#X?"), row), RecordUpload::Outcome::Retry);
    EXPECT_EQ(upload.Offer(std::string("000010"), row), RecordUpload::Outcome::Failed);
    EXPECT_TRUE(upload.Finished());
    EXPECT_TRUE(upload.Failed());
    EXPECT_EQ(upload.Done(), 2u);

    // In mixed storage a failed standard series hands over to the event series.
    RecordUpload mixed(StorageMode::Mixed, 3, 2);
    EXPECT_EQ(mixed.Offer(std::string("000010"), row), RecordUpload::Outcome::Row);
    EXPECT_EQ(mixed.Offer(std::nullopt, row), RecordUpload::Outcome::Retry);
    EXPECT_EQ(mixed.Offer(std::nullopt, row), RecordUpload::Outcome::Failed);
    EXPECT_FALSE(mixed.Finished());
    EXPECT_EQ(mixed.Position(), 3u);
    const auto event = mixed.Current();
    EXPECT_TRUE(event.event);
    EXPECT_EQ(event.index, 0x1388u);
    EXPECT_EQ(mixed.Offer(std::nullopt, row), RecordUpload::Outcome::Retry); // tried twice again
    EXPECT_EQ(mixed.Offer(std::string("100010000000FF"), row), RecordUpload::Outcome::Row);
    EXPECT_EQ(row.record, "0000");
    EXPECT_EQ(mixed.Offer(std::string("100010000000FF"), row), RecordUpload::Outcome::Row);
    EXPECT_TRUE(mixed.Finished());
    EXPECT_TRUE(mixed.Failed());
    EXPECT_EQ(mixed.Done(), 3u);
    EXPECT_EQ(mixed.Position(), mixed.Total());

    RecordUpload cancelled(StorageMode::Standard, 5, 0);
    EXPECT_EQ(cancelled.Offer(std::string("000010"), row), RecordUpload::Outcome::Row);
    cancelled.Cancel();
    EXPECT_TRUE(cancelled.Finished());
    EXPECT_FALSE(cancelled.Failed());
    EXPECT_EQ(cancelled.Done(), 1u);
}

// ---- The simulated logger over time ---------------------------------------------------

class Logger {
public:
    explicit Logger(std::map<std::string, std::string> options) {
        sim::ModuleConfig config;
        config.designation = "R270M";
        config.options = std::move(options);
        module_ = sim::MakeModule(config);
    }
    std::string At(double seconds, const std::string& line) {
        const auto at = t0_ + std::chrono::duration_cast<sim::SimClock::duration>(
                                  std::chrono::duration<double>(seconds));
        return module_->OnAsciiLine(line, at).value_or("(silent)");
    }

private:
    std::unique_ptr<sim::SimModule> module_;
    sim::TimePoint t0_ = sim::SimClock::now();
};

TEST(DataLoggerSim, StandardMemoryFillsAtTheIntervalAndWrapsWhenCyclic) {
    Logger normal({{"value", "1"}, {"stdrecords", "0"}, {"eventrecords", "0"}});
    // Channel 0 alone, standard storage, normal, 2 s.
    EXPECT_EQ(normal.At(0, "@01C011000002"), "!01");
    EXPECT_EQ(normal.At(0, "@01S1"), "!01");
    EXPECT_EQ(normal.At(20, "@01N"), "!01000A");
    // 16384 samples fill it; normal recording then keeps the first ones.
    EXPECT_EQ(normal.At(2.0 * 0x4000 + 100, "@01N"), "!014000");
    EXPECT_EQ(normal.At(2.0 * 0x4000 + 100, "@01R3FFF"), "!01082710"); // 1.0000
    EXPECT_EQ(normal.At(2.0 * 0x4000 + 100, "@01R4000"), "?01");

    // Cyclic: the memory full, each new sample drops the oldest.
    Logger cyclic({{"stdrecords", "0"}, {"eventrecords", "0"}, {"storage", "standard"}});
    EXPECT_EQ(cyclic.At(0, "@01D"), "!01FF100000A");
    EXPECT_EQ(cyclic.At(0, "@01C011010002"), "!01");
    EXPECT_EQ(cyclic.At(0, "@01S1"), "!01");
    EXPECT_EQ(cyclic.At(32760, "@01N"), "!013FFC"); // 16380 samples
    const std::string eighth = cyclic.At(32760, "@01R0007");
    EXPECT_NE(cyclic.At(32760, "@01R0000"), eighth);
    EXPECT_EQ(cyclic.At(32782, "@01N"), "!014000"); // eleven more: seven dropped
    EXPECT_EQ(cyclic.At(32782, "@01R0000"), eighth);
}

TEST(DataLoggerSim, EventsAreStoredWhenAChannelLeavesItsLimits) {
    Logger m({{"pattern0", "1/4000,9/4000"}, {"stdrecords", "0"}, {"eventrecords", "0"}});
    EXPECT_EQ(m.At(0, "@01C011100002"), "!01"); // channel 0, event storage
    EXPECT_EQ(m.At(0, "@01A0+00005-00005"), "!01");
    EXPECT_EQ(m.At(0, "@01S1"), "!01");
    // The module watches its inputs all the time; here it looks at each command.
    for (double t = 0.5; t < 17; t += 1.0)
        m.At(t, "@01T");
    EXPECT_EQ(m.At(17, "@01L"), "!010002"); // above 5 from 4 s and from 12 s
    EXPECT_EQ(m.At(17, "@01N"), "!010000");
    EXPECT_EQ(m.At(17, "@01R0000"), "!01062328"
                                    "00000004"); // 9.000 at 4 s
    EXPECT_EQ(m.At(17, "@01R0001"), "!01062328"
                                    "0000000C");

    // Mixed storage keeps at most 5000 standard records: a change to it drops the
    // oldest beyond that.
    Logger many({{"stdrecords", "9000"}, {"eventrecords", "0"}, {"storage", "standard"}});
    EXPECT_EQ(many.At(0, "@01N"), "!012328");
    EXPECT_EQ(many.At(0, "@01CFF120000A"), "!01");
    EXPECT_EQ(many.At(0, "@01N"), "!011388");
}

} // namespace
} // namespace tavo
