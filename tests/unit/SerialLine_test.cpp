#include "output/SerialLine.h"

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

// A full 256-byte write must fit in its time-out at every speed: at 4800 baud
// and below, the fixed 500 ms of old cut the tail of every block.
TEST(SerialLine, WriteTimeOutCoversAFullWriteAtTheLineSpeed)
{
    const struct { const char* baud; unsigned minFullWriteMs; } cases[] = {
        {"110", 256 * 11 * 1000 / 110},  // 11 bits a byte: start, 8 data, parity, stop
        {"300", 256 * 11 * 1000 / 300},
        {"1200", 256 * 11 * 1000 / 1200},
        {"4800", 256 * 11 * 1000 / 4800},
        {"9600", 256 * 11 * 1000 / 9600},
        {"115200", 256 * 11 * 1000 / 115200},
        {"", 256 * 11 * 1000 / 110},      // unknown speed: as slow as any standard one
        {"fast", 256 * 11 * 1000 / 110},
    };
    for (const auto& c : cases) {
        const COM_WRITE_TIMEOUTS t = ComWriteTimeouts(c.baud);
        EXPECT_GE(t.nConstantMs + 256u * t.nPerByteMs, c.minFullWriteMs) << c.baud;
        EXPECT_LE(256u * t.nPerByteMs, 2 * c.minFullWriteMs + 256) << c.baud << ": not wildly longer";
    }
}
