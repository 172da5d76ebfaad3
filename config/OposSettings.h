#pragma once
// The OPOS client's network settings file, written for whatever runs on the
// machine as the OPOS side; the program never reads it back.
#include "base/ProfileStore.h"

#include <string>

constexpr const char* OPOS_SETTINGS_FILE = "OrvaneOPosSetting.ini";
constexpr const char* OPOS_SECTION = "NetWork";

// An IPv4 address text as one signed 32-bit number in host order, as the
// system's address parser reads it ("127.1" and hexadecimal parts included);
// -1 for a text that does not parse.
int OposAddressValue(const std::string& ip);

// Writes IP, Port and Name, in this order, into section "NetWork"; other keys stay.
void WriteOposSettings(CProfileStore& store, const std::string& ip, int port, const std::string& name);
