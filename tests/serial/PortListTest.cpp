// The port-number order on Linux, read from a prepared copy of /sys/class/tty.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "serial/PortList.h"
#include "serial/SerialError.h"

namespace korvane::serial {
namespace {

namespace fs = std::filesystem;

class PortListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("korvane-ports-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "class");
        fs::create_directories(root / "bus" / "usb-serial");
        fs::create_directories(root / "bus" / "usb");
        fs::create_directories(root / "bus" / "pnp");
        fs::create_directories(root / "bus" / "platform");
        fs::create_directories(root / "bus" / "serial-base");
    }
    void TearDown() override { fs::remove_all(root); }

    // A tty whose device node sits at `devicePath` (relative to root) on `bus`.
    void AddTty(const std::string& name, const std::string& devicePath, const std::string& bus)
    {
        SetBus(devicePath, bus);
        fs::create_directories(root / "class" / name);
        fs::create_directory_symlink(root / devicePath, root / "class" / name / "device");
    }

    void SetBus(const std::string& devicePath, const std::string& bus)
    {
        fs::create_directories(root / devicePath);
        fs::create_directory_symlink(root / "bus" / bus, root / devicePath / "subsystem");
    }

    void WriteFile(const std::string& path, const std::string& text)
    {
        std::ofstream(root / path) << text << "\n";
    }

    fs::path root;
};

TEST_F(PortListTest, UsbAdaptersComeFirstInNumericOrderThenOtherRealPorts)
{
    AddTty("ttyUSB10", "usb1/1-1/1-1:1.0/ttyUSB10", "usb-serial");
    AddTty("ttyUSB2", "usb1/1-2/1-2:1.0/ttyUSB2", "usb-serial");
    AddTty("ttyACM0", "usb2/2-1/2-1:1.0", "usb");
    AddTty("ttyS1", "pnp0/00:05", "pnp");
    AddTty("ttyS0", "pnp0/00:04", "pnp");
    AddTty("ttyS5", "serial8250-5", "platform");  // a placeholder with no UART behind it
    // The same two kinds as newer kernels show them, behind serial-base devices.
    SetBus("pnp0/00:06", "pnp");
    SetBus("pnp0/00:06/00:06:0", "serial-base");
    AddTty("ttyS2", "pnp0/00:06/00:06:0/00:06:0.0", "serial-base");
    SetBus("serial8250", "platform");
    SetBus("serial8250/serial8250:0", "serial-base");
    AddTty("ttyS6", "serial8250/serial8250:0/serial8250:0.6", "serial-base");
    fs::create_directories(root / "class" / "tty0");  // a virtual console: no device
    WriteFile("usb1/1-1/manufacturer", "FTDI");
    WriteFile("usb1/1-1/product", "FT232R USB UART");
    WriteFile("usb2/2-1/product", "Radio CDC");

    const std::vector<PortInfo> ports = ListSerialPorts(root / "class");
    std::vector<std::string> devices;
    for (const PortInfo& p : ports) devices.push_back(p.device);
    EXPECT_EQ(devices, (std::vector<std::string>{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0",
                                                 "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"}));
    for (std::size_t i = 0; i < ports.size(); ++i)
        EXPECT_EQ(ports[i].number, static_cast<int>(i) + 1);
    ASSERT_EQ(ports.size(), 6u);
    EXPECT_EQ(ports[1].description, "FTDI FT232R USB UART");
    EXPECT_EQ(ports[2].description, "Radio CDC");
    EXPECT_EQ(ports[3].description, "");
}

// Laid out as sysfs does: ttyUSB's device is the usb-serial port under the
// interface under the USB device "1-1.2"; ttyACM's device is the interface.
TEST_F(PortListTest, UsbAdaptersTellTheirLocationIdsAndSerialNumber)
{
    AddTty("ttyUSB0", "usb1/1-1/1-1.2/1-1.2:1.0/ttyUSB0", "usb-serial");
    AddTty("ttyACM0", "usb3/3-4/3-4:1.2", "usb");
    AddTty("ttyS0", "pnp0/00:04", "pnp");
    for (const auto& [file, text] : std::vector<std::pair<std::string, std::string>>{
             {"usb1/1-1/1-1.2/idVendor", "0403"},
             {"usb1/1-1/1-1.2/idProduct", "6001"},
             {"usb1/1-1/1-1.2/serial", "A50285BI"},
             {"usb1/1-1/1-1.2/product", "FT232R USB UART"},
             // The hub above holds the same attributes; the nearest device counts.
             {"usb1/1-1/idVendor", "05e3"},
             {"usb1/1-1/serial", "HUB"},
             {"usb3/3-4/idVendor", "1a86"},
             {"usb3/3-4/idProduct", "55d4"}}) {
        WriteFile(file, text);
    }

    const std::vector<PortInfo> ports = ListSerialPorts(root / "class");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].usbLocation, "1-1.2");
    EXPECT_EQ(ports[0].vendorId, "0403");
    EXPECT_EQ(ports[0].productId, "6001");
    EXPECT_EQ(ports[0].serialNumber, "A50285BI");
    EXPECT_EQ(ports[0].description, "FT232R USB UART");
    EXPECT_EQ(ports[1].usbLocation, "3-4");  // no serial number of its own
    EXPECT_EQ(ports[1].vendorId, "1a86");
    EXPECT_EQ(ports[1].serialNumber, "");
    EXPECT_EQ(ports[2].usbLocation, "");  // not on USB
    EXPECT_EQ(ports[2].vendorId, "");

    // A port is named by its location or serial number as well as by its path.
    EXPECT_EQ(ResolvePortName("1-1.2", ports), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePortName("A50285BI", ports), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePortName("3-4", ports), "/dev/ttyACM0");
    EXPECT_EQ(ResolvePortName("/dev/pts/7", ports), "/dev/pts/7");
    EXPECT_EQ(ResolvePortName("HUB", ports), "HUB");  // not a port's own
    std::vector<PortInfo> twins = ports;
    twins[1].serialNumber = "A50285BI";
    EXPECT_THROW(ResolvePortName("A50285BI", twins), SerialError);
}

TEST(UsbHardwareId, VendorAndProductIdsAsWindowsNamesThem)
{
    struct Case {
        const char* hardwareId;
        const char* vendor;
        const char* product;
    };
    for (const Case& c : {Case{"USB\\VID_0403&PID_6001&REV_0600", "0403", "6001"},
                          Case{"FTDIBUS\\VID_0403+PID_6015+DK0AB1CDA\\0000", "0403", "6015"},
                          Case{"usb\\vid_1A86&pid_7523", "1a86", "7523"},
                          Case{"USB\\VID_04G3&PID_6001", "", ""},  // not hex
                          Case{"ACPI\\PNP0501", "", ""}, Case{"USB\\VID_0403", "", ""}}) {
        const UsbIds ids = ParseUsbHardwareId(c.hardwareId);
        EXPECT_EQ(ids.vendorId, c.vendor) << c.hardwareId;
        EXPECT_EQ(ids.productId, c.product) << c.hardwareId;
    }
}

TEST_F(PortListTest, MissingTreeGivesAnEmptyList)
{
    EXPECT_TRUE(ListSerialPorts(root / "absent").empty());
}

TEST(ResolvePortNumberTest, NumbersWithoutADeviceFail)
{
    for (const int number : {0, -1, 30000}) {
        SCOPED_TRACE(number);
        try {
            ResolvePortNumber(number);
            ADD_FAILURE() << "resolved";
        } catch (const SerialError& e) {
            EXPECT_EQ(e.SerialKind(), SerialErrorKind::NoSuchPort);
            EXPECT_NE(std::string(e.what()).find(std::to_string(number)), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace korvane::serial
