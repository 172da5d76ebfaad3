#pragma once
// Settings records and settings-file sections of the sources tests set up
// most: each sends its receipts over TCP to a recorder.
#include "config/PosSettingInfo.h"

#include <memory>
#include <string>

// A source of that kind as the engine takes it, sent to its printer on port,
// with the serial settings 9600 8N1 that a serial printer uses.
std::unique_ptr<POS_SETTING_INFO> EngineSource(int kind, PRINTER_TYPE printer, const std::string& port,
                                               const std::string& password);
// A file source reading path, its receipts sent to a recorder on recorderPort.
POS_SETTING_INFO TcpFileSource(const std::string& path, const std::string& posIndex, unsigned short recorderPort,
                               const std::string& password);
// A network source ("POS1") taking receipts from the client at client:clientPort.
POS_SETTING_INFO TcpNetworkSource(const std::string& client, unsigned short clientPort, unsigned short recorderPort,
                                  const std::string& password);
// The [Setup<n>] section of a source of that kind reading path, "POS<n>", sent to
// a recorder on port with the password "pw", as the settings file holds it.
std::string TcpSourceSection(int n, int kind, int port, const std::string& path);
