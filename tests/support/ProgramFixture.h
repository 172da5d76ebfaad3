#pragma once
// What every test of the real program sets up around it: the socket library,
// the program's data folder, and no settings file before the test or after it.
#include "config/PosSettingInfo.h"
#include "lang/Language.h"
#include "net/WinsockInit.h"
#include "tests/support/ProgramUnderTest.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

struct CProgramDataFixture : ::testing::Test {
    CWinsockInit winsock;

    CProgramDataFixture();
    ~CProgramDataFixture() override;
    // Closes the main window as a person does; the program must end within 15 seconds.
    static void CloseProgram(CProgramUnderTest& program, HWND hMain);
};

// The same with COM started and the program's language file loaded, for a
// test that compares what the program shows with the language's texts.
struct CProgramFixture : CProgramDataFixture {
    std::unique_ptr<CLanguage> pTexts;

    CProgramFixture();
    ~CProgramFixture() override;
    std::string Text(const char* key) { return pTexts->GetString(key); }
};

// Writes the records, in order, as the program's settings file.
void WriteProgramSettings(const std::vector<POS_SETTING_INFO>& records);
