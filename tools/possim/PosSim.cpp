// possim: stands in for a POS client of a network source, so an installer can
// check a source without a till and tests have a real peer.
#include "tools/common/SimSocket.h"
#include "tools/possim/PosSimOptions.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <fcntl.h>
#include <io.h>
#else
#include <cerrno>
#endif

namespace {

using CLOCK = std::chrono::steady_clock;

const int RETRY_PAUSE_MS = 200;
const size_t STDIN_PIECE = 64 * 1024;

// A send refused because the peer closed or reset the connection.
bool IsClosedByPeer(int error)
{
#ifdef _WIN32
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN;
#else
    return error == ECONNRESET || error == EPIPE;
#endif
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    bytes.clear();
    char buffer[64 * 1024];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

void Pause(long ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class CPosSim {
public:
    explicit CPosSim(const POS_SIM_OPTIONS& options) : m_Options(options) {}

    int Run()
    {
        // Files are read before anything is sent: a missing one must not leave half a run behind.
        std::vector<std::string> contents(m_Options.files.size());
        for (size_t i = 0; i < m_Options.files.size(); ++i) {
            const std::string& path = m_Options.files[i];
            if (path != "-" && !ReadWholeFile(path, contents[i])) {
                std::fprintf(stderr, "possim: cannot read %s\n", path.c_str());
                return POS_SIM_NO_INPUT;
            }
        }
        if (!CSimSocket::StartUp()) {
            std::fprintf(stderr, "possim: socket library unavailable\n");
            return POS_SIM_NO_CONNECT;
        }
        if (!ConnectWithRetry())
            return POS_SIM_NO_CONNECT;

        const long nReceipts = m_Options.nCount > 0 ? m_Options.nCount : static_cast<long>(contents.size());
        for (long k = 0; k < nReceipts; ++k) {
            if (k > 0) {
                Pause(m_Options.nIntervalMs);
                if (m_Options.bReconnect) {
                    if (!EndConnection(k))
                        return POS_SIM_REFUSED;
                    if (!ConnectWithRetry())
                        return POS_SIM_NO_CONNECT;
                }
            }
            bool ok;
            if (m_Options.nCount > 0)
                ok = Send(PosSimSampleReceipt(k + 1, m_Options.nSize));
            else if (m_Options.files[static_cast<size_t>(k)] == "-")
                ok = SendStandardInput();
            else
                ok = Send(contents[static_cast<size_t>(k)]);
            if (!ok) {
                const int error = CSimSocket::LastError();
                if (IsClosedByPeer(error)) {
                    ReportRefused(true, k);
                    return POS_SIM_REFUSED;
                }
                std::fprintf(stderr, "possim: connection lost after %lld bytes (receipt %ld), code %d\n", m_nSent,
                             k + 1, error);
                return POS_SIM_LOST;
            }
            ++m_nReceipts;
        }
        Pause(m_Options.nLingerMs);
        if (!EndConnection(nReceipts))
            return POS_SIM_REFUSED;
        if (!m_Options.bQuiet) {
            const double seconds =
                std::chrono::duration_cast<std::chrono::duration<double>>(CLOCK::now() - m_Start).count();
            std::fprintf(stderr, "possim: sent %ld receipts, %lld bytes in %.3f s over %ld connections\n", m_nReceipts,
                         m_nSent, seconds, m_nConnections);
        }
        return POS_SIM_OK;
    }

private:
    // The program closes a connection from a client that is no source's at
    // once, whatever was sent: the bytes then went nowhere although every send
    // succeeded. So before ending the connection, look for that close (or the
    // reset that follows unread bytes) until the check time after connecting.
    // false: the program ended the connection first.
    bool EndConnection(long nReceiptsSoFar)
    {
        if (m_Options.nCheckMs > 0) {
            const auto until = m_Connected + std::chrono::milliseconds(m_Options.nCheckMs);
            const auto now = CLOCK::now();
            const long waitMs =
                until > now ? static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count()) : 0;
            char byte;
            const int got = m_Socket.Receive(&byte, 1, static_cast<int>(waitMs));
            // Nothing arrives on a source's connection: any answer is the program's close.
            if (got != CSimSocket::RECV_TIMEOUT) {
                ReportRefused(got == CSimSocket::RECV_ERROR, nReceiptsSoFar);
                m_Socket.Close();
                return false;
            }
        }
        m_Socket.ShutdownSend();
        m_Socket.Close();
        return true;
    }

    void ReportRefused(bool bReset, long nReceiptsSoFar) const
    {
        std::fprintf(stderr,
                     "possim: the program %s the connection to %s:%s after %ld receipts: the text was not taken. No "
                     "source has this machine's address%s as its client on this port.\n",
                     bReset ? "reset" : "closed", m_Options.strHost.c_str(), m_Options.strPort.c_str(), nReceiptsSoFar,
                     m_Options.strFrom.empty() ? "" : (" " + m_Options.strFrom).c_str());
    }

    bool ConnectWithRetry()
    {
        const auto deadline = CLOCK::now() + std::chrono::milliseconds(m_Options.nRetryMs);
        std::string error;
        for (;;) {
            if (m_Socket.Connect(m_Options.strHost, m_Options.strPort, error, m_Options.strFrom)) {
                m_Connected = CLOCK::now();
                if (m_nConnections++ == 0)
                    m_Start = m_Connected;
                return true;
            }
            if (CLOCK::now() >= deadline)
                break;
            Pause(RETRY_PAUSE_MS);
        }
        std::fprintf(stderr, "possim: cannot connect to %s:%s: %s\n", m_Options.strHost.c_str(),
                     m_Options.strPort.c_str(), error.c_str());
        return false;
    }

    bool Send(const std::string& bytes)
    {
        if (!m_Socket.SendAll(bytes.data(), bytes.size()))
            return false;
        m_nSent += static_cast<long long>(bytes.size());
        return true;
    }

    bool SendStandardInput()
    {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        std::vector<char> buffer(STDIN_PIECE);
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
            if (!m_Socket.SendAll(buffer.data(), n))
                return false;
            m_nSent += static_cast<long long>(n);
        }
        return true;
    }

    const POS_SIM_OPTIONS& m_Options;
    CSimSocket m_Socket;
    long long m_nSent = 0;
    long m_nReceipts = 0;
    long m_nConnections = 0;
    CLOCK::time_point m_Start = CLOCK::now();
    CLOCK::time_point m_Connected = CLOCK::now();
};

}  // namespace

int main(int argc, char** argv)
{
    POS_SIM_OPTIONS options;
    std::string error;
    const int code = ParsePosSimArgs(std::vector<std::string>(argv + 1, argv + argc), options, error);
    if (code != POS_SIM_OK) {
        std::fprintf(stderr, "possim: %s\n%s", error.c_str(), POS_SIM_USAGE_TEXT);
        return code;
    }
    if (options.bHelp) {
        std::fputs(POS_SIM_USAGE_TEXT, stdout);
        return POS_SIM_OK;
    }
    return CPosSim(options).Run();
}
