// Port listing from a fake /sys and /dev tree.
#include "transport/port_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace tavo {
namespace {
namespace fs = std::filesystem;

void Write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text << "\n";
}

TEST(PortList, RealPortsOnlyWithWhatTheSystemKnows) {
    const fs::path root = fs::temp_directory_path() / ("tavo-sys-" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path sys = root / "sys", dev = root / "dev";
    // A USB adapter: tty device below the USB device that carries the ids.
    const fs::path usb = sys / "devices/pci0/usb1/1-2";
    Write(usb / "idVendor", "0403");
    Write(usb / "idProduct", "6001");
    Write(usb / "manufacturer", "FTDI");
    Write(usb / "product", "USB-RS485 Cable");
    Write(usb / "serial", "FT12AB");
    fs::create_directories(usb / "1-2:1.0/ttyUSB10");
    fs::create_directories(sys / "bus/usb-serial/drivers/ftdi_sio");
    fs::create_directory_symlink(sys / "bus/usb-serial/drivers/ftdi_sio", usb / "1-2:1.0/ttyUSB10/driver");
    fs::create_directories(sys / "class/tty/ttyUSB10");
    fs::create_directory_symlink(usb / "1-2:1.0/ttyUSB10", sys / "class/tty/ttyUSB10/device");
    fs::create_directories(usb / "1-2:1.0/ttyUSB2");
    fs::create_directories(sys / "class/tty/ttyUSB2");
    fs::create_directory_symlink(usb / "1-2:1.0/ttyUSB2", sys / "class/tty/ttyUSB2/device");
    // A fitted UART and a placeholder.
    for (const char* n : {"ttyS0", "ttyS3"}) {
        fs::create_directories(sys / "devices/platform/serial8250" / n);
        fs::create_directories(sys / "class/tty" / n);
        fs::create_directory_symlink(sys / "devices/platform/serial8250" / n, sys / "class/tty" / n / "device");
    }
    Write(sys / "class/tty/ttyS0/type", "4");
    Write(sys / "class/tty/ttyS3/type", "0");
    // A virtual console has no device.
    fs::create_directories(sys / "class/tty/tty1");
    Write(dev / "ttyUSB10", "");
    Write(dev / "ttyUSB2", "");
    Write(dev / "ttyS0", "");
    fs::create_directories(dev / "serial/by-id");
    fs::create_symlink(dev / "ttyUSB10", dev / "serial/by-id/usb-FTDI_USB-RS485_Cable_FT12AB-if00-port0");

    const auto ports = ListSerialPorts(sys.string(), dev.string());
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].name, "ttyS0");
    EXPECT_EQ(ports[1].name, "ttyUSB2");
    EXPECT_EQ(ports[2].name, "ttyUSB10");
    const auto& usbPort = ports[2];
    EXPECT_EQ(usbPort.devicePath, (dev / "ttyUSB10").string());
    EXPECT_EQ(usbPort.usbVendorId, "0403");
    EXPECT_EQ(usbPort.usbProductId, "6001");
    EXPECT_EQ(usbPort.manufacturer, "FTDI");
    EXPECT_EQ(usbPort.product, "USB-RS485 Cable");
    EXPECT_EQ(usbPort.serialNumber, "FT12AB");
    EXPECT_EQ(usbPort.driver, "ftdi_sio");
    EXPECT_NE(usbPort.byIdPath.find("by-id/usb-FTDI"), std::string::npos);
    EXPECT_TRUE(ports[0].usbVendorId.empty());
    fs::remove_all(root);
}

TEST(PortList, NumericOrder) {
    EXPECT_TRUE(PortNameLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(PortNameLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(PortNameLess("ttyACM0", "ttyUSB0"));
}

} // namespace
} // namespace tavo
