// What the shown main window looks like: rendered to a PNG after a search of a
// port with one node selected (the pictures in the README and the help page are
// made this way), or its layout printed for the tests on a real display.
#pragma once

#include <QString>

namespace tavo {

class TfrmMain;

struct ScreenshotRequest {
    QString file;          // PNG to write
    QString port;          // port node to search
    int lastAddress = 255; // search from 0 up to here
    QString select;        // node text to click afterwards ("(01)R210D"), may be empty
    int settleMs = 1500;   // let the panel poll for this long before the picture
};

// Runs the request on the shown window; returns false (with a line on stderr)
// when the port cannot be searched, the node to select is not in the tree after
// the search (nothing is saved then), or the file cannot be written.
bool TakeScreenshot(TfrmMain& window, const ScreenshotRequest& request);

// Waits until the shown window is on the screen, then prints to standard output
// its size ("window WIDTH HEIGHT"), the widths of the tree and the panel area
// ("splitter TREE AREA") and the panel shown with the part of it that can be seen
// ("panel NAME WIDTH HEIGHT"); then clicks `port` (when not empty) and prints them
// again.
void ReportLayout(TfrmMain& window, const QString& port);

} // namespace tavo
