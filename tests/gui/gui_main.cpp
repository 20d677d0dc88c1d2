// GUI tests run headless: an offscreen QApplication and GoogleTest.
#include "panels/panels.h"
#include "transport/modbus.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The simulator answers at once; the bus turnaround pause would only slow
    // the searches down.
    tavo::TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    tavo::RegisterAllPanels();
    return RUN_ALL_TESTS();
}
