// The serial ports this machine really has, with what the system knows of them.
#pragma once

#include <string>
#include <vector>

namespace tavo {

struct SerialPortInfo {
    std::string name;        // ttyUSB0
    std::string devicePath;  // /dev/ttyUSB0
    std::string byIdPath;    // /dev/serial/by-id/... or empty
    std::string driver;      // ftdi_sio, cp210x, serial8250, ...
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
    std::string usbVendorId;  // four hex digits, empty for non-USB ports
    std::string usbProductId;
    bool accessible = true;   // we may open it for reading and writing
    std::string holder;       // the program holding it open (only when asked for)
};

// Lists /sys/class/tty entries backed by a device, leaving out the kernel's
// placeholder ttyS ports that have no UART behind them. `sysRoot` and `devRoot` let
// tests point at a fake tree. Sorted by name, numbers in numeric order.
// `findHolders` also names the program holding each port, which means reading every
// process's open files: worth it for `tavo ports`, not for listing ports at start-up.
std::vector<SerialPortInfo> ListSerialPorts(const std::string& sysRoot = "/sys",
                                            const std::string& devRoot = "/dev",
                                            bool findHolders = false);

// Orders port names so that ttyUSB2 comes before ttyUSB10.
bool PortNameLess(const std::string& a, const std::string& b);

} // namespace tavo
