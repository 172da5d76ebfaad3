#pragma once
// Headers nearly every test file includes, compiled once for all of them.
// Nothing of the program's own: a change to it must not rebuild every test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
