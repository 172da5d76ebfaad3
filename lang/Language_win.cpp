#include "lang/Language.h"

#include "base/Trace.h"
#include "base/IniProfile.h"

#include <msxml.h>
#include <oleauto.h>

#include <optional>

namespace {

// MinGW's import libraries do not reliably define this class id.
const CLSID DOM_DOCUMENT_CLSID = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const std::wstring& text) : m_b(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~CBstr() { SysFreeString(m_b); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    BSTR Get() const { return m_b; }
    BSTR* Out()
    {
        SysFreeString(m_b);
        m_b = nullptr;
        return &m_b;
    }

private:
    BSTR m_b = nullptr;
};

std::wstring Widen(const std::string& text, UINT codePage)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), count);
    return wide;
}

std::string Narrow(BSTR text, UINT codePage)
{
    const int size = static_cast<int>(SysStringLen(text));
    if (size == 0)
        return {};
    const int count = WideCharToMultiByte(codePage, 0, text, size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(codePage, 0, text, size, narrow.data(), count, nullptr, nullptr);
    return narrow;
}

// The child element of that name; the name goes into a selection pattern,
// so anything but a bare name selects nothing.
CComRef<IXMLDOMNode> SelectChild(IXMLDOMNode* pParent, const std::string& name)
{
    CComRef<IXMLDOMNode> child;
    if (pParent && IsPlainElementName(name)) {
        CBstr pattern(Widen(name, CP_ACP));
        if (pParent->selectSingleNode(pattern.Get(), child.Out()) != S_OK)
            child.Reset();
    }
    return child;
}

std::optional<std::string> ChildText(IXMLDOMNode* pParent, const std::string& name, UINT codePage)
{
    CComRef<IXMLDOMNode> child = SelectChild(pParent, name);
    if (!child)
        return std::nullopt;
    CBstr text;
    if (FAILED(child->get_text(text.Out())))
        return std::string();
    return Narrow(text.Get(), codePage);
}

CComRef<IXMLDOMNode> DocumentElement(IXMLDOMDocument* pDocument)
{
    CComRef<IXMLDOMElement> root;
    CComRef<IXMLDOMNode> node;
    if (pDocument->get_documentElement(root.Out()) == S_OK && root)
        root->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.Out()));
    return node;
}

}  // namespace

LANGUAGE_INPUTS LANGUAGE_INPUTS::FromSystem()
{
    LANGUAGE_INPUTS inputs;
    inputs.nSystemLangId = GetSystemDefaultLangID();
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length > 0 && length <= MAX_PATH)
        inputs.strBrandFilePath = std::string(folder) + "\\ORVANEBRAND.INI";
    return inputs;
}

CLanguage::CLanguage() : CLanguage(LANGUAGE_INPUTS::FromSystem()) {}

CLanguage::CLanguage(const LANGUAGE_INPUTS& inputs)
    : m_Choice(inputs.nSystemLangId), m_strBrandFilePath(inputs.strBrandFilePath)
{
    MakeFont(m_Choice.Font());
    if (FAILED(CoCreateInstance(DOM_DOCUMENT_CLSID, nullptr, CLSCTX_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(m_pDocument.Out()))))
        m_pDocument.Reset();
    if (m_pDocument)
        m_pDocument->put_async(VARIANT_FALSE);
}

CLanguage::~CLanguage() = default;

std::string CLanguage::ProgramFilePath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    const size_t slash = folder.find_last_of('\\');
    folder.resize(slash == std::string::npos ? 0 : slash);
    return folder + "\\Tillvox.xml";
}

bool CLanguage::Load(const std::string& path)
{
    CCriticalSectionLock lock(m_Lock);
    if (m_pRoot)
        return true;
    if (!m_pDocument)
        return false;

    CBstr file(Widen(path, CP_ACP));
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = file.Get();
    VARIANT_BOOL bParsed = VARIANT_FALSE;
    m_pDocument->load(source, &bParsed);

    long nErrorCode = 0;
    std::string reason;
    CComRef<IXMLDOMParseError> error;
    if (SUCCEEDED(m_pDocument->get_parseError(error.Out())) && error) {
        error->get_errorCode(&nErrorCode);
        CBstr text;
        if (SUCCEEDED(error->get_reason(text.Out())))
            reason = Narrow(text.Get(), CP_ACP);
    }
    if (bParsed == VARIANT_TRUE && nErrorCode == 0)
        m_pRoot = DocumentElement(m_pDocument.Get());
    if (!m_pRoot) {
        Trace("Failed to load(%s) : %s\n", path.c_str(), reason.c_str());
    } else if (m_Choice.WantsLanguageTable() && m_Choice.ApplyLanguageTable(ReadFileLanguageTable())) {
        MakeFont(m_Choice.Font());
    }
    ApplyBrandOverride();
    return static_cast<bool>(m_pRoot);
}

std::vector<LANGUAGE_TABLE_ENTRY> CLanguage::ReadFileLanguageTable()
{
    CComRef<IXMLDOMNode> table = SelectChild(m_pRoot.Get(), LANGUAGE_TABLE_ELEMENT);
    if (!table)
        return {};
    return ReadLanguageTable(
        [&table](const std::string& name) { return ChildText(table.Get(), name, CP_UTF8); });
}

void CLanguage::ApplyBrandOverride()
{
    std::optional<CIniProfile> brandFile;
    if (!m_strBrandFilePath.empty())
        brandFile.emplace(m_strBrandFilePath);
    const BRAND_OVERRIDE brand = ReadBrandOverride(brandFile ? &*brandFile : nullptr);
    m_Choice.ApplyBrandOverride(brand);
    if (brand.bOverride)
        MakeFont(m_Choice.Font());
}

void CLanguage::MakeFont(const FONT_SPEC& font)
{
    // The face goes in as UTF-16 so that a Chinese face names its font whatever the ANSI code page.
    m_pFont.reset(CreateFontW(FONT_HEIGHT, 0, 0, 0, font.nWeight, FALSE, FALSE, FALSE,
                              static_cast<DWORD>(font.nCharSet), 0, 0, 0, FONT_PITCH_AND_FAMILY,
                              Widen(font.strFace, CP_UTF8).c_str()));
}

HFONT CLanguage::GetFont()
{
    if (!m_pFont)
        MakeFont(FontForLanguageId(FALLBACK_LANGUAGE_ID));
    return m_pFont.get();
}

std::string CLanguage::GetString(const std::string& key)
{
    const std::wstring text = GetText(key);
    CBstr wide(text);
    return Narrow(wide.Get(), CP_ACP);
}

std::wstring CLanguage::GetText(const std::string& key)
{
    CCriticalSectionLock lock(m_Lock);
    CComRef<IXMLDOMNode> entry = SelectChild(m_pRoot.Get(), key);
    if (!entry)
        return {};
    // UTF-8 carries the parser's text whole through the plain fall-back rule.
    return Widen(TextWithFallback(m_Choice.LookupId(),
                                  [&entry](const std::string& id) { return ChildText(entry.Get(), id, CP_UTF8); }),
                 CP_UTF8);
}
