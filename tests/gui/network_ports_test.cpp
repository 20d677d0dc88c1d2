// Network ports in the window: the Add Network Port command and its address
// checks, the settings panel of raw TCP and RFC 2217 ports, over real loopback
// sockets.
#include "panel_fixture.h"
#include "support/firmware_files.h"
#include "support/reserved_port.h"
#include "support/ser2net.h"
#include "test_ui.h"

#include "panels/system/k100_panel.h"
#include "sim/boot_loader.h"
#include "workspace/r8xx_panel.h"

#include "transport/com_port.h"
#include "transport/network_serial.h"
#include "workspace/com_set.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"
#include "workspace/status_bar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tavo {
namespace {

using test::PanelFixture;
using test::ScopedTestUi;
using test::Starting;
using test::TestUi;

// A loopback listener on a free port; connections wait in its backlog unless a
// peer thread takes them.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            ADD_FAILURE() << "no loopback listener";
        port_ = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd_); }
    int fd() const { return fd_; }
    QString Url(const char* scheme) const {
        return QString("%1://127.0.0.1:%2").arg(scheme).arg(port_);
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A device server speaking the COM-PORT-OPTION that confirms every setting but
// baud rates other than 9600, which it answers with 9600 as a server does that
// cannot do them; or, told to, one that refuses the option outright.
class Rfc2217Peer {
public:
    explicit Rfc2217Peer(bool acceptComPort = true)
        : accept_(acceptComPort), thread_([this] { Run(); }) {}
    ~Rfc2217Peer() {
        stop_ = true;
        thread_.join();
    }
    QString Url() const { return listener_.Url("rfc2217"); }

private:
    void Run() {
        pollfd p{listener_.fd(), POLLIN, 0};
        while (!stop_ && ::poll(&p, 1, 20) == 0) {
        }
        const int fd = stop_ ? -1 : ::accept(listener_.fd(), nullptr, nullptr);
        TelnetParser parser;
        while (fd >= 0 && !stop_) {
            pollfd c{fd, POLLIN, 0};
            if (::poll(&c, 1, 20) <= 0) continue;
            std::uint8_t buf[256];
            const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
            if (got <= 0) break;
            std::vector<std::uint8_t> data;
            std::vector<TelnetParser::Command> commands;
            parser.Feed(buf, static_cast<std::size_t>(got), data, commands);
            for (const auto& command : commands) {
                std::vector<std::uint8_t> answer;
                if (command.verb == 251 && command.option == 44) // WILL COM-PORT: DO or DONT
                    answer = {255, static_cast<std::uint8_t>(accept_ ? 253 : 254), 44};
                if (command.verb == 250 && !command.payload.empty()) {
                    answer = {255, 250, 44, static_cast<std::uint8_t>(command.payload[0] + 100)};
                    const bool baud = command.payload[0] == 1;
                    if (baud) answer.insert(answer.end(), {0, 0, 0x25, 0x80});
                    else answer.insert(answer.end(), command.payload.begin() + 1, command.payload.end());
                    answer.insert(answer.end(), {255, 240});
                }
                if (!answer.empty()) ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
        }
        if (fd >= 0) ::close(fd);
    }

    Listener listener_;
    const bool accept_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

QAction* AddCommand(TfrmMain& window) {
    auto* action = window.findChild<QAction*>("menuAddNetworkPort");
    EXPECT_NE(action, nullptr);
    return action;
}

TEST(NetworkPortsWindow, AddCommandChecksTheAddressAndOpensTheRawTcpPort) {
    ScopedTestUi ui;
    Listener server;
    TfrmMain window;
    QAction* add = AddCommand(window);
    ASSERT_NE(add, nullptr);
    EXPECT_TRUE(window.Tree()->actions().contains(add)); // the tree's own menu offers it too
    const QString url = server.Url("tcp");
    ui.ui().textAnswers = {"ftp://host:4000", "tcp://", "tcp://host", "tcp://host:0",
                           "tcp://host:65536", "tcp://host:40x0", "rfc2217://[::1:4000",
                           "tcp://a b:4000", " TCP" + url.mid(3) + "/ "};
    add->trigger();
    const QStringList texts = ui.ui().Texts();
    ASSERT_EQ(texts.size(), 8) << texts.join('\n').toStdString();
    EXPECT_TRUE(texts[0].startsWith("\"ftp://\" is no network port type")) << texts[0].toStdString();
    EXPECT_EQ(texts[1], "The address tcp:// has no host: tcp://HOST:PORT or rfc2217://HOST:PORT.");
    EXPECT_EQ(texts[2], "The address tcp://host has no port number: add :PORT (1 to 65535).");
    EXPECT_EQ(texts[3], "The port number \"0\" of tcp://host:0 is not a number from 1 to 65535.");
    EXPECT_TRUE(texts[4].startsWith("The port number \"65536\"")) << texts[4].toStdString();
    EXPECT_TRUE(texts[5].startsWith("The port number \"40x0\"")) << texts[5].toStdString();
    EXPECT_EQ(texts[6], "The IPv6 host of rfc2217://[::1:4000 lacks its closing ']'.");
    EXPECT_TRUE(texts[7].startsWith("The host \"a b\" of tcp://a b:4000 is no host name"))
        << texts[7].toStdString();
    // Each question after a refusal offers what was typed, to be corrected.
    ASSERT_EQ(ui.ui().textQuestions.size(), 9u);
    EXPECT_EQ(ui.ui().textQuestions[0].second, "tcp://");
    EXPECT_EQ(ui.ui().textQuestions[4].second, "tcp://host:0");

    // Listed under its plain name and opened; its settings panel claims no line.
    QTreeWidgetItem* node = window.Tree()->FindPort(url);
    ASSERT_NE(node, nullptr);
    ASSERT_NE(window.Port(), nullptr);
    EXPECT_EQ(window.Port()->GetPortName(), url.toStdString());
    EXPECT_EQ(window.Tree()->currentItem(), node);
    TfrmComSet* set = window.ComSet();
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->EditPort->text(), url);
    EXPECT_FALSE(set->lblServerLine->isHidden());
    EXPECT_EQ(set->lblServerLine->text(), kServerLineNote);
    for (QWidget* w : std::initializer_list<QWidget*>{set->ComboBoxBaudRate, set->CB_Parity,
                                                      set->CB_StopBits, set->Bt_Advanced,
                                                      set->chkSweep})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(set->ComboBoxBaudRate->currentText(), "");
    EXPECT_TRUE(set->EditTimeOut->isEnabled());
    EXPECT_EQ(window.StatusBar()->PortText(), kServerLineText);

    // The same port again is not listed twice; cancelling adds nothing.
    ui.ui().textAnswers = {url};
    add->trigger();
    add->trigger();
    int listed = 0;
    for (int i = 0; i < window.Tree()->Root()->childCount(); ++i)
        listed += window.Tree()->Root()->child(i)->text(0) == url;
    EXPECT_EQ(listed, 1);
}

TEST(NetworkPortsWindow, CommandLinePortIsListedAndAFailedConnectSaysWhy) {
    ScopedTestUi ui;
    const test::ReservedPort nobodyListens;
    const QString url = QString("tcp://127.0.0.1:%1").arg(nobodyListens.number());
    TfrmMain window(QStringList{url});
    QTreeWidgetItem* node = window.Tree()->FindPort(url);
    ASSERT_NE(node, nullptr);
    window.ClickNode(node);
    EXPECT_EQ(window.Port(), nullptr);
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    EXPECT_TRUE(ui.ui().boxes[0].text.startsWith("Open " + url + " failed!\ncannot connect to "))
        << ui.ui().boxes[0].text.toStdString();
}

// Opens the port's node; the open port's settings panel, or null (with what the
// boxes said) when the port did not open.
TfrmComSet* OpenPortSettings(TfrmMain& window, const QString& url, TestUi& ui) {
    window.ClickNode(window.Tree()->FindPort(url));
    EXPECT_NE(window.Port(), nullptr) << ui.Texts().join('\n').toStdString();
    return window.Port() ? window.ComSet() : nullptr;
}

TEST(NetworkPortsWindow, Rfc2217PortTakesLineSettingsAndSaysWhenTheServerRefuses) {
    ScopedTestUi ui;
    Rfc2217Peer server;
    TfrmMain window(QStringList{server.Url()});
    TfrmComSet* set = OpenPortSettings(window, server.Url(), ui.ui());
    ASSERT_NE(set, nullptr);
    EXPECT_TRUE(set->lblServerLine->isHidden());
    EXPECT_TRUE(set->ComboBoxBaudRate->isEnabled());
    EXPECT_EQ(set->ComboBoxBaudRate->currentIndex(), 3);
    EXPECT_EQ(window.StatusBar()->PortText(), "9600, N, 8, 1");

    set->Bt_Advanced->click();
    set->CB_Parity->setCurrentIndex(1); // taken
    window.tlbtnTerminalClick();
    EXPECT_TRUE(ui.ui().boxes.empty()) << ui.ui().Texts().join('\n').toStdString();
    EXPECT_EQ(window.Port()->GetLineSettings().parity, kParityEven);
    EXPECT_EQ(window.StatusBar()->PortText(), "9600, E, 8, 1");

    set->ComboBoxBaudRate->setCurrentIndex(4); // 19200: answered with 9600
    window.tlbtnTerminalClick();
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    EXPECT_EQ(ui.ui().boxes[0].text,
              "Cannot set " + server.Url() + " to 19200, E, 8, 1.\n" + server.Url() +
                  " did not take the line settings (19200 8 data bits)");
    EXPECT_EQ(window.StatusBar()->PortText(), "9600, E, 8, 1");
    window.ClickNode(window.Tree()->Root());
}

TEST(NetworkPortsWindow, Rfc2217ServerRefusingTheOptionFixesTheLineAndSaysSo) {
    ScopedTestUi ui;
    Rfc2217Peer server(false);
    TfrmMain window(QStringList{server.Url()});
    TfrmComSet* set = OpenPortSettings(window, server.Url(), ui.ui());
    ASSERT_NE(set, nullptr);
    EXPECT_FALSE(set->lblServerLine->isHidden());
    EXPECT_EQ(set->lblServerLine->text(),
              "The line settings of this port are the device server's: they cannot be set from "
              "here (the server refused the COM-PORT-OPTION). Set the speed and format on the "
              "device server.");
    EXPECT_FALSE(set->ComboBoxBaudRate->isEnabled());
    EXPECT_EQ(window.StatusBar()->PortText(), kServerLineText);
    window.ClickNode(window.Tree()->Root());
}

// Through a real device server in RFC 2217 mode the port is a serial port: the
// speed chosen in its settings panel reaches the line, and the search finds the
// module that talks at it.
TEST(NetworkPortsWindow, Rfc2217DeviceServerIsSearchedAtTheChosenSpeed) {
    if (test::Ser2net::Program().empty()) GTEST_SKIP() << "ser2net is not installed";
    ScopedTestUi ui;
    test::SimBus sim("FE R210D baud=19200\n");
    test::Ser2net server(sim.path(), test::Ser2net::Mode::Rfc2217);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    const QString url = QString::fromStdString(server.Url());
    TfrmMain window(QStringList{url});
    QTreeWidgetItem* port = window.Tree()->FindPort(url);
    window.ClickNode(port);
    ASSERT_NE(window.ComSet(), nullptr) << ui.ui().Texts().join('\n').toStdString();
    window.ComSet()->ComboBoxBaudRate->setCurrentIndex(4);
    window.ComSet()->SetTimeOutText("20");
    ui.ui().startAddresses.push_back("253");
    window.tlbtnSearchClick();
    EXPECT_EQ(window.StatusBar()->PortText(), "19200, N, 8, 1");
    ASSERT_EQ(port->childCount(), 1) << ui.ui().Texts().join('\n').toStdString();
    EXPECT_EQ(port->child(0)->text(0), "(FE)R210D");
    window.ClickNode(window.Tree()->Root());
}

// A bus behind a raw TCP device server: searched, a polling panel on it, and the
// panel carrying on by itself when the connection drops and the server comes back.
TEST(NetworkPortsWindow, RawTcpBusIsSearchedAndItsPanelResumesAfterTheServerComesBack) {
    PanelFixture fx("FE R210D\n", PanelFixture::Link::RawTcp);
    TfrmMain& window = fx.window();
    QTreeWidgetItem* port = window.Tree()->FindPort(fx.portName());
    window.ClickNode(port);
    ASSERT_NE(window.ComSet(), nullptr);
    window.ComSet()->SetTimeOutText("10");
    fx.ui().startAddresses.push_back("253");
    window.tlbtnSearchClick();
    ASSERT_EQ(port->childCount(), 1);
    EXPECT_EQ(port->child(0)->text(0), "(FE)R210D");
    EXPECT_TRUE(fx.ui().boxes.empty()) << fx.ui().Texts().join('\n').toStdString();

    window.ClickNode(port->child(0));
    ASSERT_NE(window.CurrentPanel(), nullptr);
    const auto polled = [&] { return !Starting(fx.Received(0xFE), "#FE").empty(); };
    EXPECT_TRUE(QTest::qWaitFor(polled, 3000));

    const auto status = [&](const char* part) {
        return QTest::qWaitFor([&] { return fx.StatusText().contains(part); }, 3000);
    };
    fx.sim().StopTcp();
    ASSERT_TRUE(status("was lost")) << fx.StatusText().toStdString();
    EXPECT_TRUE(fx.StatusText().startsWith("Port " + fx.portName() + " was lost ("))
        << fx.StatusText().toStdString();
    QTest::qWait(600); // polls fail quietly meanwhile
    EXPECT_TRUE(fx.ui().boxes.empty());

    ASSERT_EQ(QString::fromStdString(fx.sim().ServeTcp()), fx.portName());
    fx.Received(0xFE);
    EXPECT_TRUE(QTest::qWaitFor(polled, 3000)) << "the panel did not poll the module again";
    ASSERT_TRUE(status("is back"));
    EXPECT_EQ(fx.StatusText(), "Port " + fx.portName() + " is back");
    EXPECT_TRUE(fx.ui().boxes.empty());
}

TEST(NetworkPortsWindow, RawTcpRefusesARackDownloadBeforeTheControllerHearsOfIt) {
    PanelFixture fx("05 K100 init firmware=B1.00 slots=K520,-,K710\n", PanelFixture::Link::RawTcp);
    auto* panel = fx.Open<TfrmMK100>("(*)K100");
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->ButtonDownload->isEnabled());
    fx.Received(5);
    fx.ui().openNames.push_back("/tmp/rack.img");
    panel->ButtonDownloadClick();
    EXPECT_EQ(fx.ui().openNames.size(), 1u); // refused before a file was asked for
    EXPECT_TRUE(fx.ui().dialogsRun.empty()); // no download window
    EXPECT_EQ(fx.ui().Texts(),
              QStringList{"Set baudrate failed!\nThe rack download switches the line to 38400 "
                          "baud and back, and " + fx.portName() +
                          " cannot change the line speed (raw TCP carries the line's bytes "
                          "only): use an rfc2217:// port or a serial adapter."});
    const auto received = fx.Received(5);
    EXPECT_TRUE(Starting(received, "$00D").empty() && Starting(received, "&").empty());
}

// The boot loader's speed stays the server's; the image goes through, and a module
// that restarts at 9600 from a loader at another speed comes with what to set.
TEST(NetworkPortsWindow, R8xxOverRawTcpKeepsTheServersSpeedAndDownloads) {
    test::TempDir dir;
    PanelFixture fx("05 R8XX target=R850\n", PanelFixture::Link::RawTcp);
    auto* panel = fx.Open<TfrmMR8XX>("(00)R8XX");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Edt_Module->text(), "Tavo-R850");
    fx.Received(0);
    const QString fixed = "The line speed of " + fx.portName() +
                          " is the device server's and cannot be changed from here (raw TCP "
                          "carries the line's bytes only)";
    panel->cb_baudrate->setCurrentIndex(6);
    panel->Bt_BaudUpdate->click();
    EXPECT_EQ(fx.ui().Texts(),
              QStringList{"Update failed!\n" + fixed +
                          ", so the module would be left at a speed the server does not use. Set "
                          "the speed on the device server, or use an rfc2217:// port or a local "
                          "adapter."});
    EXPECT_TRUE(fx.Received(0).empty());

    fx.ui().Clear();
    fx.WithModule(0, [&](sim::SimModule& m) { // the loader and the server's line at 38400
        m.config().baudCode = 0x08;
        fx.sim().bus().SetLine({38400});
    });
    const std::vector<std::uint8_t> image = test::Pattern(2000);
    test::WriteFile(dir.File("fw.hex"), test::R8xxFile("R850", image));
    panel->Edt_HexFile->setText(QString::fromStdString(dir.File("fw.hex")));
    panel->Bt_download->click();
    ASSERT_TRUE(panel->Downloading()) << fx.ui().Texts().join('\n').toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel->Downloading(); }, 5000));
    EXPECT_EQ(fx.ui().Texts(),
              QStringList{"Update Success, please search again!\n" + fixed +
                          ": the module starts at 9600 baud, so set the device server to 9600 "
                          "first."});
    EXPECT_EQ(fx.window().StatusBar()->PortText(), kServerLineText);
    fx.WithModule(0, [&](sim::SimModule& m) { // the R850 keeps its first four blocks
        ASSERT_NE(m.Find<sim::R8xxBootLoader>(), nullptr);
        EXPECT_EQ(m.Find<sim::R8xxBootLoader>()->Image(),
                  std::vector<std::uint8_t>(image.begin() + 512, image.end()));
    });
}

} // namespace
} // namespace tavo
