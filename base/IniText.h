#pragma once
// A profile (INI) file held in memory as its lines, read and changed as the
// system's profile functions read and change a file: section and key names
// match without regard to ASCII case, the first of duplicate sections and
// keys counts, blanks around names and values are trimmed. Everything it does
// not change (other sections and keys, comments, their order) stays as it
// was, so that the whole file can be written out again in one piece.
#include "base/ProfileStore.h"

#include <string>
#include <vector>

// The text without the blanks and tabs around it, as a profile value is read.
std::string TrimmedProfileText(const std::string& text);

class CIniText : public CProfileStore {
public:
    // The file's bytes (CR LF or LF line ends); empty for a new file.
    explicit CIniText(const std::string& strBytes = std::string());

    std::string GetString(const std::string& section, const std::string& key, const std::string& def,
                          size_t bufferSize) override;
    int GetInt(const std::string& section, const std::string& key, int def) override;
    // Changes the key where it is, or adds it after the section's last key;
    // a new section goes at the end of the file. Always true: nothing is written yet.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value) override;
    // Removes the section with its keys; false when there was none.
    bool DeleteSection(const std::string& section);

    // The whole file, each line ended by CR LF.
    std::string Text() const;

private:
    // Index of the section's header line, or npos.
    size_t FindSection(const std::string& section) const;
    // Index of the key's line within the section starting at nHeader, or npos.
    size_t FindKey(size_t nHeader, const std::string& key) const;
    // Index one past the section's last line.
    size_t SectionEnd(size_t nHeader) const;

    std::vector<std::string> m_Lines;
};
