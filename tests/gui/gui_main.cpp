// GUI tests run headless: an offscreen QApplication and GoogleTest.
#include "transport/modbus.h"
#include "workspace/application.h"
#ifdef TAVO_WORKER_TESTS_ONLY
#include "workspace/r8xx_panel.h"
#else
#include "panels/panels.h"
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    tavo::Application app(argc, argv); // as the utility starts, numbers in the C form
    ::testing::InitGoogleTest(&argc, argv);
    // The simulator answers at once; the bus turnaround pause would only slow
    // the searches down.
    tavo::TavoModbusCOM::SetDefaultTurnaroundDelay(0);
#ifdef TAVO_WORKER_TESTS_ONLY
    tavo::RegisterR8xxPanel(); // the only panel the download workers' tests open
#else
    tavo::RegisterAllPanels();
#endif
    return RUN_ALL_TESTS();
}
