#include "agent/AgentRequests.h"

#include <algorithm>
#include <climits>
#include <map>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return LowerAscii(c); });
    return text;
}

std::string Unquote(const std::string& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// A UTF-16LE file (the profile functions keep a file in that form once it is)
// as 8-bit text; characters outside ASCII become '?', which no path may hold.
std::string NarrowUtf16(const std::string& bytes)
{
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const unsigned code = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        text += code < 0x80 ? static_cast<char>(code) : '?';
    }
    return text;
}

// "AP<n>" exactly as "AP%d" writes it (any case): n, else -1.
long long ApIndex(const std::string& lowerName)
{
    if (lowerName.size() < 3 || lowerName.size() > 12 || lowerName.compare(0, 2, "ap") != 0)
        return -1;
    const std::string digits = lowerName.substr(2);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    if (digits.size() > 1 && digits[0] == '0')
        return -1;
    const long long n = std::stoll(digits);
    return n <= INT_MAX ? n : -1;
}

using SECTION = std::map<std::string, std::string>;  // lower-case key -> first value

}  // namespace

long long ParseProfileCount(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        bNegative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + 1;
            break;
        }
    }
    return bNegative ? -value : value;
}

AGENT_QUEUE ParseAgentQueue(const std::string& fileBytes, size_t nFileSize)
{
    AGENT_QUEUE queue;
    if (nFileSize > AGENT_REQUEST_FILE_MAX_BYTES || fileBytes.size() > AGENT_REQUEST_FILE_MAX_BYTES) {
        queue.problems.push_back("request file of " + std::to_string(nFileSize) + " bytes is too large");
        return queue;
    }
    std::string text = fileBytes;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE)
        text = NarrowUtf16(text);
    else if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    if (text.find('\0') != std::string::npos) {
        queue.problems.push_back("request file holds zero bytes: not a profile file");
        return queue;
    }

    std::map<std::string, SECTION> sections;  // lower-case name -> first section of that name
    SECTION* pCurrent = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            const std::string name = LowerAscii(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            // A later section of a name already seen is read by nobody.
            pCurrent = sections.count(name) ? nullptr : &sections[name];
            continue;
        }
        const size_t equals = line.find('=');
        if (pCurrent == nullptr || equals == std::string::npos)
            continue;
        pCurrent->emplace(LowerAscii(Trim(line.substr(0, equals))), Unquote(Trim(line.substr(equals + 1))));
    }

    const auto startup = sections.find("startup");
    if (startup != sections.end()) {
        const auto count = startup->second.find("count");
        if (count != startup->second.end())
            queue.llCount = ParseProfileCount(count->second);
    }
    if (queue.llCount < 0)
        queue.problems.push_back("negative Count " + std::to_string(queue.llCount) + " read as 0");

    std::map<long long, const SECTION*> entries;
    size_t nBeyondCount = 0;
    for (const auto& section : sections) {
        const long long n = ApIndex(section.first);
        if (n < 0)
            continue;
        if (n >= queue.llCount)
            ++nBeyondCount;
        else
            entries[n] = &section.second;
    }
    if (nBeyondCount)
        queue.problems.push_back(std::to_string(nBeyondCount) + " entries at or beyond Count " +
                                 std::to_string(std::max(queue.llCount, 0LL)) + " ignored");
    for (const auto& entry : entries) {
        AGENT_REQUEST request;
        request.nIndex = static_cast<int>(entry.first);
        const auto exe = entry.second->find("exepath");
        if (exe != entry.second->end())
            request.strExePath = exe->second;
        const auto cmd = entry.second->find("cmdline");
        if (cmd != entry.second->end()) {
            request.strCmdLine = cmd->second;
            request.bHasCmdLine = true;
        }
        queue.requests.push_back(request);
    }
    return queue;
}

std::string NormalizeWindowsPath(const std::string& path)
{
    if (path.size() < 3)
        return "";
    for (const char c : path) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return "";
    }
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    const char drive = LowerAscii(p[0]);
    if (drive < 'a' || drive > 'z' || p[1] != ':' || p[2] != '\\')
        return "";
    if (p.find(':', 2) != std::string::npos)
        return "";
    std::vector<std::string> names;
    size_t pos = 3;
    while (pos <= p.size()) {
        size_t end = p.find('\\', pos);
        if (end == std::string::npos)
            end = p.size();
        std::string name = p.substr(pos, end - pos);
        pos = end + 1;
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (names.empty())
                return "";
            names.pop_back();
            continue;
        }
        while (!name.empty() && (name.back() == '.' || name.back() == ' '))
            name.pop_back();
        if (name.empty())
            return "";  // "...", " ": no name Windows would keep
        names.push_back(LowerAscii(name));
    }
    std::string result(1, drive);
    result += ":\\";
    for (size_t i = 0; i < names.size(); ++i)
        result += (i ? "\\" : "") + names[i];
    return result;
}

AGENT_VERDICT JudgeAgentRequest(const AGENT_REQUEST& request, const std::string& expandedExePath,
                                const std::string& allowedExePath)
{
    const std::string requested = NormalizeWindowsPath(expandedExePath);
    if (requested.empty() || NormalizeWindowsPath(request.strExePath).empty())
        return VERDICT_BAD_PATH;
    const std::string allowed = NormalizeWindowsPath(allowedExePath);
    if (allowed.empty() || requested != allowed)
        return VERDICT_OTHER_PROGRAM;
    if (!request.bHasCmdLine ||
        (request.strCmdLine != AGENT_ARGS_SERVICE && request.strCmdLine != AGENT_ARGS_SERVICE_MONITOR))
        return VERDICT_BAD_ARGUMENTS;
    return VERDICT_START;
}

const char* AgentVerdictText(AGENT_VERDICT verdict)
{
    switch (verdict) {
    case VERDICT_START:
        return "allowed";
    case VERDICT_BAD_PATH:
        return "not a full path";
    case VERDICT_OTHER_PROGRAM:
        return "not the Tillvox.exe of the agent's folder";
    case VERDICT_BAD_ARGUMENTS:
        return "arguments other than \"/Service\" or \"/Service /Monitor\"";
    }
    return "unknown";
}

AGENT_TOKEN_CHOICE ChooseAgentToken(bool bHaveConsoleUserToken, int nElevationType, bool bLinkedTokenAvailable)
{
    if (!bHaveConsoleUserToken)
        return TOKEN_WAIT_FOR_USER;
    if (nElevationType == AGENT_ELEVATION_LIMITED && bLinkedTokenAvailable)
        return TOKEN_USER_LINKED;
    return TOKEN_USER_OWN;
}

size_t CPendingStarts::Add(const std::vector<AGENT_REQUEST>& requests)
{
    size_t nDropped = 0;
    for (const AGENT_REQUEST& request : requests) {
        if (m_requests.size() < AGENT_MAX_STARTS_PER_BATCH)
            m_requests.push_back(request);
        else
            ++nDropped;
    }
    return nDropped;
}

std::vector<AGENT_REQUEST> CPendingStarts::TakeAll()
{
    std::vector<AGENT_REQUEST> requests;
    requests.swap(m_requests);
    return requests;
}

void CPendingStarts::StartAll(const std::function<AGENT_START_RESULT(const AGENT_REQUEST&)>& start)
{
    const std::vector<AGENT_REQUEST> requests = TakeAll();
    for (size_t i = 0; i < requests.size(); ++i) {
        if (start(requests[i]) == AGENT_START_NO_USER) {
            m_requests.assign(requests.begin() + static_cast<std::ptrdiff_t>(i), requests.end());
            return;
        }
    }
}
