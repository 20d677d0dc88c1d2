// The terminal window against the simulator.
#include "support/sim_bus.h"
#include "test_ui.h"

#include "workspace/terminal.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace tavo {
namespace {

class TerminalTest : public ::testing::Test {
protected:
    TerminalTest() : sim("01 R210D\n02 R550 checksum\n"), port(sim.Open(20)), terminal(*port) {}
    QStringList Log() const { return terminal.edtCommandStatus->toPlainText().split('\n'); }

    test::ScopedTestUi ui;
    test::SimBus sim;
    std::unique_ptr<TavoComPort> port;
    TfrmMTerminal terminal;
};

TEST_F(TerminalTest, SingleCommandsWithAndWithoutChecksum) {
    EXPECT_TRUE(terminal.rdbIsSingleCommand->isChecked());
    EXPECT_FALSE(terminal.edtFileName->isEnabled());
    terminal.edtCommandLine->setText("$01M");
    emit terminal.edtCommandLine->returnPressed(); // Enter sends
    EXPECT_EQ(terminal.edtResponse->text(), "!01R210D");
    terminal.edtCommandLine->setText("$02M");
    terminal.btSend->click();
    EXPECT_EQ(terminal.edtResponse->text(), "Timeout!");
    terminal.chkCheckSum->setChecked(true);
    terminal.btSend->click();
    EXPECT_EQ(terminal.edtResponse->text(), "!02R550"); // checksum removed
    const QStringList log = Log();
    ASSERT_EQ(log.size(), 6);
    EXPECT_TRUE(log[0].startsWith("$01M "));
    EXPECT_EQ(log[0].size(), 308);
    EXPECT_TRUE(log[1].startsWith("!01R210D "));
    EXPECT_TRUE(log[1].endsWith("(ms)"));
    EXPECT_TRUE(log[3].startsWith("Timeout!"));
    EXPECT_EQ(port->GetCheckSum(), true);
}

TEST_F(TerminalTest, CommandFileModeAndContinuousSending) {
    QTemporaryDir dir;
    const QString path = dir.filePath("cmds.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("$01M $01F\n$012\n");
    f.close();
    terminal.rdbIsNotSingleCommand->click();
    EXPECT_TRUE(terminal.edtFileName->isEnabled());
    EXPECT_FALSE(terminal.edtCommandLine->isEnabled());
    terminal.btSend->click(); // no file name: nothing
    EXPECT_EQ(terminal.edtCommandStatus->toPlainText(), "");
    ui.ui().openNames.push_back(path);
    terminal.btFileBrowse->click();
    EXPECT_EQ(terminal.edtFileName->text(), path);
    terminal.btSend->click();
    EXPECT_EQ(Log().size(), 6);
    EXPECT_TRUE(Log()[5].startsWith("!01000600"));

    terminal.btContinueSend->click();
    EXPECT_TRUE(terminal.tmrUpdate->isActive());
    EXPECT_FALSE(terminal.btSend->isEnabled());
    EXPECT_FALSE(terminal.btExit->isEnabled());
    terminal.tmrUpdateTimer();
    EXPECT_EQ(Log().size(), 12);
    terminal.btStopSend->click();
    EXPECT_FALSE(terminal.tmrUpdate->isActive());
    EXPECT_TRUE(terminal.btSend->isEnabled());

    // A file that disappears stops continuous sending at the first error.
    terminal.edtFileName->setText(dir.filePath("gone.txt"));
    terminal.btContinueSend->click();
    terminal.tmrUpdateTimer();
    EXPECT_FALSE(terminal.tmrUpdate->isActive());
    EXPECT_TRUE(terminal.btSend->isEnabled());
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    EXPECT_EQ(ui.ui().boxes[0].title, "Message");
    EXPECT_EQ(ui.ui().boxes[0].text, "Error when opening file");
    EXPECT_EQ(ui.ui().boxes[0].icon, UiServices::Icon::Error);

    const QString saved = dir.filePath("log.txt");
    ui.ui().saveNames.push_back(saved);
    terminal.btSaveToFile->click();
    QFile log(saved);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count('\n'), 12);
}

} // namespace
} // namespace tavo
