// Settings files of the R310 panel: the lines written, a round trip onto another
// module of the same model, and files that are not the panel's.
#include "file_helpers.h"
#include "panel_fixture.h"

#include "panels/analog/r310_panel.h"
#include "panels/analog/r330_panel.h"
#include "panels/analog/single_input_panels.h"

#include "sim/module.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::PanelFixture;
using test::ReadAll;
using test::Starting;

void Write(const QString& path, const QByteArray& bytes) {
    ASSERT_TRUE(test::WriteAll(path, bytes));
}

TEST(R310SettingsFiles, SaveThenLoadOntoAnotherModule) {
    PanelFixture fx("01 R310 type=32 format=11\n03 R310 init type=30 format=00\n");
    QTemporaryDir dir;
    const QString file = dir.filePath("R310.txt");
    auto* first = fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(first, nullptr);
    fx.ui().saveNames.push_back(file);
    fx.window().tlbtnSaveConfClick();
    EXPECT_EQ(fx.ui().defaultNames.back(), "R310.txt");
    // No baud rate line; slew code 4 from format bits 5..2 of 11.
    EXPECT_EQ(ReadAll(file), "Module Name:  Tavo-R310 \r\ncheckSum: 1\r\nInput Range: 2\r\n"
                             "Data Format: 1\r\nSlew Rate: 4\r\n");

    // Onto a module in INIT: every line reaches the module.
    auto* second = fx.Open<TfrmMR310>("(*)R310");
    ASSERT_NE(second, nullptr);
    fx.Received(0x03);
    fx.ui().Clear();
    fx.ui().openNames.push_back(file);
    fx.window().tlbtnLoadConfClick();
    EXPECT_EQ(Starting(fx.Received(0x03), "%"), std::vector<std::string>{"%0003320611"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    EXPECT_EQ(second->cmbTypeChangeAllCh->currentIndex(), 2);
    EXPECT_EQ(second->cmbSlewRate->currentText(), "0.5  V/sec");
    EXPECT_EQ(second->cmbDataFormat->currentIndex(), 1);
    EXPECT_FALSE(second->chkCheckSum->isChecked());
    EXPECT_TRUE(second->findChild<QTimer*>("tmrUpdateAOData")->isActive());

    // Outside INIT only the range goes out; the ticked flag "0" ticks the box.
    Write(file, "Module Name:  Tavo-R310 \r\ncheckSum: 0\r\nInput Range: 0\r\n"
                "Data Format: 2\r\nSlew Rate: 7\r\n");
    auto* again = fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(again, nullptr);
    fx.Received(0x01);
    fx.ui().openNames.push_back(file);
    again->LoadSettings();
    EXPECT_EQ(Starting(fx.Received(0x01), "%"), std::vector<std::string>{"%0101300611"});
    EXPECT_EQ(fx.WithModule(0x01, [](sim::SimModule& m) { return m.config().typeCode; }), 0x30u);
}

TEST(R310SettingsFiles, FilesOfOtherModelsAndBrokenFilesSendNothing) {
    PanelFixture fx("01 R310 type=31\n02 R250 type=02\n");
    QTemporaryDir dir;
    const QString r250 = dir.filePath("R250.txt");
    auto* input = fx.Open<TfrmMR250>("(02)R250");
    ASSERT_NE(input, nullptr);
    fx.ui().saveNames.push_back(r250);
    input->SaveSettings();
    // The strain-gauge panel keeps the input panels' line set.
    EXPECT_EQ(ReadAll(r250).toStdString(), "Module Name:  Tavo-R250 \r\nBaudRate: 3\r\ncheckSum: 1\r\n"
                             "Input Range: 2\r\nData Format: 0\r\nIntegration Time: 0\r\n"
                             "Alarm Type: 0\r\nHigh Alarm: 60\r\nLow Alarm: -60\r\n");

    auto* panel = fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(panel, nullptr);
    struct Case {
        QByteArray bytes; // empty: the R250 file
        QString message;
    };
    const Case cases[] = {
        {{}, "Load Configuration File Error!"},
        {"Module Name:  Tavo-R330 \r\ncheckSum: 1\r\nInput Range: 0\r\nData Format: 0\r\n"
         "Slew Rate: 0\r\n",
         "Load Configuration File Error!"},
        {"Module Name:  Tavo-R310 \r\ncheckSum: 1\r\nInput Range: 0\r\nData Format: 0\r\n"
         "Slew Rate: 12\r\n",
         "Load Configuration File Error!\nLine 5 of the file does not fit this panel; nothing "
         "from there on was written to the module."},
        {"Module Name:  Tavo-R310 \r\ncheckSum: 1\r\nInput Range: 3\r\n",
         "Load Configuration File Error!\nLine 3 of the file does not fit this panel; nothing "
         "from there on was written to the module."},
        {"Module Name:  Tavo-R310 \r\nBaudRate: 3\r\ncheckSum: 1\r\n",
         "Load Configuration File Error!\nLine 2 of the file does not fit this panel; nothing "
         "from there on was written to the module."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        QString file = r250;
        if (!c.bytes.isEmpty()) {
            file = dir.filePath("other.txt");
            Write(file, c.bytes);
        }
        fx.Received(0x01);
        fx.ui().Clear();
        fx.ui().openNames.push_back(file);
        panel->LoadSettings();
        EXPECT_EQ(fx.ui().Texts(), QStringList{c.message});
        EXPECT_TRUE(Starting(fx.Received(0x01), "%").empty());
        EXPECT_EQ(panel->cmbTypeChangeAllCh->currentIndex(), 1); // as the module has it
        EXPECT_TRUE(panel->findChild<QTimer*>("tmrUpdateAOData")->isActive());
    }
}

TEST(R330Panel, HasNoSettingsFile) {
    PanelFixture fx("01 R330\n");
    auto* panel = fx.Open<TfrmMR330>("(01)R330");
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->HasSettingsFile());
    fx.window().tlbtnSaveConfClick();
    EXPECT_EQ(fx.StatusText(), "This panel has no settings file.");
    EXPECT_TRUE(fx.ui().defaultNames.empty());
}

} // namespace
} // namespace tavo
