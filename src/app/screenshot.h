// Renders the main window to a PNG after a search of a port, with one node
// selected: the pictures in the README and the help page are made this way.
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
// when the port cannot be searched or the file cannot be written.
bool TakeScreenshot(TfrmMain& window, const ScreenshotRequest& request);

} // namespace tavo
