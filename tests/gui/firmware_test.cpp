// The R8XX boot-loader panel with its worker thread, and the rack download window,
// against the simulator.
#include "panel_fixture.h"
#include "support/firmware_files.h"

#include "sim/boot_loader.h"
#include "workspace/core/r8xx_image.h"
#include "workspace/module_tree.h"
#include "workspace/r8xx_panel.h"
#include "workspace/rack_download.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <chrono>
#include <thread>

namespace tavo {
namespace {

using test::PanelFixture;
using test::Pattern;
using Bytes = std::vector<std::uint8_t>;

// Lets the window's thread run (queued signals from the worker) until `done`.
template <class F> bool RunUntil(F done, int ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QApplication::processEvents();
    return true;
}

sim::R8xxBootLoader& Loader(sim::SimModule& m) {
    auto* loader = m.Find<sim::R8xxBootLoader>();
    if (!loader) throw std::runtime_error("module has no boot loader");
    return *loader;
}

class R8xxPanelTest : public ::testing::Test {
protected:
    explicit R8xxPanelTest(const std::string& bus = "05 R8XX target=R850\n") : fx(bus) {
        panel = fx.Open<TfrmMR8XX>("(00)R8XX");
    }
    // A HEX file for `model` holding `image`, chosen in the file field.
    void ChooseFile(const std::string& model, const Bytes& image) {
        test::WriteFile(dir.File("fw.hex"), test::R8xxFile(model, image));
        panel->Edt_HexFile->setText(QString::fromStdString(dir.File("fw.hex")));
    }
    std::vector<QWidget*> PortControls() {
        return {panel->cb_baudrate, panel->Bt_Refresh, panel->Bt_BaudUpdate, panel->Bt_FindHexFile,
                panel->Bt_download};
    }
    bool AnyEnabled() {
        for (QWidget* w : PortControls())
            if (w->isEnabled()) return true;
        return false;
    }

    test::TempDir dir;
    PanelFixture fx;
    TfrmMR8XX* panel = nullptr;
};

TEST_F(R8xxPanelTest, RefreshBaudUpdateAndFileChoice) {
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Edt_Module->text(), "Tavo-R850");
    EXPECT_EQ(panel->cb_baudrate->currentIndex(), 3);
    EXPECT_EQ(panel->cb_baudrate->count(), 7);
    EXPECT_EQ(panel->Edt_FirmVer->text(), "A1.00");
    EXPECT_TRUE(panel->Edt_HexFile->text().endsWith("/TavoR850.hex"));
    EXPECT_EQ(fx.Received(0), (std::vector<std::string>{"$002", "$00F"}));

    panel->cb_baudrate->setCurrentIndex(6);
    panel->Bt_BaudUpdate->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update success!"});
    EXPECT_EQ(fx.window().Port()->GetLineSettings().baud, 57600u);
    EXPECT_EQ(fx.window().StatusBar()->PortText(), "57600, N, 8, 1");
    panel->Bt_Refresh->click(); // the module talks at 57600 now as well
    EXPECT_EQ(fx.Received(0), (std::vector<std::string>{"%0000000900", "$002", "$00F"}));
    EXPECT_EQ(panel->cb_baudrate->currentIndex(), 6);

    fx.ui().openNames.push_back("/tmp/new.hex");
    panel->Bt_FindHexFile->click();
    EXPECT_EQ(panel->Edt_HexFile->text(), "/tmp/new.hex");
    EXPECT_EQ(fx.ui().defaultNames.back(), "*.hex");
}

TEST_F(R8xxPanelTest, DownloadRunsOnTheWorkerAndEndsInNormalMode) {
    const Bytes image = Pattern(2000);
    ChooseFile("R850", image);
    fx.Received(0);
    panel->Bt_download->click();
    ASSERT_TRUE(panel->Downloading());
    EXPECT_FALSE(AnyEnabled());
    EXPECT_FALSE(panel->Bt_Switch->isEnabled());
    EXPECT_EQ(fx.StatusText(), "Prepare to download!");
    EXPECT_EQ(panel->DL_PgBar->maximum(), 16); // 15 full blocks and the final packet
    ASSERT_TRUE(RunUntil([&] { return !panel->Downloading(); }));

    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Success, please search again!"});
    EXPECT_EQ(panel->ErrMsg->text(), "Download success! Please search again!");
    EXPECT_FALSE(AnyEnabled()); // the module restarts: search again
    EXPECT_FALSE(panel->Bt_Switch->isEnabled());
    EXPECT_EQ(panel->DL_PgBar->value(), 0);
    EXPECT_EQ(fx.StatusText(), "Please wait...");
    const auto received = fx.Received(0);
    ASSERT_EQ(received.size(), 2u + 11u + 1u); // $002, $00D, blocks 5 to 15, the rest
    EXPECT_EQ(received[1], "$00D");
    EXPECT_EQ(received[2], "[130 bytes]");
    EXPECT_EQ(received.back(), "[82 bytes]");
    fx.WithModule(0, [&](sim::SimModule& m) {
        EXPECT_EQ(Loader(m).Image(), Bytes(image.begin() + 512, image.end()));
        EXPECT_EQ(Loader(m).Packets(), R8xxPackets(image, false));
        EXPECT_TRUE(Loader(m).ImageValid());
    });
}

TEST_F(R8xxPanelTest, RefusedBlockFailsAndKeepsSwitchToNormalOff) {
    fx.WithModule(0, [](sim::SimModule& m) { Loader(m).InjectFault(2, sim::PacketFault::Nak); });
    ChooseFile("R850", Pattern(1500));
    panel->Bt_download->click();
    ASSERT_TRUE(RunUntil([&] { return !panel->Downloading(); }));
    const QStringList texts = fx.ui().Texts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith("Ack fail!\nblock 7: the module answered 15 00 0D"))
        << texts[0].toStdString();
    EXPECT_EQ(texts[1],
              "There is no valid firmware in the module currently,\nplease DO NOT switch back "
              "to Normal mode and try again.");
    EXPECT_EQ(fx.ui().boxes[1].icon, UiServices::Icon::Error);
    EXPECT_EQ(panel->ErrMsg->text(), "Firmware download fail! Please retry!");
    EXPECT_EQ(panel->DL_PgBar->value(), 0);
    for (QWidget* w : PortControls())
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(panel->Bt_Switch->isEnabled());
}

TEST_F(R8xxPanelTest, BadFilesAndOtherTargetsSendNothing) {
    struct Case {
        const char* name;
        std::string file; // empty: no file at all
        const char* box;
    };
    const std::string good = test::R8xxFile("R850", Pattern(300));
    std::string badSum = good;
    badSum[40] = badSum[40] == '0' ? '1' : '0';
    const Case cases[] = {
        {"missing", "", "Open file failed!\n"},
        {"short header", "[R85", "Open file failed!\n"},
        {"wrong checksum", badSum, "Read data from image fail!\n"},
        {"truncated", good.substr(0, 60), "Read data from image fail!\n"}, // cut at a line end
        {"cut in a record", good.substr(0, 70), "Read data from image fail!\n"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir.File("fw.hex"));
        if (!c.file.empty()) test::WriteFile(dir.File("fw.hex"), c.file);
        panel->Edt_HexFile->setText(QString::fromStdString(dir.File("fw.hex")));
        fx.Received(0);
        fx.ui().Clear();
        panel->Bt_download->click();
        ASSERT_EQ(fx.ui().boxes.size(), 1u) << c.name;
        EXPECT_TRUE(fx.ui().boxes[0].text.startsWith(c.box))
            << c.name << ": " << fx.ui().boxes[0].text.toStdString();
        EXPECT_EQ(fx.Received(0), std::vector<std::string>{"$002"}) << c.name;
        EXPECT_FALSE(panel->Downloading());
    }
    // A file for another model: asked first, and No sends nothing.
    ChooseFile("R860", Pattern(300));
    fx.ui().Clear();
    panel->Bt_download->click();
    EXPECT_EQ(fx.ui().questions.back(), "Target module is Tavo-R850, continue anyway?");
    EXPECT_EQ(fx.Received(0), std::vector<std::string>{"$002"});
    EXPECT_TRUE(fx.ui().boxes.empty());
    EXPECT_TRUE(panel->Bt_download->isEnabled());
}

TEST_F(R8xxPanelTest, SwitchToNormalAsksAndNeedsValidFirmware) {
    panel->Bt_Switch->click(); // answered No
    EXPECT_EQ(fx.ui().questions.back(),
              "This action will swith the module to the normal mode.\nAre you sure to continue?");
    fx.Received(0);
    fx.WithModule(0, [](sim::SimModule& m) { Loader(m).SetImageValid(false); });
    fx.ui().answers.push_back(true);
    panel->Bt_Switch->click();
    EXPECT_EQ(fx.ui().Texts(),
              QStringList{"No valid firmware in the module,\nPlease download again!"});
    EXPECT_TRUE(panel->Bt_Switch->isEnabled());
    fx.WithModule(0, [](sim::SimModule& m) { Loader(m).SetImageValid(true); });
    fx.ui().Clear();
    fx.ui().answers.push_back(true);
    panel->Bt_Switch->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Please search again!"});
    EXPECT_FALSE(panel->Bt_Switch->isEnabled());
    EXPECT_FALSE(AnyEnabled());
    EXPECT_EQ(fx.Received(5),
              (std::vector<std::string>{"#00OS", "#00OS"})); // the R850 again, at 05
}

class R8xxSlowPanelTest : public R8xxPanelTest {
protected:
    // At 9600 baud with wire time, a 64 KiB download would take over a minute.
    R8xxSlowPanelTest() : R8xxPanelTest("wire on\n05 R8XX target=R810\n") {}
};

TEST_F(R8xxSlowPanelTest, LeavingDuringADownloadStopsTheWorkerAndFreesThePort) {
    ChooseFile("R810", Pattern(0x10000));
    panel->Bt_download->click();
    ASSERT_TRUE(panel->Downloading());
    ASSERT_TRUE(RunUntil([&] { return panel->DL_PgBar->value() >= 1; }));
    const auto start = std::chrono::steady_clock::now();
    QTreeWidgetItem* portNode =
        fx.window().Tree()->FindPort(QString::fromStdString(fx.sim().path()));
    fx.window().ClickNode(portNode); // frees the panel: the worker is cancelled and joined
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    std::this_thread::sleep_for(sim::kTransferTimeout +
                                std::chrono::milliseconds(50)); // the loader gives up
    std::string reply;
    std::string command = "$00M\r";
    ASSERT_NE(fx.window().Port(), nullptr);
    EXPECT_TRUE(fx.window().Port()->SendCommand(command, 64, &reply)); // the UI thread's again
    EXPECT_EQ(reply, "!00R8XX\r");
    fx.WithModule(0, [](sim::SimModule& m) { EXPECT_FALSE(Loader(m).ImageValid()); });
}

TEST_F(R8xxSlowPanelTest, ClosingTheProgramDuringADownloadIsClean) {
    ChooseFile("R810", Pattern(0x10000));
    panel->Bt_download->click();
    ASSERT_TRUE(RunUntil([&] { return panel->DL_PgBar->value() >= 1; }));
    fx.ui().answers.push_back(true); // "Are you sure to exit?"
    EXPECT_TRUE(fx.window().close());
    EXPECT_EQ(fx.window().Port(), nullptr);
    EXPECT_EQ(fx.window().CurrentPanel(), nullptr);
}

// ---- rack download window ----

class RackWindowTest : public ::testing::Test {
protected:
    RackWindowTest() : sim("01 K100 init firmware=B1.00\n"), port(sim.Open(33)) {
        oldData_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path()));
        std::filesystem::create_directories(dir.File("tavo-utility/loader"));
        test::WriteFile(dir.File("tavo-utility/loader/DnW900h.img"), Pattern(31 * 128 + 5, 9));
        test::WriteFile(dir.File("rack.img"), firmware);
    }
    ~RackWindowTest() override { qputenv("XDG_DATA_HOME", oldData_); }

    test::TempDir dir;
    test::ScopedTestUi ui;
    test::SimBus sim;
    std::unique_ptr<TavoComPort> port;
    const Bytes firmware = Pattern(1024 * 128, 4);

private:
    QByteArray oldData_;
};

TEST_F(RackWindowTest, DownloadShowsProgressAndEndsDone) {
    QString title, percent;
    int maximum = 0;
    ui.ui().onDialog = [&](QDialog& d) {
        auto& window = dynamic_cast<TfrmMDownload&>(d);
        EXPECT_EQ(window.windowTitle(), "Firmware downloading...");
        EXPECT_EQ(window.lblPercent->text(), "0.0%");
        window.RunToEnd();
        title = window.windowTitle();
        percent = window.lblPercent->text();
        maximum = window.ProgressBar1->maximum();
        return QDialog::Accepted;
    };
    const QString file = QString::fromStdString(dir.File("rack.img"));
    EXPECT_EQ(RunRackFirmwareUpdate(nullptr, *port, "K100", file, "B1.00"), 0);
    EXPECT_EQ(ui.ui().Texts(), QStringList{"Download firmware done!"});
    EXPECT_EQ(ui.ui().boxes[0].icon, UiServices::Icon::Information);
    EXPECT_EQ(title, "Downloading rack.img");
    EXPECT_EQ(percent, "100%");
    EXPECT_EQ(maximum, 1024);
    EXPECT_GE(ui.ui().clockMs, 5000); // the fixed waits ran on the test clock
    EXPECT_EQ(port->GetTimeOut(), 33);
    EXPECT_EQ(port->GetLineSettings().baud, 9600u);
    for (int i = 0; i < 200 &&
                    [&] {
                        std::lock_guard lock(sim.bus().mutex());
                        return !sim.bus().Find(1);
                    }();
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::lock_guard lock(sim.bus().mutex());
    auto* rack = sim.module(1).Find<sim::RackDownload>();
    ASSERT_NE(rack, nullptr);
    EXPECT_EQ(rack->Firmware(), firmware);
    EXPECT_EQ(rack->FirmwareUpdates(), 1);
}

TEST_F(RackWindowTest, MissingLoaderImageIsNamedWithTheFoldersSearched) {
    const QString file = QString::fromStdString(dir.File("rack.img"));
    EXPECT_EQ(RunRackFirmwareUpdate(nullptr, *port, "K100E", file, "B1.00"), -2);
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    const QString text = ui.ui().boxes[0].text;
    EXPECT_TRUE(text.startsWith(
        "Send mini-program failed!\nThe loader image \"DnW900e.img\" was not found"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(dir.File("tavo-utility/loader"))))
        << text.toStdString();
    EXPECT_TRUE(text.contains("/share/tavo-utility/loader")) << text.toStdString();
    EXPECT_EQ(ui.ui().dialogsRun, std::vector<QString>{"TfrmMDownload"});
    std::lock_guard lock(sim.bus().mutex());
    EXPECT_TRUE(sim.module(1).received.empty()); // nothing was sent
}

} // namespace
} // namespace tavo
