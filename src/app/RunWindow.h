#pragma once
// The window programs' one way in: vantrel runs the window on the hidapi
// backend, vantrel-demo (src/demo) on a simulated unit. Neither needs the
// window's own header.

#include "device/HidBackend.h"

#include <QString>

// Shows the window on the real operator dialogs and the fixed places,
// talking through `hid`, centred on the primary screen, and runs the event
// loop until it closes. `titleSuffix` goes after the window's title. Needs
// the QApplication; `hid` outlives the call.
void RunWindow(vantrel::HidBackend& hid, const QString& titleSuffix = {});
