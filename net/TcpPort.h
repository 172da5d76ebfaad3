#pragma once
#include <string>

// The listening port of a TCP output from its Port text: the digits after
// "TCP(" when the text holds the wrapper, otherwise the leading digits of the
// whole text. -1 when there is no port number from 1 to 65535 (listening on
// port 0 or on a truncated number would open the wrong port).
int ParseTcpPortNumber(const std::string& port);
