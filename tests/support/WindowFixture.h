#pragma once
// The program's windows shown in the test's own process: COM started, the
// program's language file loaded, and a folder of the test's own for the
// settings file the windows read and write.
#include "lang/Language.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

struct CWindowFixture : ::testing::Test {
    CTempFolder folder;
    std::unique_ptr<CLanguage> pLanguage;

    CWindowFixture();  // in the language the system's settings choose
    explicit CWindowFixture(const LANGUAGE_INPUTS& inputs);
    ~CWindowFixture() override;

    // A key's text in the loaded language.
    std::string Text(const char* key) { return pLanguage->GetString(key); }
    // The settings file in the test's folder, and writing it whole.
    std::string SettingsPath() const { return folder.File("FileMapPOS.ini"); }
    void WriteSettings(const std::string& content) { WriteWholeFile(SettingsPath(), content); }

private:
    void LoadLanguage(const LANGUAGE_INPUTS* pInputs);  // null: the system's choice
};
