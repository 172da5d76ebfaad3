#include "tests/support/WindowFixture.h"

#include "tests/support/ProgramUnderTest.h"

#include <objbase.h>

CWindowFixture::CWindowFixture() { LoadLanguage(nullptr); }

CWindowFixture::CWindowFixture(const LANGUAGE_INPUTS& inputs) { LoadLanguage(&inputs); }

CWindowFixture::~CWindowFixture()
{
    pLanguage.reset();
    CoUninitialize();
}

void CWindowFixture::LoadLanguage(const LANGUAGE_INPUTS* pInputs)
{
    CoInitialize(nullptr);
    pLanguage = pInputs ? std::make_unique<CLanguage>(*pInputs) : std::make_unique<CLanguage>();
    pLanguage->Load(ProgramLanguageFilePath());
}
