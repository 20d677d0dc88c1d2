// tavo-utility: the desktop program.
#include "demo_bus.h"
#include "screenshot.h"

#include "panels/panels.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "workspace/core/network_address.h"
#include "workspace/application.h"
#include "workspace/core/version.h"
#include "workspace/main_window.h"
#include "workspace/ui_services.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

// The demo's link in /tmp, removed when the program is stopped by a signal; a
// fixed buffer, because the handler may call only async-signal-safe functions.
char g_demoLink[512];

extern "C" void RemoveDemoLinkAndDie(int signal) {
    if (g_demoLink[0]) ::unlink(g_demoLink);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void RemoveDemoLinkOnSignals(const std::string& link) {
    if (link.size() >= sizeof g_demoLink) return;
    std::memcpy(g_demoLink, link.c_str(), link.size() + 1);
    struct sigaction action {};
    action.sa_handler = RemoveDemoLinkAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    QApplication::setApplicationName("tavo-utility");
    QApplication::setApplicationVersion(tavo::kProgramVersion);

    QCommandLineParser parser;
    parser.setApplicationDescription("Finds, configures, monitors, calibrates and updates TAVO "
                                     "remote I/O modules on RS-485 networks.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption port("port",
                            "Also list the serial device at PATH, or a device server's port "
                            "tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (repeatable).",
                            "PATH");
    QCommandLineOption demo("demo", "Start a simulated bus of modules and list it as a port.");
    QCommandLineOption quitAfterStart("quit-after-start",
                                      "Quit as soon as the window is shown (to time the start-up).");
    QCommandLineOption screenshot("screenshot",
                                  "Search the demo bus (or the last --port), select NODE (--select) "
                                  "and save the window to FILE as PNG, then quit.",
                                  "FILE");
    QCommandLineOption select("select", "The node to click before --screenshot.", "NODE");
    QCommandLineOption settle("settle", "How long the selected panel runs before --screenshot "
                                        "takes the picture (default 1500).", "MS");
    // For the tests that look at the window on a real display.
    QCommandLineOption reportLayout("report-layout",
                                    "Print the widths of the tree and the panel area once the "
                                    "window is on the screen, click the last port and print them "
                                    "again, then quit.");
    reportLayout.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(port);
    parser.addOption(demo);
    parser.addOption(quitAfterStart);
    parser.addOption(screenshot);
    parser.addOption(select);
    parser.addOption(settle);
    parser.addOption(reportLayout);
    // --help and --version answer before the application object exists: that
    // object needs a display, and these two must work without one. So does a
    // wrong --port address.
    QStringList ports;
    {
        const QCoreApplication plain(argc, argv); // needs no display
        tavo::KeepNumbersInCForm();
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(help)) {
            std::fputs(qPrintable(parser.helpText()), stdout);
            return 0;
        }
        if (parser.isSet(version)) {
            std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                        qPrintable(QCoreApplication::applicationVersion()));
            return 0;
        }
        for (const QString& name : parser.values(port)) {
            // A network address with a fault is said now, not when its node is clicked.
            if (!tavo::LooksLikeNetworkAddress(name.toStdString())) {
                ports << name;
                continue;
            }
            const tavo::NetworkAddress address = tavo::CheckNetworkAddress(name.toStdString());
            if (!address.problem.empty()) {
                std::fprintf(stderr, "tavo-utility: --port %s: %s\n", qPrintable(name),
                             address.problem.c_str());
                return 2;
            }
            ports << QString::fromStdString(address.name);
        }
    }
    tavo::Application app(argc, argv);
    parser.process(app);

    tavo::sim::Bus bus;
    std::unique_ptr<tavo::sim::PtyServer> server;
    if (parser.isSet(demo)) {
        std::string error;
        if (!tavo::sim::LoadBusText(tavo::kDemoBusText, bus, error)) {
            std::fprintf(stderr, "tavo-utility: demo bus: %s\n", error.c_str());
            return 2;
        }
        server = std::make_unique<tavo::sim::PtyServer>(bus);
        const QString link = QDir::temp().filePath(QString("tavo-demo-%1").arg(QCoreApplication::applicationPid()));
        // Before the link exists, so that no moment is left in which a signal
        // would leave it behind.
        RemoveDemoLinkOnSignals(link.toStdString());
        if (!server->Start(error, link.toStdString())) {
            std::fprintf(stderr, "tavo-utility: cannot start the simulated bus: %s\n", error.c_str());
            return 2;
        }
        ports << QString::fromStdString(server->DevicePath());
    }

    tavo::RegisterAllPanels();
    tavo::TfrmMain window(ports);
    window.show();
    if (parser.isSet(screenshot)) {
        if (ports.isEmpty()) {
            std::fprintf(stderr, "tavo-utility: --screenshot needs --demo or --port\n");
            return 2;
        }
        tavo::ScreenshotRequest request;
        request.file = parser.value(screenshot);
        request.port = ports.last();
        request.lastAddress = 0x60;
        request.select = parser.value(select);
        if (parser.isSet(settle)) request.settleMs = parser.value(settle).toInt();
        const bool ok = tavo::TakeScreenshot(window, request);
        window.hide();
        if (server) server->Stop();
        return ok ? 0 : 1;
    }
    if (parser.isSet(reportLayout)) {
        tavo::ReportLayout(window, ports.isEmpty() ? QString() : ports.last());
        window.hide();
        if (server) server->Stop();
        return 0;
    }
    if (parser.isSet(quitAfterStart)) QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
    const int status = app.exec();
    if (server) server->Stop();
    return status;
}
