#pragma once
// A test's connection to the control port of the Infogenesis simulator library.
#include "tests/support/Loopback.h"

#include <string>

struct CSimulatorClient : CLoopbackClient {
    // Sends one command line and returns its one-line answer ("send failed" when it could not be sent).
    std::string Ask(const std::string& command);
};
