#include "capture/SerialLine.h"

#include <gtest/gtest.h>

TEST(SerialLine, DefinitionFromLineSettings)
{
    const struct { const char *baud, *data, *parity, *stop, *want; } cases[] = {
        {"9600", "8", "None", "1.0", "9600,N,8,1"},
        {"9600", "8", "Space", "1.5", "9600,S,8,1"},
        {"19200", "7", "Even", "2.0", "19200,E,7,2"},
        {"4800", "7", "Odd", "1", "4800,O,7,1"},
        {"115200", "8", "Mark", "2.0", "115200,M,8,2"},
        {"9600", "8", "none", "1.0", "9600,,8,1"},  // letter case matters: an unknown parity gives no letter
        {"", "", "", "", ",,,"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, ComDefinition(c.baud, c.data, c.parity, c.stop)) << c.parity << " " << c.stop;
}

TEST(SerialLine, DeviceNameReachesHighPorts)
{
    EXPECT_EQ("\\\\.\\COM1", ComDeviceName("COM1"));
    EXPECT_EQ("\\\\.\\COM12", ComDeviceName("COM12"));
}
