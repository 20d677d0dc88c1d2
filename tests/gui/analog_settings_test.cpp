// Settings files of the single-channel analog input panels: the lines written, a
// round trip onto another module, and files that do not fit.
#include "panel_fixture.h"

#include "panels/analog/single_input_panels.h"
#include "panels/common/edit_controls.h"

#include "sim/module.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::PanelFixture;
using test::Starting;

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Sets the alarm mode and limits through the panel, as a user would.
void SetAlarm(TfrmMR210D* panel, int mode, const QString& high, const QString& low) {
    panel->cmbAlarmType->setCurrentIndex(mode);
    panel->btAlarmTypeSettingUpdateClick();
    panel->edtHighLimt->setText(high);
    panel->btHighAlarmLimitUpdateClick();
    panel->edtLowLimt->setText(low);
    panel->btLowAlarmLimitUpdateClick();
}

TEST(AnalogSettingsFiles, SaveThenLoadOntoAnotherModule) {
    PanelFixture fx("01 R210D type=03 format=80\n02 R210D type=00 format=00\n");
    QTemporaryDir dir;
    const QString file = dir.filePath("R210D.txt");
    auto* first = fx.Open<TfrmMR210D>("(01)R210D");
    ASSERT_NE(first, nullptr);
    SetAlarm(first, 2, "250", "-100.5");
    fx.ui().saveNames.push_back(file);
    fx.window().tlbtnSaveConfClick();
    EXPECT_EQ(fx.ui().defaultNames.back(), "R210D.txt");
    EXPECT_EQ(ReadAll(file),
              "Module Name:  Tavo-R210D \r\nBaudRate: 3\r\ncheckSum: 1\r\nInput Range: 3\r\n"
              "Data Format: 0\r\nIntegration Time: 1\r\nAlarm Type: 2\r\nHigh Alarm: 250\r\n"
              "Low Alarm: -100.5\r\n");

    auto* second = fx.Open<TfrmMR210D>("(02)R210D");
    ASSERT_NE(second, nullptr);
    fx.Received(0x02);
    fx.ui().Clear();
    fx.ui().openNames.push_back(file);
    fx.window().tlbtnLoadConfClick();
    const auto sent = fx.Received(0x02);
    EXPECT_EQ(Starting(sent, "%"), std::vector<std::string>{"%0202030600"}); // range only: not INIT
    EXPECT_EQ(Starting(sent, "@02EA"), std::vector<std::string>{"@02EAL"});
    EXPECT_EQ(Starting(sent, "@02HI"), std::vector<std::string>{"@02HI+250.00"});
    EXPECT_EQ(Starting(sent, "@02LO"), std::vector<std::string>{"@02LO-100.50"});
    EXPECT_EQ(fx.ui().Texts(), (QStringList{"Update general setting succeeded!",
                                            "Update alarm type setting succeeded!",
                                            "Update hihg alarm limit value succeeded!",
                                            "Update low alarm limit value succeeded!"}));
    EXPECT_EQ(fx.WithModule(0x02, [](sim::SimModule& m) { return m.config().typeCode; }), 0x03u);
    EXPECT_EQ(second->cmbTypeChangeAllCh->currentIndex(), 3);
    EXPECT_EQ(second->cmbAlarmType->currentIndex(), 2);
    EXPECT_EQ(second->edtHighLimt->text(), "250");
    EXPECT_EQ(second->edtLowLimt->text(), "-100.5");
    EXPECT_TRUE(second->findChild<QTimer*>("tmrUpdateAIData")->isActive());
}

TEST(AnalogSettingsFiles, LoadInInitModeWritesEveryGeneralSetting) {
    PanelFixture fx("03 R210D init type=00 format=00\n");
    QTemporaryDir dir;
    const QString file = dir.filePath("R210D.txt");
    Write(file, "Module Name:  Tavo-R210D \r\nBaudRate: 7\r\ncheckSum: 0\r\nInput Range: 9\r\n"
                "Data Format: 1\r\nIntegration Time: 1\r\nAlarm Type: 0\r\nHigh Alarm: 5\r\nLow "
                "Alarm: -5\r\n");
    auto* panel = fx.Open<TfrmMR210D>("(*)R210D");
    ASSERT_NE(panel, nullptr);
    fx.Received(0x03);
    fx.ui().openNames.push_back(file);
    panel->LoadSettings();
    // The stored baud rate is not applied; the checksum box is ticked by "0".
    EXPECT_EQ(Starting(fx.Received(0x03), "%"), std::vector<std::string>{"%00031006C1"});
    EXPECT_TRUE(panel->chkCheckSum->isChecked());
    EXPECT_EQ(panel->cmbBaudRate->currentIndex(), 3);
}

TEST(AnalogSettingsFiles, HiddenControlsAreLeftOutAndOtherModelsRefused) {
    PanelFixture fx("01 R230 type=23\n02 R210 type=01\n");
    QTemporaryDir dir;
    const QString file = dir.filePath("R230.txt");
    auto* r230 = fx.Open<TfrmMR230>("(01)R230");
    ASSERT_NE(r230, nullptr);
    fx.ui().saveNames.push_back(file);
    r230->SaveSettings();
    EXPECT_EQ(ReadAll(file),
              "Module Name:  Tavo-R230 \r\nBaudRate: 3\r\ncheckSum: 1\r\nInput Range: 3\r\n"
              "Data Format: 0\r\nIntegration Time: 0\r\n");
    auto* r210 = fx.Open<TfrmMR210>("(02)R210");
    ASSERT_NE(r210, nullptr);
    fx.Received(0x02);
    fx.ui().Clear();
    fx.ui().openNames.push_back(file);
    r210->LoadSettings();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Load Configuration File Error!"});
    EXPECT_TRUE(fx.Received(0x02).empty());
    EXPECT_TRUE(r210->findChild<QTimer*>("tmrUpdateAIData")->isActive());
    // Cancelling either dialog does nothing.
    r210->LoadSettings();
    r210->SaveSettings();
    EXPECT_EQ(fx.ui().boxes.size(), 1u);
    EXPECT_TRUE(fx.Received(0x02).empty());
}

// Files that do not fit never crash the panel and never send a value the panel
// did not read, from the file or from the module.
TEST(AnalogSettingsFiles, FilesThatDoNotFitSendOnlyWhatWasRead) {
    const QByteArray head = "Module Name:  Tavo-R210D \r\n";
    struct Row {
        const char* name;
        QByteArray bytes;
        bool refused;     // "Load Configuration File Error!", nothing sent
        unsigned type;    // the module's range afterwards
        const char* high; // its high limit afterwards
    };
    const Row rows[] = {
        {"empty", QByteArray(), true, 0x01, "+20.000"},
        {"binary", QByteArray("\x00\x01\xFF\xFEModule Name:  Tavo-R210D \r\n", 31), true, 0x01,
         "+20.000"},
        {"noise", QByteArray(4096, '\xA5'), true, 0x01, "+20.000"},
        {"name only", head, false, 0x01, "+20.000"},
        {"garbage", head + "xyz\r\n\x01\x02\r\n", false, 0x01, "+20.000"},
        {"missing", head + "BaudRate: 3\r\ncheckSum: 1\r\n", false, 0x01, "+20.000"},
        {"reordered", head + "Input Range: 2\r\nBaudRate: 3\r\ncheckSum: 1\r\n", false, 0x01,
         "+20.000"},
        {"range out of list", head + "BaudRate: 3\r\ncheckSum: 1\r\nInput Range: 99\r\n", false,
         0x01, "+20.000"},
        {"negative range", head + "BaudRate: 3\r\ncheckSum: 1\r\nInput Range: -1\r\n", false, 0x01,
         "+20.000"},
        {"limit not a number",
         head + "BaudRate: 3\r\ncheckSum: 1\r\nInput Range: 1\r\nData Format: 0\r\nIntegration "
                "Time: 0\r\n"
                "Alarm Type: 1\r\nHigh Alarm: 1e9\r\nLow Alarm: -5\r\n",
         false, 0x01, "+20.000"},
        {"limit too long",
         head + "BaudRate: 3\r\ncheckSum: 1\r\nInput Range: 1\r\nData Format: 0\r\nIntegration "
                "Time: 0\r\n"
                "Alarm Type: 1\r\nHigh Alarm: 12.345678\r\n",
         false, 0x01, "+20.000"},
        {"extra lines",
         head + "BaudRate: 3\r\ncheckSum: 1\r\nInput Range: 2\r\nData Format: 0\r\nIntegration "
                "Time: 0\r\n"
                "Alarm Type: 1\r\nHigh Alarm: 40\r\nLow Alarm: -40\r\nColour: blue\r\n\r\n",
         false, 0x02, "+040.00"},
        {"LF only",
         QByteArray("Module Name:  Tavo-R210D \nBaudRate: 3\ncheckSum: 1\nInput Range: 4\n"
                    "Data Format: 0\nIntegration Time: 0\n"),
         false, 0x04, "+20.000"},
    };
    QTemporaryDir dir;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        PanelFixture fx("01 R210D type=01 format=00\n");
        auto* panel = fx.Open<TfrmMR210D>("(01)R210D");
        ASSERT_NE(panel, nullptr);
        SetAlarm(panel, 1, "20", "-20");
        const QString file = dir.filePath(QString(r.name) + ".txt");
        Write(file, r.bytes);
        fx.Received(0x01);
        fx.ui().Clear();
        fx.ui().openNames.push_back(file);
        panel->LoadSettings();
        const auto sent = fx.Received(0x01);
        if (r.refused) {
            EXPECT_EQ(fx.ui().Texts(), QStringList{"Load Configuration File Error!"});
            EXPECT_TRUE(sent.empty());
            continue;
        }
        // A file that stops matching says where; the groups before it were written.
        if (r.high != std::string("+040.00")) {
            ASSERT_FALSE(fx.ui().boxes.empty());
            EXPECT_TRUE(fx.ui().boxes.back().text.startsWith("Load Configuration File Error!\nLine "));
        }
        // Whatever ran sent the module's own settings or the file's, never others.
        for (const auto& c : Starting(sent, "%"))
            EXPECT_TRUE(c == "%0101010600" ||
                        c == "%010102"
                             "0600" ||
                        c == "%0101040600")
                << c;
        for (const auto& c : Starting(sent, "@01EA"))
            EXPECT_EQ(c, "@01EAM");
        EXPECT_TRUE(Starting(sent, "@01DA").empty());
        EXPECT_EQ(fx.WithModule(0x01, [](sim::SimModule& m) { return m.config().typeCode; }),
                  r.type);
        EXPECT_EQ(fx.WithModule(0x01, [](sim::SimModule& m) { return m.config().formatCode; }), 0u);
        EXPECT_EQ(panel->cmbAlarmType->currentIndex(), 1);
        double high = 0;
        ASSERT_TRUE(ParsePlainDecimal(panel->edtHighLimt->text(), high));
        EXPECT_EQ(QString::number(high, 'g', 15), ValueText(r.high));
        EXPECT_TRUE(panel->findChild<QTimer*>("tmrUpdateAIData")->isActive());
    }
}

TEST(AnalogSettingsFiles, UnopenableFilesSayso) {
    PanelFixture fx("01 R210D\n");
    auto* panel = fx.Open<TfrmMR210D>("(01)R210D");
    ASSERT_NE(panel, nullptr);
    QTemporaryDir dir;
    fx.ui().openNames.push_back(dir.filePath("missing.txt"));
    panel->LoadSettings();
    fx.ui().saveNames.push_back(dir.filePath("no/such/dir/R210D.txt"));
    panel->SaveSettings();
    ASSERT_EQ(fx.ui().boxes.size(), 2u);
    for (const auto& box : fx.ui().boxes) {
        EXPECT_EQ(box.title, "Message");
        EXPECT_EQ(box.text, "Error when opening file");
        EXPECT_EQ(box.icon, UiServices::Icon::Error); // a failure takes the error icon
    }
    // Saving over an existing file replaces it whole.
    const QString file = dir.filePath("R210D.txt");
    Write(file, QByteArray(10000, 'x'));
    fx.ui().saveNames.push_back(file);
    panel->SaveSettings();
    EXPECT_TRUE(ReadAll(file).startsWith("Module Name:  Tavo-R210D \r\n"));
    EXPECT_LT(ReadAll(file).size(), 300);
}

} // namespace
} // namespace tavo
