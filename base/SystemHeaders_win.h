#pragma once
// System and standard headers that most of the Windows half of the program
// includes, compiled once for the build (a precompiled header). Only the
// _win.cpp files get it: the plain code must build without windows.h.
#include <winsock2.h>
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
