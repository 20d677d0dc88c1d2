// File › Export Gateway Configuration... after searches of simulated buses: the file
// the gateway reads, the same as `tavo search --gateway-config` writes.
#include "support/process.h"
#include "support/sim_bus.h"
#include "support/temp_dir.h"
#include "test_ui.h"

#include "gateway/gateway_config.h"
#include "workspace/com_set.h"
#include "workspace/core/search_engine.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"
#include "workspace/status_bar.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace tavo {
namespace {

using test::ScopedTestUi;
using test::SimBus;

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines that are not comments: what the gateway reads.
std::string WithoutComments(const std::string& text) {
    std::istringstream in(text);
    std::string kept, line;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(' ');
        if (first != std::string::npos && line[first] == '#') continue;
        kept += line + "\n";
    }
    return kept;
}

std::string DemoBusText() {
    const std::string text = ReadText(TAVO_DEMO_BUS);
    if (text.empty()) throw std::runtime_error("cannot read " + std::string(TAVO_DEMO_BUS));
    return text;
}

class GatewayExportTest : public ::testing::Test {
protected:
    explicit GatewayExportTest(const std::string& first, const std::string& second = "FA R550\n")
        : one(first), two(second),
          window(QStringList{QString::fromStdString(one.path()), QString::fromStdString(two.path())}) {}

    QAction* Export() { return window.findChild<QAction*>("menuExportGatewayConfig"); }
    QTreeWidgetItem* PortNode(const SimBus& bus) {
        return window.Tree()->FindPort(QString::fromStdString(bus.path()));
    }
    // A search at 20 ms (room for a loaded machine: a module missed by one of the two
    // searches compared would fail the test) and no Modbus turnaround, from `start`
    // to 255.
    void Search(const SimBus& bus, const QString& start) {
        window.ClickNode(PortNode(bus));
        ASSERT_NE(window.ComSet(), nullptr);
        window.ComSet()->SetTimeOutText("20");
        window.ComSet()->SetTurnaroundText("0");
        ui.ui().startAddresses.push_back(start);
        window.tlbtnSearchClick();
    }
    // Exports into `file`; the boxes it showed.
    QStringList ExportTo(const std::string& file) {
        ui.ui().Clear();
        ui.ui().saveNames.push_back(QString::fromStdString(file));
        Export()->trigger();
        return ui.ui().Texts();
    }
    // "40S2 K520", "01 R210D": the modules of a bus.
    static std::set<std::string> Listed(const gateway::BusConfig& bus) {
        std::set<std::string> listed;
        for (const auto& m : bus.modules) listed.insert(LocationText(m.where) + " " + m.model);
        return listed;
    }

    ScopedTestUi ui;
    SimBus one;
    SimBus two;
    test::TempDir dir;
    TfrmMain window;
};

struct DemoBusExport : GatewayExportTest {
    DemoBusExport() : GatewayExportTest(DemoBusText()) {}
};

TEST_F(DemoBusExport, WritesWhatTavoSearchWritesWithEveryModuleAndSlot) {
    ASSERT_NE(Export(), nullptr);
    EXPECT_EQ(Export()->text().remove('&'), "Export Gateway Configuration...");
    EXPECT_TRUE(window.findChild<QMenu*>("menuFile")->actions().contains(Export()));
    EXPECT_FALSE(Export()->isEnabled()) << "nothing has been searched";
    Search(one, "0");
    ASSERT_TRUE(Export()->isEnabled());
    const std::string file = dir.File("window.yaml");
    const QStringList boxes = ExportTo(file);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    // The file proposed is the one the service of the bus's name reads.
    EXPECT_EQ(ui.ui().defaultNames.back(),
              QString::fromStdString(gateway::BusNameForPort(one.path()) + ".yaml"));
    EXPECT_TRUE(window.StatusBar()->StatusMessage().contains(QString::fromStdString(file)));

    gateway::GatewayConfig config;
    std::string error;
    ASSERT_TRUE(gateway::ReadGatewayConfig(file, config, error)) << error;
    ASSERT_EQ(config.buses.size(), 1u);
    const gateway::BusConfig& bus = config.buses[0];
    EXPECT_EQ(bus.port, one.path());
    EXPECT_EQ(bus.timeoutMs, 20);
    EXPECT_EQ(bus.turnaroundMs, 0);
    for (const auto& m : bus.modules) EXPECT_TRUE(m.writable.empty());

    // Every module node is a module of the bus, or its slots are, or a note says why
    // it is not.
    const std::string text = ReadText(file);
    const std::set<std::string> listed = Listed(bus);
    std::set<std::string> places;
    for (const auto& m : bus.modules) places.insert(LocationText(m.where));
    QTreeWidgetItem* port = PortNode(one);
    ASSERT_GT(port->childCount(), 40);
    for (const FoundNode& node : ModuleTree::FoundUnder(port)) {
        std::string inner, designation;
        ASSERT_TRUE(ParseItemText(node.text, inner, designation)) << node.text;
        const int address = inner == "*" ? 0 : std::stoi(inner, nullptr, 16);
        std::vector<int> slotNumbers;
        for (const FoundNode& child : node.children)
            if (child.text.rfind("(S", 0) == 0) slotNumbers.push_back(child.text[2] - '0');
        if (SearchEngine::IsModbusRack(designation)) continue; // its slots are not nodes: below
        if (slotNumbers.empty()) {
            const bool there = places.count(LocationText({address, -1, PointProtocol::Ascii})) > 0;
            EXPECT_TRUE(there || text.find("# " + node.text + " is left out") != std::string::npos)
                << node.text;
        }
        for (const int s : slotNumbers)
            EXPECT_EQ(places.count(LocationText({address, s, PointProtocol::Ascii})), 1u)
                << node.text << " slot " << s;
    }
    // The rack speaking Modbus shows no slots in the tree, and its slots are listed.
    QTreeWidgetItem* rack = nullptr;
    for (int i = 0; i < port->childCount(); ++i)
        if (port->child(i)->text(0) == "(53)K100EM") rack = port->child(i);
    ASSERT_NE(rack, nullptr);
    EXPECT_EQ(rack->childCount(), 0);
    for (const char* slot : {"53S0 K220", "53S1 K310", "53S2 K520", "53S3 K710", "40S3 K230P", "48S1 Z320",
                             "00 R210D", "51 R270P", "2A R850"})
        EXPECT_EQ(listed.count(slot), 1u) << slot;

    // `tavo search` of the same bus (nothing answers above 60) writes the same.
    window.ClickNode(window.Tree()->Root()); // lets the port go
    const std::string cli = dir.File("cli.yaml");
    const test::Run r = test::RunProgram({TAVO_CLI, "search", "--port", one.path(), "--timeout", "20",
                                          "--turnaround", "0", "--start", "0", "--end", "96",
                                          "--gateway-config", cli});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(WithoutComments(text), WithoutComments(ReadText(cli)));
}

struct TwoPortExport : GatewayExportTest {
    TwoPortExport() : GatewayExportTest("F7 K100EM slots=K520,-,K710\nF9 R210D\n", "FA R550 protocol=modbus\n") {}
};

TEST_F(TwoPortExport, EverySearchedPortIsABusOfItsOwn) {
    Search(one, "247");
    Search(two, "250");
    // The rack's slots are read through the open port, which is now the second one:
    // the rack is left out with a note, until its port is the open one again.
    for (const bool rackPortOpen : {false, true}) {
        SCOPED_TRACE(rackPortOpen);
        if (rackPortOpen) window.ClickNode(PortNode(one));
        const std::string file = dir.File(rackPortOpen ? "two-again.yaml" : "two.yaml");
        EXPECT_TRUE(ExportTo(file).isEmpty());
        gateway::GatewayConfig config;
        std::string error;
        ASSERT_TRUE(gateway::ReadGatewayConfig(file, config, error)) << error;
        ASSERT_EQ(config.buses.size(), 2u);
        std::map<std::string, std::set<std::string>> buses;
        for (const auto& bus : config.buses) buses[bus.port] = Listed(bus);
        const std::set<std::string> rackPort = rackPortOpen
                                                   ? std::set<std::string>{"F7S0 K520", "F7S2 K710", "F9 R210D"}
                                                   : std::set<std::string>{"F9 R210D"};
        EXPECT_EQ(buses[one.path()], rackPort);
        EXPECT_EQ(ReadText(file).find("(F7)K100EM is left out") != std::string::npos, !rackPortOpen);
        EXPECT_EQ(buses[two.path()], (std::set<std::string>{"FA R550"}));
        EXPECT_NE(config.buses[0].name, config.buses[1].name);
    }
}

TEST_F(TwoPortExport, AFileThatCannotBeWrittenIsSaidAndLeavesNothing) {
    Search(two, "250");
    const std::string file = dir.File("missing/gw.yaml");
    const QStringList boxes = ExportTo(file);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith("The gateway configuration was not written.")) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[0].contains(QString::fromLocal8Bit(std::strerror(ENOENT)))) << boxes[0].toStdString();
    EXPECT_TRUE(QDir(QString::fromStdString(dir.path())).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    // A cancelled file dialog writes nothing and says nothing.
    ui.ui().Clear();
    Export()->trigger();
    EXPECT_TRUE(ui.ui().Texts().isEmpty());
}

} // namespace
} // namespace tavo
