// Firmware download: R8XX files to images and packets, the rack loader's choices
// and blocks, and whole downloads against the simulated loaders over a pty.
#include "devices/models_digital.h"
#include "sim/boot_loader.h"
#include "support/firmware_files.h"
#include "support/sim_bus.h"
#include "workspace/core/r8xx_download.h"
#include "workspace/core/rack_loader.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

namespace tavo {
namespace {

using test::HexRecord;
using test::Pattern;
using test::R8xxFile;
using test::R8xxHeader;
using Bytes = std::vector<std::uint8_t>;

template <class S> S& Set(test::SimBus& sim, unsigned address) {
    S* set = sim.module(address).Find<S>();
    if (!set) throw std::runtime_error("module has no such command set");
    return *set;
}

// ---- R8XX files ----

TEST(R8xxFile, RecordsBecomeOneImageWithGapsFilled) {
    R8xxImage image;
    std::string why;
    // First data at 0x0200: the image starts with 512 bytes of 0xFF.
    const Bytes data = Pattern(16);
    ASSERT_EQ(
        ParseR8xxFile(R8xxHeader("R850", 528) + HexRecord(0x200, 0, data) + HexRecord(0, 1, {}),
                      image, why),
        R8xxFileFault::None)
        << why;
    ASSERT_EQ(image.bytes.size(), 528u);
    EXPECT_EQ(Bytes(image.bytes.begin(), image.bytes.begin() + 512), Bytes(512, 0xFF));
    EXPECT_EQ(Bytes(image.bytes.begin() + 512, image.bytes.end()), data);
    EXPECT_EQ(image.targetModel, "R850");
    EXPECT_EQ(image.declaredLength, 528u);

    // 16 bytes at 0x0000 and 16 at 0x0020: 16 bytes of 0xFF between them. CR LF line
    // ends, base-address and start-address records are fine; data after the end
    // record is not part of the image.
    const std::string crlf = "\r\n";
    const std::string file = R8xxHeader("R860", 48) + HexRecord(0, 4, {0, 0}, crlf) +
                             HexRecord(0, 0, Pattern(16, 1), crlf) + "\r\n" +
                             HexRecord(0x20, 0, Pattern(16, 2), crlf) +
                             HexRecord(0, 5, {0, 0, 0, 0}, crlf) + HexRecord(0, 1, {}, crlf) +
                             HexRecord(0x30, 0, Pattern(16, 3), crlf);
    ASSERT_EQ(ParseR8xxFile(file, image, why), R8xxFileFault::None) << why;
    Bytes expected = Pattern(16, 1);
    expected.insert(expected.end(), 16, 0xFF);
    const Bytes second = Pattern(16, 2);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(image.bytes, expected);

    // The highest address fills the 64 KiB exactly.
    ASSERT_EQ(ParseR8xxFile(R8xxHeader("R850", 0) + HexRecord(0xFFF0, 0, Pattern(16)) +
                                HexRecord(0, 1, {}),
                            image, why),
              R8xxFileFault::None)
        << why;
    EXPECT_EQ(image.bytes.size(), kR8xxMaxImage);
}

TEST(R8xxFile, DamagedFilesAreRefusedWithReasonAndNothingKept) {
    const std::string head = R8xxHeader("R850", 32);
    const std::string good = HexRecord(0, 0, Pattern(16));
    const std::string end = HexRecord(0, 1, {});
    std::string badSum = good;
    badSum[badSum.size() - 2] = badSum[badSum.size() - 2] == '0' ? '1' : '0';
    std::string nonHex = good;
    nonHex[12] = 'G';
    const std::string longRecord = ":10000000" + std::string(16, '0') + "F0\n"; // 8 bytes, says 16
    struct Case {
        const char* name;
        std::string file;
        R8xxFileFault fault;
        const char* why;
    };
    const Case cases[] = {
        {"empty", "", R8xxFileFault::Header, "empty"},
        {"short header", "[R850002", R8xxFileFault::Header, "fewer than its 16-byte header"},
        {"short header line", "[R8500020\n" + good + end, R8xxFileFault::Header,
         "header line holds 10 bytes"},
        {"no header", good + good, R8xxFileFault::Header,
         "header of a module firmware file is missing"},
        {"truncated", head + good + good.substr(0, 21), R8xxFileFault::Records,
         "line 3: the record announces 16"},
        {"cut after a record", head + good + HexRecord(0x10, 0, Pattern(4)), R8xxFileFault::Records,
         "without its end record"},
        {"cut in its head", head + ":1000", R8xxFileFault::Records,
         "line 2: the record is truncated"},
        {"non-hex digit", head + nonHex, R8xxFileFault::Records,
         "'G' at column 13 is not a hexadecimal digit"},
        {"record longer than its line", head + longRecord, R8xxFileFault::Records, "holds only 8"},
        {"line longer than its record", head + HexRecord(0, 0, {1, 2}).substr(0, 15) + "00\n",
         R8xxFileFault::Records, "more than the 2 data bytes"},
        {"wrong checksum", head + good + badSum + end, R8xxFileFault::Records,
         "line 3: record checksum"},
        {"no colon", head + good.substr(1), R8xxFileFault::Records, "does not start with ':'"},
        {"overlap", head + HexRecord(0x10, 0, Pattern(16)) + HexRecord(0x18, 0, Pattern(4)) + end,
         R8xxFileFault::Records, "0018 overlaps"},
        {"past 64 KiB", head + HexRecord(0xFFF8, 0, Pattern(16)), R8xxFileFault::Records,
         "past the end of the 64 KiB"},
        {"high base address", head + HexRecord(0, 4, {0, 1}) + good, R8xxFileFault::Records,
         "extended address 0001"},
        {"unknown type", head + HexRecord(0, 7, {}), R8xxFileFault::Records,
         "unknown record type 07"},
        {"no data", head + HexRecord(0, 1, {}), R8xxFileFault::Records, "no data records"},
    };
    for (const auto& c : cases) {
        R8xxImage image;
        image.bytes = {1, 2, 3};
        std::string why;
        EXPECT_EQ(ParseR8xxFile(c.file, image, why), c.fault) << c.name;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
        EXPECT_EQ(image.bytes, (Bytes{1, 2, 3})) << c.name;
    }
}

// ---- packets ----

TEST(R8xxPackets, BytesAreExact) {
    Bytes data(128);
    std::iota(data.begin(), data.end(), 0);
    const auto block = R8xxBlock(data.data());
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 7), (Bytes{0x82, 1, 0, 3, 2, 5, 4}));
    EXPECT_EQ(block[127], 127);
    EXPECT_EQ(block[128], 126);
    EXPECT_EQ(block[129], 0xBE); // 0x82 + 0 + ... + 127 = 0x2042
    EXPECT_EQ(R8xxFinalPacket(data.data() + 0x11, 3), (Bytes{0x05, 0x12, 0x11, 0x13, 0xC5}));
    EXPECT_EQ(R8xxFinalPacket(data.data() + 1, 2), (Bytes{0x04, 0x02, 0x01, 0xF9}));
    EXPECT_EQ(R8xxFinalPacket(data.data(), 0), (Bytes{0x86, 0, 0, 0, 0}));
    EXPECT_THROW(R8xxFinalPacket(data.data(), 128), std::invalid_argument);

    // A 256-byte image: two full blocks, then the 0x86 packet; other models keep
    // their first four blocks, so only the end goes out.
    const Bytes image = Pattern(256);
    auto packets = R8xxPackets(image, true);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[1][0], 0x82);
    EXPECT_EQ(packets[1][1], image[129]);
    EXPECT_EQ(packets[2], Bytes(kR8xxEndPacket.begin(), kR8xxEndPacket.end()));
    packets = R8xxPackets(image, false);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0][0], 0x86);
    packets = R8xxPackets(Pattern(128 * 6 + 9), false); // blocks 5 and 6, then 9 bytes
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[2].size(), 11u);

    std::uint8_t rack[3] = {1, 2, 3};
    const auto r = RackBlock(0x0102, rack, 3);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 6), (Bytes{0x01, 0x02, 1, 2, 3, 0}));
    EXPECT_EQ(r[129], 0);
    EXPECT_EQ(r[130], 9);
    EXPECT_EQ(r[131], '\r');
}

TEST(RackLoaderChoice, ByDesignationAndVersion) {
    struct Row {
        const char* designation;
        const char* version;
        const char* file;
        unsigned blocks;
    };
    const Row rows[] = {
        {"K100", "A1.50", "Download.img", 166}, {"K100", "A2.00", "Download.img", 166},
        {"K100", "A2.01", "DnW900h.img", 32},   {"K100", "B1.00", "DnW900h.img", 32},
        {"K100E", "A1.50", "DnW900e.img", 32},  {"K100M", "B1.00", "DnW900e.img", 32},
    };
    for (const auto& r : rows) {
        const auto choice = LoaderImageFor(r.designation, r.version);
        EXPECT_EQ(choice.fileName, r.file) << r.designation << " " << r.version;
        EXPECT_EQ(choice.blocks, r.blocks) << r.designation << " " << r.version;
    }
    EXPECT_EQ(RackResultMessage(-2), "Send mini-program failed!");
    EXPECT_EQ(RackResultMessage(-5), "Download firmware failed!");
}

// ---- R8XX downloads against the simulated boot loader ----

class R8xxDownload : public ::testing::Test {
protected:
    // Requests the download as the panel does, then sends `image`.
    R8xxDownloader::Result Send(test::SimBus& sim, const Bytes& image, bool r810,
                                std::vector<unsigned>* progress = nullptr) {
        // Generous for a loaded machine: only failures wait it out.
        auto port = sim.Open(150);
        TavoMR8XX loader(port.get(), "00");
        EXPECT_TRUE(loader.StartDownload());
        R8xxDownloader::Hooks hooks;
        if (progress) hooks.progress = [progress](unsigned b) { progress->push_back(b); };
        R8xxDownloader downloader(*port, image, r810, hooks);
        const auto result = downloader.Run();
        detail = downloader.Detail();
        os = loader.SendOS();
        EXPECT_EQ(port->GetTimeOut(), 150); // the acknowledgement wait was only borrowed
        return result;
    }
    static sim::R8xxBootLoader& Loader(test::SimBus& sim, unsigned address = 0) {
        return Set<sim::R8xxBootLoader>(sim, address);
    }
    std::string detail;
    bool os = false;
};

TEST_F(R8xxDownload, WholeImagesArriveByteForByte) {
    {
        test::SimBus sim("05 R8XX target=R850\n");
        const Bytes image = Pattern(1000); // blocks 1-4 kept, 5-7 sent, 104 bytes at the end
        std::vector<unsigned> progress;
        ASSERT_EQ(Send(sim, image, false, &progress), R8xxDownloader::Result::Done) << detail;
        EXPECT_EQ(progress, (std::vector<unsigned>{1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_TRUE(os); // the image is valid: back to normal operation
        std::lock_guard lock(sim.bus().mutex());
        auto& loader = Loader(sim, 5);
        EXPECT_EQ(loader.Image(), Bytes(image.begin() + 512, image.end()));
        EXPECT_EQ(loader.Packets(), R8xxPackets(image, false));
        EXPECT_EQ(sim.module(5).config().designation, "R850");
    }
    {
        test::SimBus sim("05 R8XX target=R810\n");
        const Bytes image = Pattern(256);
        ASSERT_EQ(Send(sim, image, true), R8xxDownloader::Result::Done) << detail;
        std::lock_guard lock(sim.bus().mutex());
        auto& loader = Loader(sim, 5);
        EXPECT_EQ(loader.Image(), image);
        ASSERT_EQ(loader.Packets().size(), 3u);
        EXPECT_EQ(loader.Packets()[2], (Bytes{0x86, 0, 0, 0, 0}));
    }
}

TEST_F(R8xxDownload, RefusedOrLostAcknowledgementFails) {
    struct Case {
        sim::PacketFault fault;
        const char* detail;
    };
    for (const Case c : {Case{sim::PacketFault::Nak, "block 2: the module answered 15 00 0D"},
                         Case{sim::PacketFault::DropAck, "block 2: no acknowledgement"}}) {
        test::SimBus sim("05 R8XX target=R820\n");
        {
            std::lock_guard lock(sim.bus().mutex());
            Loader(sim).InjectFault(1, c.fault);
        }
        EXPECT_EQ(Send(sim, Pattern(600), true), R8xxDownloader::Result::Failed);
        EXPECT_NE(detail.find(c.detail), std::string::npos) << detail;
        EXPECT_FALSE(os); // no valid firmware: the loader stays
        std::lock_guard lock(sim.bus().mutex());
        EXPECT_FALSE(Loader(sim).ImageValid());
        EXPECT_EQ(Loader(sim).Packets().size(), 2u); // nothing was sent after the failure
    }
}

// ---- the simulated loaders' own checks ----

TEST(SimLoaders, RefuseDamagedPackets) {
    const auto r8 = R8xxBlock(Pattern(128).data());
    const Bytes good(r8.begin(), r8.end());
    Bytes badSum = good;
    badSum[129] ^= 1;
    const auto rack = RackBlock(3, Pattern(128).data(), 128);
    const Bytes rackGood(rack.begin(), rack.end());
    Bytes rackBadSum = rackGood, rackNoCr = rackGood;
    rackBadSum[130] ^= 0x40;
    rackNoCr[131] = '\n';
    const auto far = RackBlock(256, Pattern(128).data(), 128); // beyond the loader's area
    const Bytes ack{0, 0, '\r'}, nak{0x15, 0, '\r'};
    const Bytes ok{'!', '0', '0', '\r'}, refused{'?', '0', '0', '\r'};
    const char* r8xx = "05 R8XX target=R810\n";
    const char* k100 = "01 K100 init\n";
    struct Case {
        const char* name;
        const char* bus;
        std::vector<std::string> before;
        Bytes packet;
        Bytes reply; // empty: silence
    };
    const Case cases[] = {
        {"R8XX sound block", r8xx, {"$00D"}, good, ack},
        {"R8XX wrong checksum", r8xx, {"$00D"}, badSum, nak},
        {"R8XX unknown first byte", r8xx, {"$00D"}, {0x90, 1, 2, 3}, nak},
        {"R8XX end of an empty image", r8xx, {"$00D"}, {0x86, 0, 0, 0, 0}, nak},
        {"R8XX damaged end packet", r8xx, {"$00D"}, {0x86, 0, 1, 0, 0}, nak},
        {"R8XX block without a request", r8xx, {}, good, {}},
        {"rack sound block", k100, {"$00D", "&00D"}, rackGood, ok},
        {"rack wrong checksum", k100, {"$00D", "&00D"}, rackBadSum, refused},
        {"rack block without CR", k100, {"$00D", "&00D"}, rackNoCr, refused},
        {"rack block number too high",
         k100,
         {"$00D", "&00D"},
         Bytes(far.begin(), far.end()),
         refused},
        {"rack block without &00D", k100, {"$00D"}, rackGood, {}},
    };
    for (const auto& c : cases) {
        test::SimBus sim(c.bus);
        auto port = sim.Open(20);
        for (const auto& command : c.before)
            ASSERT_TRUE(test::Send(*port, command).ok) << c.name;
        ASSERT_TRUE(port->WriteBytes(c.packet.size(), c.packet.data()));
        Bytes reply(c.reply.empty() ? 4 : c.reply.size());
        std::size_t got = 0;
        port->ReadBytes(reply.size(), reply.data(), &got);
        reply.resize(got);
        EXPECT_EQ(reply, c.reply) << c.name;
    }
}

// ---- rack downloads against the simulated controller ----

class RackDownloadTest : public ::testing::Test {
protected:
    RackDownloadTest() {
        std::filesystem::create_directories(dir.File("loader"));
        test::WriteFile(dir.File("loader/Download.img"), loaderImage);
        test::WriteFile(dir.File("firmware.bin"), firmware);
    }
    RackLoader::Hooks Hooks() {
        RackLoader::Hooks h;
        h.pause = [this](int ms) { pausedMs += ms; }; // the test does not wait for real
        h.transferStarted = [this](const std::string& file, unsigned blocks) {
            transfers.push_back(file + "/" + std::to_string(blocks));
        };
        h.progress = [this](unsigned done, unsigned) { lastProgress = done; };
        return h;
    }
    static Bytes Padded(Bytes b, std::size_t n) {
        b.resize(n, 0);
        return b;
    }

    // A late reply on a loaded machine would count as lost and the block go twice.
    static constexpr int kSlack = 150;
    test::TempDir dir;
    const Bytes loaderImage = Pattern(165 * 128 + 40, 3);
    // Exactly 1023 blocks: the 1024th read finds nothing and counts without being sent.
    const Bytes firmware = Pattern(1023 * 128, 5);
    long long pausedMs = 0;
    unsigned lastProgress = 0;
    std::vector<std::string> transfers;
};

TEST_F(RackDownloadTest, LoaderAndFirmwareArriveDespiteANakAndALostReply) {
    test::SimBus sim("01 K100 init firmware=A1.50\n");
    {
        std::lock_guard lock(sim.bus().mutex());
        auto& rack = Set<sim::RackDownload>(sim, 1);
        rack.InjectFault(3, sim::PacketFault::Nak);
        rack.InjectFault(170, sim::PacketFault::DropAck);
    }
    auto port = sim.Open(37);
    RackLoader loader(*port, Hooks());
    loader.SetMinTimeOut(kSlack);
    ASSERT_EQ(
        loader.Download("K100", "A1.50", dir.File("firmware.bin"), {"/nonexistent", dir.path()}),
        kRackDone)
        << loader.Detail();
    EXPECT_EQ(transfers, (std::vector<std::string>{"Download.img/166", "firmware.bin/1024"}));
    EXPECT_EQ(lastProgress, 1024u);
    EXPECT_EQ(loader.BlocksWritten(), 166u + 1023u + 2u);
    EXPECT_GE(pausedMs, 3000 + 2 * 1000);
    EXPECT_EQ(port->GetLineSettings(), (LineSettings{9600, 8, kParityNone, kOneStopBit}));
    EXPECT_EQ(port->GetTimeOut(), 37);
    // The last command has no reply: give the simulator a moment to take it.
    for (int i = 0; i < 2500; ++i) {
        std::lock_guard lock(sim.bus().mutex());
        if (sim.bus().Find(1)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::lock_guard lock(sim.bus().mutex());
    auto& rack = Set<sim::RackDownload>(sim, 1);
    EXPECT_EQ(rack.LoaderImage(), Padded(loaderImage, 166 * 128));
    EXPECT_EQ(rack.Firmware(), firmware);
    EXPECT_EQ(rack.FirmwareUpdates(), 1);
    EXPECT_EQ(rack.stage(), sim::RackDownload::Stage::Off);
    EXPECT_EQ(rack.Blocks().size(), 166u + 1023u + 1u); // the block whose reply was lost came twice
    EXPECT_TRUE(sim.module(1).config().init);           // back as it was
}

TEST_F(RackDownloadTest, FailuresReturnThePortToNineThousandSixHundred) {
    struct Case {
        const char* name;
        const char* bus;
        int nakFrom;              // first block packet refused, ten times; -1 none
        bool loader;              // loader image present
        std::size_t firmwareSize; // 0: the good one
        int result;
        const char* detail;
    };
    const Case cases[] = {
        {"no controller", "", -1, true, 0, kRackStartFailed, "did not answer"},
        {"loader blocks refused", "01 K100 init\n", 0, true, 0, kRackLoaderFailed,
         "block 0 of 166 was not accepted after 10 attempts"},
        {"firmware blocks refused", "01 K100 init\n", 166, true, 0, kRackFirmwareFailed,
         "firmware.bin: block 0 of 1024"},
        {"loader image missing", "01 K100 init\n", -1, false, 0, kRackLoaderFailed,
         "\"Download.img\" was not found"},
        {"firmware too long", "01 K100 init\n", -1, true, 1024 * 128 + 1, kRackFirmwareFailed,
         "larger than the 131072 bytes"},
        {"firmware too short", "01 K100 init\n", -1, true, 1023 * 128 - 1, kRackFirmwareFailed,
         "needs at least 130944"},
    };
    for (const auto& c : cases) {
        test::SimBus sim(std::string(c.bus) + "02 R210D\n");
        if (c.nakFrom >= 0) {
            std::lock_guard lock(sim.bus().mutex());
            for (int i = 0; i < 10; ++i)
                Set<sim::RackDownload>(sim, 1).InjectFault(static_cast<std::size_t>(c.nakFrom + i),
                                                           sim::PacketFault::Nak);
        }
        if (!c.loader) std::filesystem::remove(dir.File("loader/Download.img"));
        if (c.firmwareSize) test::WriteFile(dir.File("firmware.bin"), Pattern(c.firmwareSize));
        auto port = sim.Open(25);
        RackLoader loader(*port, Hooks());
        loader.SetMinTimeOut(kSlack);
        EXPECT_EQ(loader.Download("K100", "A1.00", dir.File("firmware.bin"), {dir.path()}),
                  c.result)
            << c.name;
        EXPECT_NE(loader.Detail().find(c.detail), std::string::npos)
            << c.name << ": " << loader.Detail();
        EXPECT_EQ(port->GetTimeOut(), 25) << c.name;
        EXPECT_EQ(port->GetLineSettings(), (LineSettings{9600, 8, kParityNone, kOneStopBit}))
            << c.name;
        if (!c.loader || c.firmwareSize) { // refused before the first byte, naming the file
            EXPECT_EQ(pausedMs, 0) << c.name;
            EXPECT_NE(loader.Detail().find(dir.path()), std::string::npos) << loader.Detail();
            std::lock_guard lock(sim.bus().mutex());
            EXPECT_TRUE(sim.module(1).received.empty()) << c.name;
        }
        test::WriteFile(dir.File("loader/Download.img"), loaderImage);
        test::WriteFile(dir.File("firmware.bin"), firmware);
        pausedMs = 0;
    }
}

} // namespace
} // namespace tavo
