#include "app/OsVersion.h"

namespace {

// Codes 0 to 5 are left to the 9x family and Win32s, so none reaches OS_CODE_VISTA.
int NonNtCode(const OS_VERSION_DATA& d)
{
    if (d.nMajor < 4)
        return 1;  // Win32s
    if (d.nMajor > 4)
        return 0;
    if (d.nMinor < 10)
        return 3;  // 95
    if (d.nMinor < 90)
        return 4;  // 98
    return 5;      // Me
}

int Nt52Code(const OS_VERSION_DATA& d)
{
    if (d.wSuiteMask == OS_SUITE_WH_SERVER)
        return 8;
    if (d.bWorkstation && d.bX64)
        return 10;
    return d.bServerR2 ? 12 : 11;
}

}  // namespace

int OsVersionCode(const OS_VERSION_DATA& d)
{
    if (!d.bQueryOk)
        return 0;
    if (!d.bNtFamily)
        return NonNtCode(d);
    switch (d.nMajor) {
    case 0:
    case 1:
    case 2:
        return 0;
    case 3:
        return 2;
    case 4:
        return 6;
    case 5:
        switch (d.nMinor) {
        case 0:
            return 7;
        case 1:
            return 9;
        case 2:
            return Nt52Code(d);
        default:
            return 0;
        }
    case 6:
        switch (d.nMinor) {
        case 0:
            return d.bWorkstation ? 13 : 14;
        case 1:
            return d.bWorkstation ? (d.bX64 ? 17 : 16) : 15;
        case 2:
            return d.bWorkstation ? (d.bX64 ? 20 : 19) : 18;
        default:
            return 21;
        }
    default:
        return 21;
    }
}
