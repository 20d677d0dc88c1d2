// The settings file format: writing, reading in order, the model check.
#include "panels/common/settings_file.h"
#include "test_ui.h"

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tavo {
namespace {

TEST(SettingsFile, WritesKeyValueLinesWithCrLf) {
    SettingsWriter w(" Tavo-R210D ");
    w.Line("BaudRate: ", 3);
    w.Line("checkSum: ", "0");
    w.Line("High Alarm: ", "5");
    EXPECT_EQ(w.Bytes(), "Module Name:  Tavo-R210D \r\nBaudRate: 3\r\ncheckSum: 0\r\nHigh Alarm: 5\r\n");
    EXPECT_EQ(DefaultSettingsFileName(" Tavo-R210D "), "R210D.txt");
    EXPECT_EQ(DefaultSettingsFileName(" Tavo-K230P "), "K230P.txt");
}

TEST(SettingsFile, ReadsInOrderAndStopsAtTheFirstMismatch) {
    SettingsReader r("Module Name:  Tavo-R210D \nBaudRate: 3\r\nInput Range: 12x\nData Format: 7\n"
                     "Oops: 1\nAlarm Type: 1\n");
    EXPECT_EQ(r.ModuleName(), "Tavo-R210D");
    EXPECT_EQ(r.Int("BaudRate: "), 3);
    EXPECT_EQ(r.Int("Input Range: "), 12); // a "%d" field takes the leading number
    QComboBox combo;
    combo.addItems({"a", "b", "c"});
    combo.setCurrentIndex(1);
    EXPECT_EQ(ReadListIndex(r, "Data Format: ", &combo), std::nullopt); // no item 7: not taken
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(r.StopLine(), 4);
    EXPECT_FALSE(r.Matching());
    EXPECT_EQ(r.Int("Alarm Type: "), std::nullopt); // nothing after a mismatch
}

TEST(SettingsFile, GarbageEmptyAndBinaryFilesNeverMatch) {
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\x00\x01\x02Module Name: x", 17),
                                    QByteArray(5000, '\xFF'), QByteArray("Module Name:\n")}) {
        SettingsReader r(bytes);
        EXPECT_EQ(r.ModuleName(), "");
        EXPECT_FALSE(r.Int("BaudRate: "));
    }
}

TEST(SettingsFile, SaveAndLoadThroughTheDialogs) {
    test::ScopedTestUi ui;
    QTemporaryDir dir;
    const QString path = dir.filePath("R210D.txt");
    ui.ui().saveNames.push_back(path);
    ASSERT_TRUE(SaveSettingsFile(nullptr, " Tavo-R210D ", [](SettingsWriter& w) { w.Line("BaudRate: ", 3); }));
    EXPECT_EQ(ui.ui().defaultNames.back(), "R210D.txt");
    int baud = -1;
    ui.ui().openNames.push_back(path);
    EXPECT_TRUE(LoadSettingsFile(nullptr, " Tavo-R210D ",
                                 [&](SettingsReader& r) { baud = r.Int("BaudRate: ").value_or(-2); }));
    EXPECT_EQ(baud, 3);
    // Another model's file is refused and nothing is read.
    ui.ui().openNames.push_back(path);
    EXPECT_FALSE(LoadSettingsFile(nullptr, " Tavo-R210 ", [&](SettingsReader&) { baud = 99; }));
    EXPECT_EQ(ui.ui().Texts().back(), "Load Configuration File Error!");
    EXPECT_EQ(baud, 3);
    // Unopenable files, either way.
    ui.ui().openNames.push_back(dir.filePath("missing.txt"));
    EXPECT_FALSE(LoadSettingsFile(nullptr, " Tavo-R210D ", [](SettingsReader&) {}));
    EXPECT_EQ(ui.ui().boxes.back().title, "Message");
    EXPECT_EQ(ui.ui().boxes.back().text, "Error when opening file");
    EXPECT_EQ(ui.ui().boxes.back().icon, UiServices::Icon::Error);
    ui.ui().saveNames.push_back(dir.filePath("no/such/dir/x.txt"));
    EXPECT_FALSE(SaveSettingsFile(nullptr, " Tavo-R210D ", [](SettingsWriter&) {}));
    EXPECT_EQ(ui.ui().boxes.back().text, "Error when opening file");
    EXPECT_EQ(ui.ui().boxes.back().icon, UiServices::Icon::Error);
    // Cancelled dialogs do nothing.
    const auto shown = ui.ui().boxes.size();
    EXPECT_FALSE(SaveSettingsFile(nullptr, " Tavo-R210D ", [](SettingsWriter&) {}));
    EXPECT_FALSE(LoadSettingsFile(nullptr, " Tavo-R210D ", [](SettingsReader&) {}));
    EXPECT_EQ(ui.ui().boxes.size(), shown);
}

} // namespace
} // namespace tavo
