#include "port_list.h"

#include "posix_serial.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace tavo {
namespace fs = std::filesystem;
namespace {

std::string ReadFirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The USB device directory above a tty's device directory (the one holding idVendor).
fs::path UsbDeviceDir(const fs::path& deviceDir) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceDir, ec);
    if (ec) return {};
    for (int depth = 0; depth < 6 && !dir.empty() && dir != dir.root_path(); ++depth) {
        if (fs::exists(dir / "idVendor", ec)) return dir;
        dir = dir.parent_path();
    }
    return {};
}

} // namespace

bool PortNameLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
        const long n = i < s.size() ? std::stol(s.substr(i, 9)) : -1;
        return std::make_pair(s.substr(0, i), n);
    };
    return split(a) < split(b);
}

std::vector<SerialPortInfo> ListSerialPorts(const std::string& sysRoot, const std::string& devRoot,
                                            bool findHolders) {
    std::vector<SerialPortInfo> ports;
    std::error_code ec;
    const fs::path classDir = fs::path(sysRoot) / "class" / "tty";
    for (const auto& entry : fs::directory_iterator(classDir, ec)) {
        const std::string name = entry.path().filename().string();
        const fs::path deviceLink = entry.path() / "device";
        if (!fs::exists(deviceLink, ec)) continue; // virtual consoles, ptys
        const std::string driver = fs::read_symlink(deviceLink / "driver", ec).filename().string();
        // Legacy 8250 ports exist as placeholders whether a UART is fitted or not;
        // type 0 means there is none.
        if (name.rfind("ttyS", 0) == 0) {
            const std::string type = ReadFirstLine(entry.path() / "type");
            if (type.empty() || type == "0") continue;
        }
        SerialPortInfo info;
        info.name = name;
        info.devicePath = (fs::path(devRoot) / name).string();
        info.driver = driver;
        const fs::path usb = UsbDeviceDir(deviceLink);
        if (!usb.empty()) {
            info.usbVendorId = ReadFirstLine(usb / "idVendor");
            info.usbProductId = ReadFirstLine(usb / "idProduct");
            info.manufacturer = ReadFirstLine(usb / "manufacturer");
            info.product = ReadFirstLine(usb / "product");
            info.serialNumber = ReadFirstLine(usb / "serial");
        }
        info.accessible = ::access(info.devicePath.c_str(), R_OK | W_OK) == 0;
        if (findHolders) info.holder = FindPortHolder(info.devicePath);
        ports.push_back(std::move(info));
    }
    // Stable names that survive re-plugging, where udev made them.
    const fs::path byId = fs::path(devRoot) / "serial" / "by-id";
    for (const auto& link : fs::directory_iterator(byId, ec)) {
        std::error_code lec;
        const fs::path target = fs::canonical(link.path(), lec);
        if (lec) continue;
        for (auto& p : ports)
            if (target.filename() == p.name) p.byIdPath = link.path().string();
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return PortNameLess(a.name, b.name); });
    return ports;
}

} // namespace tavo
