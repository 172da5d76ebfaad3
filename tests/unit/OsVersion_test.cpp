#include "app/OsVersion.h"

#include <gtest/gtest.h>

namespace {

enum PRODUCT { WORKSTATION, SERVER };
enum ARCH { X86, X64 };

OS_VERSION_DATA Nt(unsigned long major, unsigned long minor, PRODUCT product = WORKSTATION, ARCH arch = X86,
                   unsigned short suite = 0, bool serverR2 = false)
{
    OS_VERSION_DATA d;
    d.bQueryOk = true;
    d.bNtFamily = true;
    d.nMajor = major;
    d.nMinor = minor;
    d.bWorkstation = product == WORKSTATION;
    d.bX64 = arch == X64;
    d.wSuiteMask = suite;
    d.bServerR2 = serverR2;
    return d;
}

OS_VERSION_DATA NonNt(unsigned long major, unsigned long minor)
{
    OS_VERSION_DATA d = Nt(major, minor);
    d.bNtFamily = false;
    return d;
}

}  // namespace

TEST(OsVersion, NtReleasesMapToTheirCodes)
{
    const struct {
        const char* what;
        OS_VERSION_DATA data;
        int code;
    } cases[] = {
        {"NT 1.0", Nt(1, 0), 0},
        {"NT 2.9", Nt(2, 9), 0},
        {"NT 3.51", Nt(3, 51), 2},
        {"NT 4.0", Nt(4, 0), 6},
        {"2000", Nt(5, 0), 7},
        {"XP", Nt(5, 1), 9},
        {"XP x64 also on x64 servers' metrics", Nt(5, 2, WORKSTATION, X64, 0, true), 10},
        {"2003 on x86 workstation product", Nt(5, 2, WORKSTATION, X86), 11},
        {"2003", Nt(5, 2, SERVER, X86), 11},
        {"2003 x64 server product", Nt(5, 2, SERVER, X64), 11},
        {"2003 R2", Nt(5, 2, SERVER, X86, 0, true), 12},
        {"Home Server", Nt(5, 2, SERVER, X86, OS_SUITE_WH_SERVER, true), 8},
        {"Home Server suite on a workstation x64", Nt(5, 2, WORKSTATION, X64, OS_SUITE_WH_SERVER), 8},
        {"suite with more than Home Server", Nt(5, 2, SERVER, X86, OS_SUITE_WH_SERVER | 0x0100), 11},
        {"5.3", Nt(5, 3), 0},
        {"5.99", Nt(5, 99, SERVER, X64), 0},
        {"Vista", Nt(6, 0, WORKSTATION), 13},
        {"Vista x64", Nt(6, 0, WORKSTATION, X64), 13},
        {"2008", Nt(6, 0, SERVER), 14},
        {"7", Nt(6, 1, WORKSTATION, X86), 16},
        {"7 x64", Nt(6, 1, WORKSTATION, X64), 17},
        {"2008 R2", Nt(6, 1, SERVER, X64), 15},
        {"8", Nt(6, 2, WORKSTATION, X86), 19},
        {"8 x64", Nt(6, 2, WORKSTATION, X64), 20},
        {"2012", Nt(6, 2, SERVER, X64), 18},
        {"8.1", Nt(6, 3, WORKSTATION, X86), 21},
        {"2012 R2", Nt(6, 3, SERVER, X64), 21},
        {"6.4", Nt(6, 4), 21},
        {"10", Nt(10, 0, WORKSTATION, X64), 21},
        {"7.0 server", Nt(7, 0, SERVER), 21},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.code, OsVersionCode(c.data)) << c.what;
}

TEST(OsVersion, NonNtFamilyStaysBelowVistaWhateverItReports)
{
    const struct {
        const char* what;
        OS_VERSION_DATA data;
        int code;
    } cases[] = {
        {"Win32s", NonNt(3, 10), 1},
        {"95", NonNt(4, 0), 3},
        {"98", NonNt(4, 10), 4},
        {"Me", NonNt(4, 90), 5},
        {"unknown 9x successor", NonNt(6, 1), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, OsVersionCode(c.data)) << c.what;
        EXPECT_LT(OsVersionCode(c.data), OS_CODE_VISTA) << c.what;
    }
    // Version numbers that would mean Vista or later on NT do not count off NT.
    for (unsigned long major = 0; major <= 10; ++major)
        for (unsigned long minor = 0; minor <= 100; minor += 10)
            EXPECT_LT(OsVersionCode(NonNt(major, minor)), OS_CODE_VISTA) << major << "." << minor;
}

TEST(OsVersion, FailingQueryGivesZeroWhateverTheOtherFieldsSay)
{
    OS_VERSION_DATA d = Nt(6, 1, WORKSTATION, X64);
    ASSERT_EQ(17, OsVersionCode(d));
    d.bQueryOk = false;
    EXPECT_EQ(0, OsVersionCode(d));
    EXPECT_EQ(0, OsVersionCode(OS_VERSION_DATA{}));
}
