#include "app/KassimoApp.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < __argc; ++i)
        arguments.emplace_back(__argv[i]);
    CKassimoApp app;
    return app.Run(arguments);
}
