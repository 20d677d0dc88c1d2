// The R850/R860 panels and their channel-setting dialogs, ASCII and Modbus, against
// the simulated modules: what opens from the panel's buttons and from the tree's
// channel nodes, each input and output mode's display, writes and read-back, the
// refresh timer, and the failures the dialog words.
#include "digital_checks.h"
#include "file_helpers.h"
#include "panel_fixture.h"

#include "panels/common/modbus_panel.h"
#include "panels/digital/dio_channel_setting.h"
#include "panels/digital/universal_panels.h"
#include "sim/digital_modules.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

namespace tavo {
namespace {

using test::Lamps;
using test::PanelFixture;
using Strings = std::vector<std::string>;
using Dialog = TfrmMDIOChannelSetting;

sim::UniversalDio& Udio(sim::SimModule& m) {
    return *m.Find<sim::UniversalDio>();
}

bool Shown(const QWidget* w) {
    return !w->isHidden();
}

// ---- the panels ----

TEST(UniversalPanels, R850AndR860PanelsPollLocateAndSwitchToDownload) {
    PanelFixture fx("03 R850 inputs=41 outputs=02\n04 R860 outputs=80\n");
    auto* p = fx.Open<TfrmMR850>("(03)R850");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->grpModule->title(), " Tavo-R850 ");
    EXPECT_EQ(fx.Received(3), (Strings{"$032", "$03F", "$03X1"}));
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.Received(3), Strings{"$036"});
    EXPECT_EQ(Lamps(p->bitbtnDI), 0x41u);
    EXPECT_EQ(Lamps(p->bitbtnDO), 0x02u);
    EXPECT_FALSE(p->bitbtnDI[7]->isVisibleTo(p)); // seven inputs

    p->btLocate->click();
    EXPECT_EQ(fx.Received(3), Strings{"#03FQ1"});
    fx.ui().answers = {false};
    p->btDownloadMode->click();
    EXPECT_TRUE(p->tmrUpdateDIData->isActive());
    EXPECT_EQ(fx.ui().questions.back(),
              "This action will switch the module \nto the download mode, continue?");
    EXPECT_TRUE(fx.Received(3).empty());
    fx.ui().answers = {true};
    p->btDownloadMode->click();
    // The boot loader answers at 00.
    EXPECT_EQ(fx.Received(0), Strings{"#03OS"});
    EXPECT_TRUE(fx.WithModule(0, [](sim::SimModule& m) { return Udio(m).InBootLoader(); }));
    EXPECT_EQ(fx.ui().boxes.back().icon, UiServices::Icon::Information);
    EXPECT_FALSE(p->tmrUpdateDIData->isActive()); // nobody answers at 03 any more

    auto* r860 = fx.Open<TfrmMR860>("(04)R860");
    ASSERT_NE(r860, nullptr);
    EXPECT_FALSE(r860->grpDI->isVisibleTo(r860));
    r860->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(r860->bitbtnDO), 0x80u);

    // The Modbus panels poll by Modbus and have no ASCII-only commands.
    PanelFixture mb("0D R850 protocol=modbus outputs=81\n");
    auto* m = mb.Open<TfrmMR850Mod>("(0D)R850", LinkKind::ModbusRtu);
    ASSERT_NE(m, nullptr);
    EXPECT_FALSE(m->btLocate->isVisibleTo(m));
    EXPECT_FALSE(m->btDownloadMode->isVisibleTo(m));
    m->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(m->bitbtnDO), 0x81u);
    EXPECT_EQ(m->lstviewModbus->topLevelItemCount(), 15);
}

TEST(UniversalPanels, ChannelButtonsOpenTheChannelDialogWithThePollStopped) {
    PanelFixture fx("03 R850\n0D R860 protocol=modbus\n");
    auto* p = fx.Open<TfrmMR850>("(03)R850");
    QString title;
    bool pollStopped = false;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* c = d.findChild<Dialog*>();
        title = c ? c->grpChannel->title() : QString();
        pollStopped = !p->tmrUpdateDIData->isActive();
        return QDialog::Accepted;
    };
    fx.Received(3);
    p->bitbtnDO[3]->click();
    EXPECT_EQ(fx.ui().dialogsRun.back(), "dlgChannelSetting");
    EXPECT_EQ(title, "Tavo-R850  DO:3");
    EXPECT_TRUE(pollStopped);
    EXPECT_TRUE(p->tmrUpdateDIData->isActive());
    EXPECT_EQ(fx.Received(3), Strings{"$03COC3"}); // D/O mode: nothing more to read
    p->bitbtnDI[6]->click();
    EXPECT_EQ(title, "Tavo-R850  DI:6");
    EXPECT_EQ(fx.Received(3), Strings{"$03CIC6"});

    auto* m = fx.Open<TfrmMR860Mod>("(0D)R860", LinkKind::ModbusRtu);
    fx.ui().onDialog = [&](QDialog& d) {
        auto* c = d.findChild<TfrmMR860MDIOChannelSettingMod*>();
        title = c ? c->grpChannel->title() : QString();
        return QDialog::Accepted;
    };
    fx.Received(0x0D);
    m->bitbtnDO[7]->click();
    EXPECT_EQ(title, "Tavo-R860  DO:7");
    EXPECT_EQ(fx.Received(0x0D), Strings{"0D03013D0001"}); // output mode, register 318
}

TEST(UniversalPanels, TreeChannelNodesOpenTheDialogOfTheirProtocol) {
    PanelFixture fx("03 R850\n0D R850 protocol=modbus\n0E R860 protocol=modbus\n05 R850 init\n");
    fx.Open("(03)R850");
    auto* ascii = fx.OpenChild<Dialog>({"(DO0)"});
    ASSERT_NE(ascii, nullptr);
    EXPECT_EQ(QString(ascii->metaObject()->className()), "tavo::TfrmMDIOChannelSetting");
    EXPECT_EQ(ascii->grpChannel->title(), "Tavo-R850  DO:0");
    EXPECT_TRUE(ascii->IsOutput());
    EXPECT_TRUE(Shown(ascii->grpDOConfig));
    EXPECT_FALSE(Shown(ascii->grpDIConfig));
    EXPECT_TRUE(ascii->rbtnDOMode[0]->isChecked());
    EXPECT_TRUE(ascii->tmrRefreshDI->isActive());

    fx.Open("(0D)R850", LinkKind::ModbusRtu);
    auto* mod = fx.OpenChild<TfrmMR850MDIOChannelSettingMod>({"(DI4)"});
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(mod->grpChannel->title(), "Tavo-R850  DI:4");
    EXPECT_FALSE(mod->IsOutput());
    EXPECT_EQ(mod->Channel(), 4);
    EXPECT_EQ(fx.Received(0x0D).back(), "0D0301300001"); // input mode, register 305

    fx.Open("(0E)R860", LinkKind::ModbusRtu);
    EXPECT_NE(fx.OpenChild<TfrmMR860MDIOChannelSettingMod>({"(DO1)"}), nullptr);

    fx.Open("(*)R850");
    fx.Received(5);
    ASSERT_NE(fx.OpenChild<Dialog>({"(DO2)"}), nullptr);
    EXPECT_EQ(fx.Received(5), Strings{"$00COC2"}); // INIT: address 00
}

// ---- settings files ----

// Sends a line on the panel's port (to set a module up as a user would have).
void Set(PanelFixture& fx, const std::string& command) {
    ASSERT_TRUE(test::Send(*fx.window().Port(), command).ok) << command;
}

// DO1's timings (low and high width 300 and 100, delays 250 and 16) and DI2's
// filter widths (12 and 34), 0.1 ms.
const std::string kDO1Timings = "0000012C00000064000000FA00000010";
const std::string kDI2Widths = "0000000C00000022";

// The file of an R850 whose channels are as the module starts, but DO1 (pulse
// output, 300/100 wide, delays 250/16) and DI2 (counter, filter on, count kept,
// widths 12/34).
QByteArray R850File() {
    QByteArray f = "Module Name:  Tavo-R850 \r\n";
    for (int c = 0; c < 8; ++c) {
        const bool pulse = c == 1;
        f += QString("Ch%1 mode: %2\r\n").arg(c).arg(pulse ? 1 : 0).toUtf8();
        f += QString("Ch%1 DO pulse low width: %2\r\nCh%1 DO pulse high width: %3\r\n"
                     "Ch%1 DO pulse low delay: %4\r\nCh%1 DO pulse high delay: %5\r\n")
                 .arg(c)
                 .arg(pulse ? "0000012C" : "00001388", pulse ? "00000064" : "00001388",
                      pulse ? "000000FA" : "00000000", pulse ? "00000010" : "00000000")
                 .toUtf8();
    }
    for (int c = 0; c < 7; ++c) {
        const bool counter = c == 2;
        f += QString("Ch%1 mode: %2\r\nCh%1 DI filter min low width: %3\r\n"
                     "Ch%1 DI filter min high width: %4\r\n")
                 .arg(c)
                 .arg(counter ? 97 : 0)
                 .arg(counter ? "0000000C" : "00000000", counter ? "00000022" : "00000000")
                 .toUtf8();
    }
    return f;
}

TEST(UniversalPanels, SettingsFileHoldsEachChannelsModeAndTimings) {
    QTemporaryDir dir;
    const QString path = dir.filePath("R850.txt");
    PanelFixture fx("03 R850\n04 R850\n06 R860\n");
    auto* source = fx.Open<TfrmMR850>("(03)R850");
    ASSERT_NE(source, nullptr);
    for (const std::string& line :
         Strings{"$03COC101", "$0391" + kDO1Timings, "$03CIC261", "$030C2" + kDI2Widths})
        Set(fx, line);
    fx.Received(3);
    fx.ui().saveNames.push_back(path);
    source->SaveSettings();
    EXPECT_EQ(fx.ui().defaultNames.back(), "R850.txt");
    EXPECT_EQ(test::ReadAll(path), R850File());
    const Strings saveReads = fx.Received(3);
    ASSERT_EQ(saveReads.size(), 30u);
    EXPECT_EQ(Strings(saveReads.begin(), saveReads.begin() + 4),
              (Strings{"$03COC0", "$0390", "$03COC1", "$0391"}));
    EXPECT_EQ(Strings(saveReads.end() - 2, saveReads.end()), (Strings{"$03CIC6", "$030C6"}));
    EXPECT_TRUE(source->tmrUpdateDIData->isActive());

    // Loaded into another R850: each channel as its dialog's Update writes it.
    auto* target = fx.Open<TfrmMR850>("(04)R850");
    fx.Received(4);
    fx.ui().Clear();
    fx.ui().openNames.push_back(path);
    target->LoadSettings();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    const Strings writes = fx.Received(4);
    ASSERT_EQ(writes.size(), 30u);
    EXPECT_EQ(Strings(writes.begin() + 2, writes.begin() + 4),
              (Strings{"$04COC101", "$0491" + kDO1Timings}));
    EXPECT_EQ(Strings(writes.begin() + 20, writes.begin() + 22),
              (Strings{"$040C2" + kDI2Widths, "$04CIC261"}));
    EXPECT_TRUE(target->tmrUpdateDIData->isActive());
    // What it holds now saves to the same file.
    const QString again = dir.filePath("again.txt");
    fx.ui().saveNames.push_back(again);
    target->SaveSettings();
    EXPECT_EQ(test::ReadAll(again), R850File());

    // An R860 has outputs only, and takes no R850 file.
    auto* r860 = fx.Open<TfrmMR860>("(06)R860");
    const QString r860File = dir.filePath("R860.txt");
    fx.ui().saveNames.push_back(r860File);
    r860->SaveSettings();
    const QByteArray saved = test::ReadAll(r860File);
    EXPECT_TRUE(saved.startsWith("Module Name:  Tavo-R860 \r\nCh0 mode: 0\r\n"));
    EXPECT_TRUE(saved.endsWith("Ch7 DO pulse high delay: 00000000\r\n"));
    EXPECT_FALSE(saved.contains("DI filter"));
    fx.Received(6);
    fx.ui().Clear();
    fx.ui().openNames.push_back(path);
    r860->LoadSettings();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Load Configuration File Error!"});
    EXPECT_TRUE(fx.Received(6).empty());
}

TEST(UniversalPanels, BrokenSettingsFilesAndSilentModulesLoseNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("R850.txt");
    PanelFixture fx("03 R850\n");
    auto* p = fx.Open<TfrmMR850>("(03)R850");
    ASSERT_NE(p, nullptr);
    fx.window().Port()->SetTimeOut(20); // the silences below are short

    // A silent module: nothing is saved, and the file dialog never opens.
    fx.WithModule(3, [](sim::SimModule& m) {
        m.faults().startAfter = 2;
        m.faults().noReply.count = 1;
    });
    fx.ui().saveNames.push_back(path);
    p->SaveSettings();
    EXPECT_EQ(fx.ui().Texts(),
              QStringList{"Failed to read DO mode !\n(channel DO1: nothing was saved)"});
    EXPECT_EQ(fx.ui().saveNames.size(), 1u);
    EXPECT_FALSE(QFile::exists(path));
    fx.ui().saveNames.clear();

    // Channels are written as far as the file holds them whole.
    const std::pair<QByteArray, QByteArray> broken[] = {
        {"Ch2 mode: 0", "Ch2 mode: 4"}, // no such output mode
        {"Ch2 DO pulse low width: 00001388", "Ch2 DO pulse low width: 1388x"},
        {"Ch2 DO pulse low width: 00001388", "Ch2 DO pulse low width: 100001388"},
        {"Ch2 DO pulse high delay: 00000000\r\n", ""}, // a line missing
    };
    for (const auto& [good, bad] : broken) {
        SCOPED_TRACE(bad.toStdString());
        QByteArray file = R850File();
        file.replace(file.indexOf(good), good.size(), bad);
        ASSERT_TRUE(test::WriteAll(path, file));
        fx.Received(3);
        fx.ui().Clear();
        fx.ui().openNames.push_back(path);
        p->LoadSettings();
        ASSERT_EQ(fx.ui().Texts().size(), 1);
        EXPECT_TRUE(fx.ui().Texts()[0].startsWith("Load Configuration File Error!\nLine "));
        EXPECT_EQ(fx.Received(3).size(), 4u); // DO0 and DO1
    }
    // An input's mode byte must name a mode the module has.
    QByteArray file = R850File();
    file.replace("Ch2 mode: 97", "Ch2 mode: 101");
    ASSERT_TRUE(test::WriteAll(path, file));
    fx.Received(3);
    fx.ui().openNames.push_back(path);
    p->LoadSettings();
    EXPECT_EQ(fx.Received(3).size(), 16u + 4u); // the outputs, DI0 and DI1

    // A refused write stops the load there and says where.
    ASSERT_TRUE(test::WriteAll(path, R850File()));
    fx.WithModule(3, [](sim::SimModule& m) {
        m.faults().startAfter = 2;
        m.faults().noReply.count = 1;
    });
    fx.ui().Clear();
    fx.ui().openNames.push_back(path);
    p->LoadSettings();
    EXPECT_EQ(fx.ui().Texts(),
              QStringList{
                  "Failed to set DO mode !\n(channel DO1: the channels after it were not loaded)"});
    EXPECT_EQ(fx.Received(3).size(), 3u);
    EXPECT_TRUE(p->tmrUpdateDIData->isActive());
}

// ---- the input side ----

// Drives the dialog of one input channel; the module is at 03 (ASCII) or 0D (Modbus).
struct InputFlow {
    const char* name;
    const char* bus;
    const char* node;
    LinkKind link;
    unsigned address;
    Strings startUp;       // mode read, DI mode
    Strings toCounter;     // the mode button (a read), then Update
    Strings filterUpdate;  // widths, mode byte, read back, widths read back
    Strings refresh;       // counter value, counting state
    Strings stop;          // the start/stop button
    Strings clearCounter;
    Strings toFrequency;   // Update to frequency, read back
    Strings clearLatch;    // after Update to the low-to-high latch
};

void RunInputFlow(const InputFlow& f) {
    SCOPED_TRACE(f.name);
    PanelFixture fx(f.bus);
    fx.Open(f.node, f.link);
    fx.Received(f.address);
    auto* d = fx.OpenChild<Dialog>({"(DI2)"});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(fx.Received(f.address), f.startUp);
    EXPECT_TRUE(Shown(d->grpDIConfig));
    EXPECT_TRUE(d->rbtnDIMode[0]->isChecked());
    EXPECT_EQ(d->lblDIModeText->text(), "'D/I' Mode");
    EXPECT_EQ(d->lblDIModeText->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_FALSE(Shown(d->grpCounter));

    // Another mode: red, its groups hidden until Update.
    d->rbtnDIMode[1]->click();
    EXPECT_EQ(d->lblDIModeText->text(), "Please clicking 'Update' button to set as 'Counter' Mode");
    EXPECT_EQ(d->lblDIModeText->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_FALSE(Shown(d->grpCounter));
    d->bitbtnDIUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Success to set DI mode !");
    EXPECT_EQ(fx.Received(f.address), f.toCounter);
    EXPECT_FALSE(Shown(d->lblDIModeText));
    EXPECT_TRUE(Shown(d->grpCounter));
    EXPECT_TRUE(Shown(d->grpFilter));
    EXPECT_TRUE(d->rbtnFilterDisable->isChecked());
    EXPECT_FALSE(d->edtLoWidth->isEnabled()); // the filter is off
    EXPECT_EQ(d->edtLoWidth->text(), "0");

    d->rbtnFilterEnable->click();
    EXPECT_TRUE(d->edtLoWidth->isEnabled());
    d->edtLoWidth->setText("12");
    d->edtHiWidth->setText("34");
    d->chkKeepCounter->setChecked(true);
    d->bitbtnDIUpdate->click();
    EXPECT_EQ(fx.Received(f.address), f.filterUpdate);
    EXPECT_TRUE(d->rbtnFilterEnable->isChecked());
    EXPECT_TRUE(d->chkKeepCounter->isChecked());
    EXPECT_EQ(d->edtHiWidth->text(), "34");

    // Two slow pulses on DI2 count; the refresh shows the count and the state.
    fx.WithModule(f.address, [](sim::SimModule& m) {
        for (int i = 0; i < 2; ++i) Udio(m).SetInputs(0x04), Udio(m).SetInputs(0);
    });
    d->tmrRefreshDITimer();
    EXPECT_EQ(fx.Received(f.address), f.refresh);
    EXPECT_EQ(d->edtCounterValue->text(), "2");
    EXPECT_EQ(d->cmdCounterStart->text(), "To Stop Counting");
    d->cmdCounterStart->click();
    EXPECT_EQ(fx.Received(f.address), f.stop);
    EXPECT_EQ(d->cmdCounterStart->text(), "To Start Counting");
    d->btCounterClear->click();
    EXPECT_EQ(fx.Received(f.address), f.clearCounter);
    EXPECT_EQ(fx.WithModule(f.address, [](sim::SimModule& m) { return Udio(m).InputValue(2); }), 0u);

    // Frequency: the filter (12 and 34 tenths of a ms) lets 50 Hz through.
    d->rbtnDIMode[4]->click();
    fx.Received(f.address);
    d->bitbtnDIUpdate->click();
    EXPECT_EQ(fx.Received(f.address), f.toFrequency);
    EXPECT_EQ(d->lblDIModeText->text(), "'Frequency' Mode");
    EXPECT_TRUE(Shown(d->grpFrequency));
    EXPECT_FALSE(Shown(d->grpCounter));
    fx.WithModule(f.address, [](sim::SimModule& m) { Udio(m).SetFrequency(2, 50.0); });
    d->tmrRefreshDITimer();
    EXPECT_EQ(d->edtFrequency->text(), "50.0");
    EXPECT_EQ(fx.StatusText(), "Polling DIO data...");

    // A latch: its clear button where the counter group stood.
    d->rbtnDIMode[2]->click();
    d->chkInvert->setChecked(false);
    d->bitbtnDIUpdate->click();
    EXPECT_EQ(d->lblDIModeText->text(), "'LO to HI Latch' Mode");
    EXPECT_TRUE(Shown(d->grpClearLatch));
    fx.Received(f.address);
    d->btClearLatch->click();
    EXPECT_EQ(fx.Received(f.address), f.clearLatch);
}

TEST(UniversalChannelDialog, InputModesCounterFilterFrequencyAndLatchOverBothProtocols) {
    RunInputFlow({"ASCII", "03 R850\n", "(03)R850", LinkKind::AsciiPlain, 3,
                  {"$03CIC2"},
                  {"$03CIC2", "$03CIC201", "$03CIC2", "$030C2"},
                  {"$030C20000000C00000022", "$03CIC261", "$03CIC2", "$030C2"},
                  {"#032", "$0352"},
                  {"$03520"},
                  {"@03CAC2"},
                  {"$03CIC264", "$03CIC2"},
                  {"$0362"}});
    RunInputFlow({"Modbus", "0D R850 protocol=modbus\n", "(0D)R850", LinkKind::ModbusRtu, 0x0D,
                  {"0D03012E0001"},
                  {"0D03012E0001", "0D06012E0001", "0D03012E0001", "0D03015C0004"},
                  {"0D10015C0004080000000C00000022", "0D06012E0061", "0D03012E0001",
                   "0D03015C0004"},
                  {"0D0301440002", "0D0100220001"},
                  {"0D0500220000"},
                  {"0D0500320000"},
                  {"0D06012E0064", "0D03012E0001"},
                  {"0D0500320000"}});
}

// ---- the output side ----

struct OutputFlow {
    const char* name;
    const char* bus;
    const char* node;
    LinkKind link;
    unsigned address;
    Strings pulseButton;  // the timings read for the pulse group
    Strings pulseUpdate;  // mode, timings read, timings written, display
    Strings start;        // 100 pulses
    Strings refresh;
    Strings stop;
    Strings continuous;
    Strings delayUpdate;  // low-to-high delay 250
};

void RunOutputFlow(const OutputFlow& f) {
    SCOPED_TRACE(f.name);
    PanelFixture fx(f.bus);
    fx.Open(f.node, f.link);
    auto* d = fx.OpenChild<Dialog>({"(DO1)"});
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->rbtnDOMode[0]->isChecked());
    EXPECT_FALSE(Shown(d->grpPulse));
    fx.Received(f.address);

    d->rbtnDOMode[1]->click();
    EXPECT_EQ(fx.Received(f.address), f.pulseButton);
    EXPECT_TRUE(Shown(d->grpPulse));
    EXPECT_TRUE(Shown(d->grpPulseCount));
    EXPECT_EQ(d->edtPulseHiWidth->text(), "5000");
    EXPECT_EQ(d->lblFreq->text(), "The output Freq:    1.00 Hz");
    EXPECT_EQ(d->lblDuty->text(), "Duty: 50.00 %");

    // Widths of 3 or less are refused before anything goes out.
    d->edtPulseHiWidth->setText("3");
    d->bitbtnDOUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "The high/Low width must be greater than 3!");
    EXPECT_TRUE(fx.Received(f.address).empty());
    d->edtPulseHiWidth->setText("100");
    d->edtPulseLoWidth->setText("300");
    d->edtPulseWidthExit();
    EXPECT_EQ(d->lblFreq->text(), "The output Freq:   25.00 Hz");
    d->bitbtnDOUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Success to set DO mode !");
    EXPECT_EQ(fx.Received(f.address), f.pulseUpdate);
    EXPECT_EQ(d->edtPulseLoWidth->text(), "300"); // read back

    EXPECT_EQ(d->edtCount->text(), "100");
    d->btnStartup->click();
    EXPECT_EQ(fx.Received(f.address), f.start);
    EXPECT_EQ(d->btnStartup->text(), "To stop pulse output");
    d->tmrRefreshDITimer();
    EXPECT_EQ(fx.Received(f.address), f.refresh);
    const int left = d->edtCurrentCount->text().toInt();
    EXPECT_GT(left, 0);
    EXPECT_LE(left, 100);
    d->btnStartup->click();
    EXPECT_EQ(fx.Received(f.address), f.stop);
    EXPECT_EQ(d->btnStartup->text(), "To start pulse output");
    d->rbtnContinuous->click();
    d->btnStartup->click();
    EXPECT_EQ(fx.Received(f.address), f.continuous);
    d->rbtnCount->click();
    d->btnStartup->click(); // stops

    d->rbtnDOMode[2]->click();
    EXPECT_TRUE(Shown(d->grpDelay));
    EXPECT_FALSE(Shown(d->grpPulse));
    EXPECT_EQ(d->edtDelay->text(), "0");
    d->edtDelay->setText("250");
    fx.Received(f.address);
    d->bitbtnDOUpdate->click();
    EXPECT_EQ(fx.Received(f.address), f.delayUpdate);
    EXPECT_EQ(d->edtDelay->text(), "250");
}

TEST(UniversalChannelDialog, OutputModesPulsesAndDelaysOverBothProtocols) {
    const std::string t = "0000012C00000064"; // low 300, high 100
    RunOutputFlow({"ASCII", "03 R850\n", "(03)R850", LinkKind::AsciiPlain, 3,
                   {"$0391"},
                   {"$03COC101", "$0391", "$0391" + t + "0000000000000000", "$0391"},
                   {"#03ERFF0100000064"},
                   {"$03ERFF01"},
                   {"#03ERFF0100000001"},
                   {"#03ERFF0100000000"},
                   {"$03COC102", "$0391", "$0391" + t + "000000FA00000000", "$0391"}});
    RunOutputFlow({"Modbus", "0D R850 protocol=modbus\n", "(0D)R850", LinkKind::ModbusRtu, 0x0D,
                   {"0D0301980008"},
                   {"0D0601370001", "0D0301980008",
                    "0D1001980008100000012C000000640000000000000000", "0D0301980008"},
                   {"0D1001D8000204" "00000064"},
                   {"0D0100410001", "0D0301D80002"},
                   {"0D1001D8000204" "00000001"},
                   {"0D1001D8000204" "00000000"},
                   {"0D0601370002", "0D0301980008",
                    "0D1001980008100000012C00000064000000FA00000000", "0D0301980008"}});
}

// Opening a channel reads its mode and nothing else. What needs more reads (the
// waveform, the delay, the input filter) shows once the user picks the mode, and
// an Update before that keeps the module's timings and filter as they are.
TEST(UniversalChannelDialog, StartUpReadsOnlyTheChannelsMode) {
    PanelFixture fx("03 R850\n");
    fx.Open("(03)R850");
    for (const std::string& line :
         Strings{"$03COC101", "$03COC202", "$03CIC261", "$030C2" + kDI2Widths})
        Set(fx, line);
    fx.Received(3);

    auto* pulse = fx.OpenChild<Dialog>({"(DO1)"});
    ASSERT_NE(pulse, nullptr);
    EXPECT_EQ(fx.Received(3), Strings{"$03COC1"});
    EXPECT_TRUE(pulse->rbtnDOMode[1]->isChecked());
    EXPECT_TRUE(Shown(pulse->grpPulseCount));
    EXPECT_FALSE(Shown(pulse->grpPulse));
    pulse->bitbtnDOUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Success to set DO mode !");
    EXPECT_EQ(fx.Received(3),
              (Strings{"$03COC101", "$0391", "$0391" + std::string("00001388") + "00001388" +
                                                     "00000000" + "00000000",
                       "$0391"}));
    EXPECT_TRUE(Shown(pulse->grpPulse)); // shown with what was read back

    auto* delay = fx.OpenChild<Dialog>({"(DO2)"});
    EXPECT_EQ(fx.Received(3), Strings{"$03COC2"});
    EXPECT_TRUE(delay->rbtnDOMode[2]->isChecked());
    EXPECT_FALSE(Shown(delay->grpDelay));
    delay->rbtnDOMode[2]->click();
    EXPECT_EQ(fx.Received(3), Strings{"$0392"});
    EXPECT_TRUE(Shown(delay->grpDelay));

    auto* counter = fx.OpenChild<Dialog>({"(DI2)"});
    EXPECT_EQ(fx.Received(3), Strings{"$03CIC2"});
    EXPECT_TRUE(counter->rbtnDIMode[1]->isChecked());
    EXPECT_TRUE(Shown(counter->grpCounter));
    EXPECT_FALSE(Shown(counter->grpFilter));
    counter->bitbtnDIUpdate->click();
    EXPECT_EQ(fx.Received(3), (Strings{"$03CIC261", "$03CIC2", "$030C2"}));
    EXPECT_TRUE(Shown(counter->grpFilter));
    EXPECT_EQ(counter->edtHiWidth->text(), "34");
    EXPECT_TRUE(counter->chkKeepCounter->isChecked());
}

TEST(UniversalChannelDialog, WaveformOfThePulseFields) {
    EXPECT_FALSE(Dialog::PulseWaveform(0, 10));
    EXPECT_FALSE(Dialog::PulseWaveform(10, 0));
    const auto a = Dialog::PulseWaveform(5000, 5000);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->frequency, "   1.00");
    EXPECT_EQ(a->duty, "50.00");
    const auto b = Dialog::PulseWaveform(1, 3);
    EXPECT_EQ(b->frequency, "2500.00");
    EXPECT_EQ(b->duty, "25.00");
    const auto c = Dialog::PulseWaveform(0xFFFFFFFF, 0xFFFFFFFF); // no overflow
    EXPECT_EQ(c->duty, "50.00");
}

TEST(UniversalChannelDialog, FailuresAreWordedAndSendNothingFurther) {
    PanelFixture fx("03 R850\n");
    fx.Open("(03)R850");
    fx.window().Port()->SetTimeOut(20); // the silences below are short
    fx.WithModule(3, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    auto* d = fx.OpenChild<Dialog>({"(DO1)"});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(fx.ui().Texts().back(), "Failed to read DO mode !");
    EXPECT_FALSE(Shown(d->bitbtnDOUpdate));
    EXPECT_FALSE(Shown(d->grpPulse));
    for (auto* b : d->rbtnDOMode) EXPECT_FALSE(b->isChecked());

    auto* in = fx.OpenChild<Dialog>({"(DI0)"});
    fx.WithModule(3, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    in->rbtnDIMode[1]->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Failed to read DI mode !");
    fx.WithModule(3, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    in->bitbtnDIUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Failed to set DI mode !");
    fx.WithModule(3, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    in->cmdCounterStart->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Failed to start counting !");
    fx.WithModule(3, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    in->btClearLatch->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Failed to clear latch value !");
    // In frequency mode the refresh reads the value; a silent module says so.
    in->rbtnDIMode[4]->click();
    in->bitbtnDIUpdate->click();
    fx.WithModule(3, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    in->tmrRefreshDITimer();
    EXPECT_EQ(fx.StatusText(), "Failed to read counter value !");
    EXPECT_TRUE(fx.Indicator() == "2" || fx.Indicator() == "3");
}

} // namespace
} // namespace tavo
