// The port-number order on Linux, read from a prepared copy of /sys/class/tty.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

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
            EXPECT_EQ(e.Kind(), SerialErrorKind::NoSuchPort);
            EXPECT_NE(std::string(e.what()).find(std::to_string(number)), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace korvane::serial
