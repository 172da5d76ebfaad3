#pragma once
// The tests of the Windows side also share the system's headers. Tests of the
// plain code do not get these: windows.h renames functions by macro.
#include "tests/support/main/TestPch.h"

#include <winsock2.h>
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
