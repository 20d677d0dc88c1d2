// The points of rack slots and Z-series slot modules against the simulated racks,
// over a pseudo-terminal: the commands ReadAll and Write send, byte for byte, the
// values, units and qualities the replies give, what is refused before anything
// is sent, and which module sits in a slot.
#include "points/families.h"
#include "points/k100_modbus.h"
#include "points/point_text.h"
#include "points/slot_identity.h"
#include "sim/rack_access.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tavo {
namespace {

using Strings = std::vector<std::string>;

class Rig {
public:
    explicit Rig(const std::string& bus) : sim_(bus), port_(sim_.Open(80)) {
        TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    }
    ~Rig() { TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs); }

    TavoComPort& port() { return *port_; }
    // What module `address` received since the last call: ASCII lines without their
    // checksum, Modbus frames as hexadecimal without their CRC.
    Strings Received(unsigned address) {
        std::lock_guard lock(sim_.bus().mutex());
        auto& m = sim_.module(address);
        Strings out(m.received.begin(), m.received.end());
        m.received.clear();
        return out;
    }
    template <class F> void With(unsigned address, F f) {
        std::lock_guard lock(sim_.bus().mutex());
        f(sim_.module(address));
    }
    // A command line the test sends itself (to set the slot up); must succeed.
    void Send(unsigned address, const std::string& line) {
        const auto e = test::Send(*port_, line);
        ASSERT_TRUE(e.ok) << line << " -> " << e.reply;
        Received(address);
    }
    void SetInputs(unsigned address, int slot, const std::string& text) {
        With(address, [&](sim::SimModule& m) {
            std::string why;
            auto* rack = m.Find<sim::RackAccess>();
            ASSERT_NE(rack, nullptr);
            ASSERT_TRUE(rack->SetSlotInputs(slot, text, m.Now(), why)) << why;
        });
    }

private:
    test::SimBus sim_;
    std::unique_ptr<TavoComPort> port_;
};

std::unique_ptr<ModulePoints> Make(const std::string& model, int address, int slot,
                                   PointProtocol protocol = PointProtocol::Ascii) {
    std::string error;
    auto points = MakeModulePoints(model, {address, slot, protocol}, error);
    EXPECT_NE(points, nullptr) << model << ": " << error;
    return points;
}

const PointReading& Reading(const ModulePoints& p, const std::string& name) {
    const int i = p.IndexOf(name);
    if (i < 0) throw std::logic_error(p.Model() + " has no point " + name);
    return p.Readings()[static_cast<std::size_t>(i)];
}
const PointInfo& Info(const ModulePoints& p, const std::string& name) {
    const int i = p.IndexOf(name);
    if (i < 0) throw std::logic_error(p.Model() + " has no point " + name);
    return p.Points()[static_cast<std::size_t>(i)];
}

#define EXPECT_VALUE(points, name, expected)                                                      \
    do {                                                                                          \
        const PointReading& r_ = Reading(points, name);                                           \
        EXPECT_EQ(r_.quality, PointQuality::Good) << name;                                        \
        EXPECT_NEAR(r_.value, expected, 1e-9) << name;                                            \
    } while (0)
#define EXPECT_QUALITY(points, name, expected) \
    EXPECT_EQ(Reading(points, name).quality, PointQuality::expected) << name

std::string Names(const ModulePoints& p) {
    return PointNameList(p.Points());
}

// ---- what may be made at all

TEST(SlotPoints, ModelsSlotsAndProtocolsAreJudgedBeforeAnythingIsSent) {
    struct Row {
        const char* model;
        int address, slot;
        PointProtocol protocol;
        const char* names; // empty: refused with `error`
        const char* error;
    };
    const PointProtocol A = PointProtocol::Ascii, M = PointProtocol::Modbus;
    for (const Row& r : {
             Row{"K510", 1, 0, A, "do0..do15, di0..di15", ""},
             Row{"K540", 1, 3, A, "do0..do7, di8..di15", ""},
             Row{"K530", 1, 3, M, "di0..di15", ""},
             Row{"K610", 1, 7, A, "do0..do5", ""},
             Row{"K710", 1, 0, A, "cnt0..cnt3, freq0..freq3", ""},
             Row{"K210", 1, 0, A, "ai0..ai2", ""},
             Row{"K230P", 1, 0, M, "ai0..ai6", ""},
             Row{"K0AI", 1, 0, A, "ai0..ai7", ""},
             Row{"K310", 1, 0, A, "ao0..ao3", ""},
             Row{"Z310", 1, 0, A, "ai0..ai2, ao0..ao2, di0..di5, do0, do1", ""},
             Row{"K220", 1, -1, A, "", "K220 sits in a rack slot: give the slot (0 to 7) with the rack's address"},
             Row{"Z320", 1, 8, A, "", "slot 8 is outside every rack (a rack holds slots 0 to 7)"},
             Row{"Z320", 1, 0, M, "", "Z320 slot modules are reached over ASCII only"},
             Row{"K220", 248, 0, M, "", "a Modbus rack answers at addresses 1 to 247, not 248"},
             Row{"K100E", 1, 2, A, "",
                 "K100E is the rack itself: give the designation of the module in its slot, or leave "
                 "the model out to ask the rack"},
             Row{"K990", 1, 2, A, "", "K990 is a slot module whose values are not known here (slot code 99)"},
             Row{"Z330", 1, 2, A, "", "Z330 is a slot module whose values are not known here (slot code 33)"},
         }) {
        std::string error;
        const auto points = MakeModulePoints(r.model, {r.address, r.slot, r.protocol}, error);
        if (*r.names) {
            ASSERT_NE(points, nullptr) << r.model << ": " << error;
            EXPECT_EQ(Names(*points), r.names) << r.model;
        } else {
            EXPECT_EQ(points, nullptr) << r.model;
            EXPECT_EQ(error, r.error) << r.model;
        }
    }
}

// ---- digital slots

const char* const kDigitalRack = "01 K100E firmware=A3.10 slots=K510,K540,K220,K620\n";

TEST(SlotPointsDigital, ReadAllMakesThePanelsReadsAndTakesTheStateWord) {
    Rig rig(kDigitalRack);
    auto k510 = Make("K510", 1, 0);
    ASSERT_TRUE(k510->ReadAll(rig.port()));
    // The slot table once, the DIP switch and the alarm mask as the panel reads them
    // at its start, then the state word.
    EXPECT_EQ(rig.Received(1), (Strings{"$01T", "$01S07", "$01S0M", "$01S06"}));
    // Inputs see A5 in the high byte (channels 8 to 15), outputs are off; the DIP
    // switch makes channels 8 to 15 inputs, so do8..do15 and di0..di7 are disabled.
    for (int c = 0; c < 16; ++c) {
        const std::string n = std::to_string(c);
        if (c < 8) {
            EXPECT_VALUE(*k510, "do" + n, 0.0);
            EXPECT_QUALITY(*k510, "di" + n, Disabled);
        } else {
            EXPECT_QUALITY(*k510, "do" + n, Disabled);
            EXPECT_VALUE(*k510, "di" + n, (0xA5 >> (c - 8)) & 1);
        }
    }
    ASSERT_TRUE(k510->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(1), Strings{"$01S06"}); // the configuration is known now

    // The relay slot reports its relays in the high byte of the word.
    rig.Send(1, "#01S31201");
    auto k620 = Make("K620", 1, 3);
    ASSERT_TRUE(k620->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(1), (Strings{"$01T", "$01S3M", "$01S36"}));
    for (int c = 0; c < 8; ++c)
        EXPECT_VALUE(*k620, "do" + std::to_string(c), c == 2 ? 1.0 : 0.0);
    EXPECT_EQ(Info(*k620, "do2").unit, "");
    EXPECT_TRUE(Info(*k620, "do2").writable);
}

TEST(SlotPointsDigital, WritesAreThePanelsCommandsAndWhatThePanelRefusesIsNotSent) {
    Rig rig(kDigitalRack);
    auto k510 = Make("K510", 1, 0);
    ASSERT_TRUE(k510->ReadAll(rig.port()));
    rig.Received(1);
    std::string error;
    ASSERT_TRUE(k510->Write(rig.port(), "do3", 1, error)) << error;
    EXPECT_EQ(rig.Received(1), Strings{"#01S01301"}); // as the panel's button sends it
    ASSERT_TRUE(k510->ReadAll(rig.port()));
    EXPECT_VALUE(*k510, "do3", 1.0);
    rig.Received(1);

    // Channel 9 is an input by the DIP switch: the panel says so and sends nothing.
    EXPECT_FALSE(k510->Write(rig.port(), "do9", 1, error));
    EXPECT_EQ(error, "do9 of the K510 at 01S0 is an input: its DIP switch makes channel 9 one");
    EXPECT_FALSE(k510->CheckWrite("di9", "1", error));
    EXPECT_EQ(error, "di9 is an input and cannot be written");
    EXPECT_FALSE(k510->CheckWrite("do3", "2", error));
    EXPECT_EQ(rig.Received(1), Strings{});

    // An analog alarm of the K220 drives relay 1 of the K620: it reads as any other,
    // but is not switched.
    rig.Send(1, "$01S2C0AHCS3C1");
    auto k620 = Make("K620", 1, 3);
    ASSERT_TRUE(k620->ReadAll(rig.port()));
    rig.Received(1);
    EXPECT_QUALITY(*k620, "do1", Good);
    EXPECT_FALSE(k620->Write(rig.port(), "do1", 1, error));
    EXPECT_EQ(error, "do1 of the K620 at 01S3 is driven by an analog slot's alarm and cannot be switched");
    EXPECT_TRUE(rig.Received(1).empty());
    ASSERT_TRUE(k620->Write(rig.port(), "do0", 1, error)) << error;
    EXPECT_EQ(rig.Received(1), Strings{"#01S31001"});
}

// ---- counter slot

TEST(SlotPointsCounter, TheModeDecidesWhichPointsReadAndTheFormatHowTheDigitsAre) {
    Rig rig("02 K100 firmware=A3.10 slots=K710\n");
    // Counters stopped at known counts.
    for (int c = 0; c < 4; ++c) {
        rig.Send(2, "$02S0C" + std::to_string(c) + "50");
        rig.Send(2, "@02S0C" + std::to_string(c) + "P000000" + std::to_string(1230 + c));
    }
    auto k710 = Make("K710", 2, 0);
    ASSERT_TRUE(k710->ReadAll(rig.port()));
    // The mode and format come with every poll, as the panel reads them.
    EXPECT_EQ(rig.Received(2), (Strings{"$02T", "$02S0B", "$02S0B", "#02S0C0", "#02S0C1",
                                        "#02S0C2", "#02S0C3"}));
    for (int c = 0; c < 4; ++c) {
        EXPECT_VALUE(*k710, "cnt" + std::to_string(c), 1230 + c);
        EXPECT_QUALITY(*k710, "freq" + std::to_string(c), Disabled);
    }
    EXPECT_EQ(Info(*k710, "cnt0").unit, "");
    EXPECT_FALSE(Info(*k710, "cnt0").writable);

    // Hexadecimal digits are the same counts.
    rig.Send(2, "$02S0A0002");
    ASSERT_TRUE(k710->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(2), (Strings{"$02S0B", "#02S0C0", "#02S0C1", "#02S0C2", "#02S0C3"}));
    EXPECT_VALUE(*k710, "cnt3", 1233);

    // Frequency mode: hundredths of a hertz, in hertz, in either format.
    for (const char* format : {"00", "02"}) {
        rig.Send(2, std::string("$02S0A02") + format);
        ASSERT_TRUE(k710->ReadAll(rig.port()));
        for (int c = 0; c < 4; ++c) {
            EXPECT_VALUE(*k710, "freq" + std::to_string(c), (c + 1) * 1000.0);
            EXPECT_QUALITY(*k710, "cnt" + std::to_string(c), Disabled);
        }
        EXPECT_EQ(Info(*k710, "freq0").unit, "Hz");
    }
    std::string error;
    EXPECT_FALSE(k710->CheckWrite("cnt0", "0", error));
    EXPECT_EQ(error, "cnt0 is an input and cannot be written");
}

// ---- analog input slots

const char* const kAnalogRack =
    "01 K100E firmware=A3.10 slots=K230,K220H,K210,K240X:5,K230P in0=open=02\n";

TEST(SlotPointsAnalog, ReadingsCarryTheRangesUnitAndOpenOrSwitchedOffChannelsAreNoNumbers) {
    Rig rig(kAnalogRack);
    rig.Send(1, "$01S057D"); // channel 1 off
    auto k230 = Make("K230", 1, 0);
    ASSERT_TRUE(k230->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(1), (Strings{"$01T", "$01S0B", "$01S06", "#01S0C0", "#01S0C2", "#01S0C3",
                                        "#01S0C4", "#01S0C5", "#01S0C6"}));
    // Type J, 0 to 760 'C: channel c at (c + 1) x 76 'C, as the slot writes it.
    EXPECT_VALUE(*k230, "ai0", 76.0);
    EXPECT_QUALITY(*k230, "ai1", Disabled);
    EXPECT_VALUE(*k230, "ai2", 228.0);
    EXPECT_VALUE(*k230, "ai6", 532.0);
    EXPECT_EQ(Info(*k230, "ai0").unit, "°C");
    EXPECT_EQ(Info(*k230, "ai0").min, 0);
    EXPECT_EQ(Info(*k230, "ai0").max, 760);
    EXPECT_EQ(Info(*k230, "ai0").decimals, 3); // "+76.000"
    EXPECT_EQ(Info(*k230, "ai2").decimals, 2); // "+228.00"
    const std::string json = PointsJson(*k230, {});
    EXPECT_NE(json.find(R"({"name":"ai0","kind":"analog-input","value":76,"unit":"°C","quality":"good"})"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"({"name":"ai1","kind":"analog-input","value":null,"unit":"°C","quality":"disabled"})"),
              std::string::npos)
        << json;

    // Channel 1's sensor is open: burn-out, never a number.
    rig.Send(1, "$01S057F");
    ASSERT_TRUE(k230->ReadAll(rig.port(), true));
    EXPECT_QUALITY(*k230, "ai1", BurnOut);
    EXPECT_EQ(PointValueText(Info(*k230, "ai1"), Reading(*k230, "ai1")), "");

    // The RTD slot reports its readings in the unit its panel shows.
    auto k210 = Make("K210", 1, 2);
    ASSERT_TRUE(k210->ReadAll(rig.port()));
    EXPECT_VALUE(*k210, "ai0", -80.0); // Pt.00385 -100 to 100: channel 0 at 10 %
    EXPECT_EQ(Info(*k210, "ai0").unit, "Ω");
}

TEST(SlotPointsAnalog, TwosComplementIsTheCountAndItsEndsAreOverAndUnderRange) {
    Rig rig(kAnalogRack);
    rig.Send(1, "$01S0A0E03");
    rig.SetInputs(1, 0, "2000");
    auto k230 = Make("K230", 1, 0);
    ASSERT_TRUE(k230->ReadAll(rig.port()));
    // 2000 'C is beyond the slot's 760: the count stops at 7FFF.
    EXPECT_QUALITY(*k230, "ai0", OverRange);
    rig.SetInputs(1, 0, "-800");
    ASSERT_TRUE(k230->ReadAll(rig.port()));
    EXPECT_QUALITY(*k230, "ai0", UnderRange);
    rig.SetInputs(1, 0, "380");
    ASSERT_TRUE(k230->ReadAll(rig.port()));
    EXPECT_VALUE(*k230, "ai0", 16384.0); // 380 / 760 of 7FFF, rounded: "4000"
    EXPECT_EQ(Info(*k230, "ai0").unit, "");
    EXPECT_QUALITY(*k230, "ai1", BurnOut); // the open sensor mark in every format
    // Percent of full scale: as sent, in %.
    rig.Send(1, "$01S0A0E01");
    ASSERT_TRUE(k230->ReadAll(rig.port(), true));
    EXPECT_VALUE(*k230, "ai0", 50.0);
    EXPECT_EQ(Info(*k230, "ai0").unit, "%");
}

TEST(SlotPointsAnalog, ChannelRangesOfTheHighSpeedSlotAndTheGenericSlotsChannelCount) {
    Rig rig(kAnalogRack);
    rig.Send(1, "$01S1C2A0D00"); // channel 2: 0 to 20 mA
    auto k220h = Make("K220H", 1, 1);
    ASSERT_TRUE(k220h->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(1),
              (Strings{"$01T", "$01S1B", "$01S1C0B", "$01S1C1B", "$01S1C2B", "$01S1C3B", "$01S1C4B",
                       "$01S1C5B", "$01S1C6B", "$01S1C7B", "$01S16", "#01S1C0", "#01S1C1", "#01S1C2",
                       "#01S1C3", "#01S1C4", "#01S1C5", "#01S1C6", "#01S1C7"}));
    EXPECT_EQ(Info(*k220h, "ai1").unit, "V");
    EXPECT_VALUE(*k220h, "ai1", 2.0); // the slot's 10 V range: channel 1 at 20 %
    EXPECT_EQ(Info(*k220h, "ai2").unit, "mA");
    EXPECT_VALUE(*k220h, "ai2", 6.0); // 0 to 20 mA: channel 2 at 30 %
    EXPECT_EQ(Info(*k220h, "ai2").max, 20);

    // A generic slot of five channels: the three it does not have are disabled.
    auto generic = Make("K0AI", 1, 3);
    ASSERT_TRUE(generic->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(1), (Strings{"$01T", "$01S3B", "$01S36", "$01S3N1", "#01S3C0", "#01S3C1",
                                        "#01S3C2", "#01S3C3", "#01S3C4"}));
    EXPECT_VALUE(*generic, "ai4", 380.0);
    for (const char* n : {"ai5", "ai6", "ai7"})
        EXPECT_QUALITY(*generic, n, Disabled);
    // A K230P is a generic slot of its own seven channels.
    auto k230p = Make("K230P", 1, 4);
    ASSERT_TRUE(k230p->ReadAll(rig.port()));
    EXPECT_VALUE(*k230p, "ai6", 532.0);
}

// ---- analog output slot

TEST(SlotPointsOutput, RangesGiveUnitsAndLimitsAndAWriteIsThePanelsValueText) {
    Rig rig("01 K100 firmware=A3.10 slots=K310\n");
    rig.Send(1, "$01S0C1A3200"); // channel 1: 0 to 10 V
    auto k310 = Make("K310", 1, 0);
    ASSERT_TRUE(k310->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(1), (Strings{"$01T", "$01S0C0B", "$01S0C1B", "$01S0C2B", "$01S0C3B",
                                        "$01S0C06", "$01S0C16", "$01S0C26", "$01S0C36"}));
    EXPECT_VALUE(*k310, "ao0", 4.0);
    EXPECT_EQ(Info(*k310, "ao0").unit, "mA");
    EXPECT_EQ(Info(*k310, "ao0").min, 4);
    EXPECT_EQ(Info(*k310, "ao1").unit, "V");
    EXPECT_EQ(Info(*k310, "ao1").max, 10);

    std::string error;
    ASSERT_TRUE(k310->Write(rig.port(), "ao0", 12.5, error)) << error;
    ASSERT_TRUE(k310->Write(rig.port(), "ao1", 7.25, error)) << error;
    EXPECT_EQ(rig.Received(1), (Strings{"#01S0C012.500", "#01S0C107.250"}));
    ASSERT_TRUE(k310->ReadAll(rig.port()));
    EXPECT_VALUE(*k310, "ao0", 12.5);
    EXPECT_VALUE(*k310, "ao1", 7.25);
    rig.Received(1);

    // Outside the channel's range, or not a number: refused, nothing sent.
    EXPECT_FALSE(k310->CheckWrite("ao1", "12", error));
    EXPECT_EQ(error, "12 is outside the range of ao1 (0 to 10 V)");
    EXPECT_FALSE(k310->CheckWrite("ao0", "2", error));
    EXPECT_FALSE(k310->CheckWrite("ao0", "12,5", error));
    EXPECT_FALSE(k310->Write(rig.port(), "ao2", 3.9, error));
    EXPECT_EQ(error, "3.9 is outside the range of ao2 (4 to 20 mA)");
    EXPECT_TRUE(rig.Received(1).empty());
}

// ---- Z-series slot modules

TEST(SlotPointsZ, TheI_OModuleReadsAllFourKindsAndWritesAsItsPanel) {
    Rig rig("01 Z352 slots=-,Z320 in1=12.5\n");
    auto z320 = Make("Z320", 1, 1);
    ASSERT_TRUE(z320->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(1),
              (Strings{"$01T", "$01S1C0AI", "$01S1C1AI", "$01S1C2AI", "$01S1C3AI", "$01S1C0AO",
                       "$01S1C1AO", "$01S1C2AO", "$01S1C3AO", "#01S1", "$01S1C06", "$01S1C16",
                       "$01S1C26", "$01S1C36", "$01S16"}));
    EXPECT_EQ(rig.port().GetTimeOut(), 80); // the module's second is the read's only
    for (int c = 0; c < 4; ++c) {
        EXPECT_VALUE(*z320, "ai" + std::to_string(c), 12.5);
        EXPECT_VALUE(*z320, "ao" + std::to_string(c), 4.0);
    }
    EXPECT_EQ(Info(*z320, "ai0").unit, "mA");
    EXPECT_EQ(Info(*z320, "ao0").min, 4);
    for (int n = 0; n < 8; ++n)
        EXPECT_VALUE(*z320, "di" + std::to_string(n), (0xA5 >> n) & 1);
    EXPECT_VALUE(*z320, "do0", 0.0);

    std::string error;
    ASSERT_TRUE(z320->Write(rig.port(), "do1", 1, error)) << error;
    ASSERT_TRUE(z320->Write(rig.port(), "ao2", 7.25, error)) << error;
    EXPECT_EQ(rig.Received(1), (Strings{"#01S11101", "#01S1C207.250"}));
    EXPECT_FALSE(z320->Write(rig.port(), "ao3", 21, error));
    EXPECT_EQ(error, "21 is outside the range of ao3 (4 to 20 mA)");
    EXPECT_TRUE(rig.Received(1).empty());
    ASSERT_TRUE(z320->ReadAll(rig.port()));
    EXPECT_VALUE(*z320, "do1", 1.0);
    EXPECT_VALUE(*z320, "ao2", 7.25);
    EXPECT_EQ(rig.port().GetTimeOut(), 80);
}

// ---- the slot holds something else

TEST(SlotPoints, AnotherModuleOrNoneInTheSlotFailsEveryPointAndSendsNothingToIt) {
    Rig rig("01 K100 firmware=A3.10 slots=K520,-\n02 Z351 slots=Z310\n");
    struct Row {
        const char* model;
        int address, slot;
        Strings sent;
        const char* notice;
    };
    for (const Row& r : {
             Row{"K220", 1, 0, {"$01T"}, "slot 0 of the rack at 01 holds a K520, not a K220"},
             Row{"K550", 1, 1, {"$01T"}, "slot 1 of the rack at 01 is empty"},
             Row{"K550", 1, 5, {"$01T"}, "slot 5 is outside the rack at 01, which has 4 slots"},
             Row{"Z320", 2, 0, {"$02T"}, "slot 0 of the rack at 02 holds a Z310, not a Z320"},
         }) {
        auto points = Make(r.model, r.address, r.slot);
        // The rack answered: the read is no failure of the line, but nothing is a value.
        EXPECT_TRUE(points->ReadAll(rig.port())) << r.model;
        EXPECT_EQ(rig.Received(static_cast<unsigned>(r.address)), r.sent) << r.model;
        EXPECT_EQ(points->Notice(), r.notice);
        for (const auto& reading : points->Readings())
            EXPECT_EQ(reading.quality, PointQuality::Failed) << r.model;
        std::string error;
        if (points->IndexOf("do0") >= 0) {
            EXPECT_FALSE(points->Write(rig.port(), "do0", 1, error));
            EXPECT_EQ(error, r.notice);
            EXPECT_EQ(rig.Received(static_cast<unsigned>(r.address)), r.sent) << "only the table again";
        }
    }
}

// ---- replies that are not what the request asks for

TEST(SlotPoints, GarbledCutOrCorruptRepliesFailThePointsTheyCarry) {
    // A flipped bit in a digit is another number: only the checksum tells it.
    for (const std::string fault : {"garbage", "cut", "corrupt"}) {
        const bool checksum = fault == "corrupt";
        Rig rig(std::string("01 K100 firmware=A3.10 slots=K230,K540,K710,K310") +
                (checksum ? " checksum\n" : "\n"));
        std::vector<std::unique_ptr<ModulePoints>> all;
        for (const auto& [model, slot] :
             {std::pair{"K230", 0}, std::pair{"K540", 1}, std::pair{"K710", 2}, std::pair{"K310", 3}}) {
            all.push_back(Make(model, 1, slot,
                               checksum ? PointProtocol::AsciiChecksum : PointProtocol::Ascii));
            ASSERT_TRUE(all.back()->ReadAll(rig.port())) << model;
        }
        rig.With(1, [&](sim::SimModule& m) {
            sim::Fault& f = fault == "garbage" ? m.faults().garbage
                            : fault == "cut"   ? m.faults().cut
                                               : m.faults().corrupt;
            f.probability = 1.0;
        });
        for (auto& points : all) {
            points->ReadAll(rig.port());
            for (std::size_t i = 0; i < points->Points().size(); ++i) {
                const auto q = points->Readings()[i].quality;
                // A channel the slot has switched off may stay so; nothing is a number.
                EXPECT_TRUE(q == PointQuality::Failed || q == PointQuality::Disabled)
                    << fault << " " << points->Model() << " " << points->Points()[i].name;
            }
        }
    }
}

// ---- a rack speaking Modbus

const char* const kModbusRack = "07 K100EM firmware=A3.10 slots=K220,K550,K310,K710,K520,K620\n";

TEST(SlotPointsModbus, TheIdentificationBlockOnceAndThenOneReadOfTheSlot) {
    Rig rig(kModbusRack);
    auto k220 = Make("K220", 7, 0, PointProtocol::Modbus);
    ASSERT_TRUE(k220->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(7), (Strings{"070327100026", "070300000008"}));
    for (int c = 0; c < 8; ++c) {
        // 0 to 10 V, channel c at (c + 1) V: a share of 7FFF, shown in % by the panel.
        const auto word = static_cast<std::uint16_t>(std::lround((c + 1) / 10.0 * 32767));
        EXPECT_VALUE(*k220, "ai" + std::to_string(c), K100InputPercent(word));
    }
    EXPECT_EQ(Info(*k220, "ai0").unit, "%");
    ASSERT_TRUE(k220->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(7), Strings{"070300000008"});

    rig.SetInputs(7, 0, "20");
    ASSERT_TRUE(k220->ReadAll(rig.port()));
    EXPECT_QUALITY(*k220, "ai0", OverRange); // the share's end
    rig.Received(7);

    auto k550 = Make("K550", 7, 1, PointProtocol::Modbus);
    ASSERT_TRUE(k550->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(7), (Strings{"070327100026", "070100000010"}));
    EXPECT_VALUE(*k550, "do15", 0.0);

    // Counters: 32 bits in two registers; the mode is not the rack's to tell.
    auto k710 = Make("K710", 7, 3, PointProtocol::Modbus);
    ASSERT_TRUE(k710->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(7), (Strings{"070327100026", "0703000C0010"}));
    EXPECT_QUALITY(*k710, "cnt0", Good);
    EXPECT_QUALITY(*k710, "freq0", Disabled);

    // The K510's outputs are its channels 0 to 7 here too; the others are inputs.
    auto k620 = Make("K620", 7, 5, PointProtocol::Modbus);
    ASSERT_TRUE(k620->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(7), (Strings{"070327100026", "070100200008"}));
}

TEST(SlotPointsModbus, WritesAreThePanelsFramesAndReadBackTheirValues) {
    Rig rig(kModbusRack);
    auto k550 = Make("K550", 7, 1, PointProtocol::Modbus);
    auto k310 = Make("K310", 7, 2, PointProtocol::Modbus);
    ASSERT_TRUE(k550->ReadAll(rig.port()));
    ASSERT_TRUE(k310->ReadAll(rig.port()));
    rig.Received(7);
    std::string error;
    ASSERT_TRUE(k550->Write(rig.port(), "do3", 1, error)) << error;
    EXPECT_EQ(rig.Received(7), Strings{"07050003FF00"});
    ASSERT_TRUE(k310->Write(rig.port(), "ao1", 12.5, error)) << error;
    EXPECT_EQ(rig.Received(7), Strings{"0706000930D4"});
    ASSERT_TRUE(k550->ReadAll(rig.port()));
    ASSERT_TRUE(k310->ReadAll(rig.port()));
    EXPECT_VALUE(*k550, "do3", 1.0);
    EXPECT_VALUE(*k310, "ao1", 12.5);
    rig.Received(7);
    // The slot refuses what is outside the channel's range (4 to 20 mA).
    EXPECT_FALSE(k310->Write(rig.port(), "ao1", 2, error));
    EXPECT_EQ(error, "the rack at 07 refused the write of ao1 (Modbus exception 3)");
    EXPECT_EQ(rig.Received(7), Strings{"0706000907D0"});
}

TEST(SlotPointsModbus, AMapThatDoesNotCarryThePointsOrAnotherModuleSaysWhy) {
    Rig rig("07 K100M firmware=A3.10 slots=K520,K220,-\n");
    // A user map giving the K520 only 8 coils, and the K220 none.
    rig.With(7, [](sim::SimModule& m) {
        for (const char* line : {"#07PN00FF00014", "#07PN01FF00000", "#07PD"})
            ASSERT_EQ(m.OnAsciiLine(line, m.Now()).value_or("(silence)"), "!07") << line;
    });
    rig.Received(7);
    auto k520 = Make("K520", 7, 0, PointProtocol::Modbus);
    ASSERT_TRUE(k520->ReadAll(rig.port()));
    EXPECT_EQ(rig.Received(7), (Strings{"070327100026", "070100000008"}));
    EXPECT_EQ(k520->Notice(), "the rack's Modbus address map carries 8 of the 16 points of slot 0 of "
                              "the rack at 07");
    EXPECT_VALUE(*k520, "di0", 1.0);
    EXPECT_QUALITY(*k520, "di8", Failed);

    struct Row {
        const char* model;
        int slot;
        const char* notice;
    };
    for (const Row& r : {
             Row{"K220", 1, "the rack's Modbus address map gives slot 1 of the rack at 07 no references"},
             Row{"K310", 0, "slot 0 of the rack at 07 holds a K520, not a K310"},
             Row{"K220", 2, "slot 2 of the rack at 07 is empty"},
             Row{"K220", 5, "slot 5 is outside the K100M at 07 (slots 0 to 3)"},
         }) {
        auto points = Make(r.model, 7, r.slot, PointProtocol::Modbus);
        EXPECT_TRUE(points->ReadAll(rig.port()));
        EXPECT_EQ(rig.Received(7), Strings{"070327100026"}) << r.model;
        EXPECT_EQ(points->Notice(), r.notice);
        for (const auto& reading : points->Readings())
            EXPECT_EQ(reading.quality, PointQuality::Failed);
    }
}

// ---- which module is in a slot

TEST(SlotIdentity, TheRackNamesItsSlotsAsTheSearchShowsThem) {
    Rig rig("01 K100E firmware=A3.10 slots=K220,-,K240X:5,K230P,K990\n"
            "02 K100 firmware=A3.10 slots=K710\n"
            "03 Z352 slots=-,Z320\n"
            "07 K100EM firmware=A3.10 slots=K220,K550\n"
            "09 R270P\n");
    struct Row {
        int address, slot;
        PointProtocol protocol;
        SlotLookup why;
        const char* designation; // or the error
        const char* model;
    };
    const PointProtocol A = PointProtocol::Ascii, M = PointProtocol::Modbus;
    for (const Row& r : {
             Row{1, 0, A, SlotLookup::Found, "K220", "K220"},
             Row{1, 2, A, SlotLookup::Found, "K240X", "K0AI"},
             Row{1, 3, A, SlotLookup::Found, "K230P", "K230P"},
             Row{1, 4, A, SlotLookup::Found, "K990", "K990"},
             Row{1, 1, A, SlotLookup::Empty, "slot 1 of the K100E at 01 is empty", ""},
             Row{2, 4, A, SlotLookup::OutsideRack, "slot 4 is outside the K100 at 02 (slots 0 to 3)", ""},
             Row{3, 1, A, SlotLookup::Found, "Z320", "Z320"},
             Row{7, 1, M, SlotLookup::Found, "K550", "K550"},
             Row{7, 2, M, SlotLookup::Empty, "slot 2 of the K100EM at 07 is empty", ""},
             Row{9, 0, A, SlotLookup::NotARack, "the module at 09 (R270P) is no rack: it has no slots", ""},
             Row{0x0A, 0, A, SlotLookup::NoAnswer, "the module at 0A did not answer", ""},
         }) {
        SlotLookup why;
        std::string error;
        const auto id = IdentifySlot(rig.port(), {r.address, r.slot, r.protocol}, why, error);
        EXPECT_EQ(why, r.why) << r.address << " " << r.slot;
        if (r.why == SlotLookup::Found) {
            ASSERT_TRUE(id) << error;
            EXPECT_EQ(id->designation, r.designation);
            EXPECT_EQ(id->model, r.model);
        } else {
            EXPECT_FALSE(id);
            EXPECT_EQ(error, r.designation);
        }
    }
    // What the search reads for the slot node, and nothing more.
    SlotLookup why;
    std::string error;
    rig.Received(1);
    ASSERT_TRUE(IdentifySlot(rig.port(), {1, 2, A}, why, error));
    EXPECT_EQ(rig.Received(1), (Strings{"$01M", "$01T", "$01S2N"}));
}

} // namespace
} // namespace tavo
