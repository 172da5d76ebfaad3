#include "base/IniText.h"

#include <cstdlib>

std::string TrimmedProfileText(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

namespace {

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char ca = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char cb = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (ca != cb)
            return false;
    }
    return true;
}

// The name of a "[name]" header line; false when the line is no header.
bool HeaderName(const std::string& line, std::string& name)
{
    const std::string text = TrimmedProfileText(line);
    if (text.empty() || text[0] != '[')
        return false;
    const size_t close = text.find(']');
    name = TrimmedProfileText(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// The key of a "key=value" line; false when the line has none.
bool KeyName(const std::string& line, std::string& key)
{
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    key = TrimmedProfileText(line.substr(0, equals));
    return true;
}

}  // namespace

CIniText::CIniText(const std::string& strBytes)
{
    size_t start = 0;
    while (start < strBytes.size()) {
        size_t end = strBytes.find('\n', start);
        if (end == std::string::npos)
            end = strBytes.size();
        std::string line = strBytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        m_Lines.push_back(line);
        start = end + 1;
    }
}

size_t CIniText::FindSection(const std::string& section) const
{
    std::string name;
    for (size_t i = 0; i < m_Lines.size(); ++i)
        if (HeaderName(m_Lines[i], name) && SameName(name, section))
            return i;
    return std::string::npos;
}

size_t CIniText::SectionEnd(size_t nHeader) const
{
    std::string name;
    size_t i = nHeader + 1;
    while (i < m_Lines.size() && !HeaderName(m_Lines[i], name))
        ++i;
    return i;
}

size_t CIniText::FindKey(size_t nHeader, const std::string& key) const
{
    std::string name;
    const size_t end = SectionEnd(nHeader);
    for (size_t i = nHeader + 1; i < end; ++i)
        if (KeyName(m_Lines[i], name) && SameName(name, key))
            return i;
    return std::string::npos;
}

std::string CIniText::GetString(const std::string& section, const std::string& key, const std::string& def,
                                 size_t bufferSize)
{
    std::string value = def;
    const size_t header = FindSection(section);
    if (header != std::string::npos) {
        const size_t line = FindKey(header, key);
        if (line != std::string::npos) {
            value = TrimmedProfileText(m_Lines[line].substr(m_Lines[line].find('=') + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
        }
    }
    return bufferSize == 0 ? std::string() : value.substr(0, bufferSize - 1);
}

int CIniText::GetInt(const std::string& section, const std::string& key, int def)
{
    const std::string text = GetString(section, key, std::string(), 4096);
    if (text.empty())
        return def;
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

bool CIniText::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    size_t header = FindSection(section);
    if (header == std::string::npos) {
        m_Lines.push_back("[" + section + "]");
        header = m_Lines.size() - 1;
    }
    const size_t line = FindKey(header, key);
    if (line != std::string::npos) {
        // The key keeps the spelling it had.
        m_Lines[line] = TrimmedProfileText(m_Lines[line].substr(0, m_Lines[line].find('='))) + "=" + value;
        return true;
    }
    // After the last non-blank line of the section, so that a blank line before the next one stays there.
    size_t at = SectionEnd(header);
    while (at > header + 1 && TrimmedProfileText(m_Lines[at - 1]).empty())
        --at;
    m_Lines.insert(m_Lines.begin() + static_cast<std::ptrdiff_t>(at), key + "=" + value);
    return true;
}

bool CIniText::DeleteSection(const std::string& section)
{
    const size_t header = FindSection(section);
    if (header == std::string::npos)
        return false;
    m_Lines.erase(m_Lines.begin() + static_cast<std::ptrdiff_t>(header),
                  m_Lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
    return true;
}

std::string CIniText::Text() const
{
    std::string text;
    for (const std::string& line : m_Lines)
        text += line + "\r\n";
    return text;
}
