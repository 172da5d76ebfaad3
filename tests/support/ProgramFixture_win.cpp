#include "tests/support/ProgramFixture.h"

#include "base/IniProfile.h"
#include "config/SettingsFile.h"

#include <objbase.h>

CProgramDataFixture::CProgramDataFixture()
{
    CreateDirectoryA((ProgramDataFolder() + "..").c_str(), nullptr);
    CreateDirectoryA(ProgramDataFolder().c_str(), nullptr);
    DeleteFileA(ProgramSettingsPath().c_str());
}

CProgramDataFixture::~CProgramDataFixture() { DeleteFileA(ProgramSettingsPath().c_str()); }

void CProgramDataFixture::CloseProgram(CProgramUnderTest& program, HWND hMain)
{
    PostMessageA(hMain, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(15000)) << "the program did not end";
}

CProgramFixture::CProgramFixture()
{
    CoInitialize(nullptr);
    pTexts = std::make_unique<CLanguage>();
    pTexts->Load(ProgramLanguageFilePath());
}

CProgramFixture::~CProgramFixture()
{
    pTexts.reset();
    CoUninitialize();
}

void WriteProgramSettings(const std::vector<POS_SETTING_INFO>& records)
{
    CIniProfile profile(ProgramSettingsPath());
    std::vector<const POS_SETTING_INFO*> pointers;
    for (const auto& r : records) pointers.push_back(&r);
    SaveSettingsTo(profile, pointers, false);
}
