#include "app/AutoRun.h"

std::string AutoRunCommand(const std::string& exePath)
{
    return "\"" + exePath + "\" -\"Monitor\"";
}
