#include "net/WinsockInit.h"

#include <winsock2.h>

CWinsockInit::CWinsockInit()
{
    WSADATA data;
    m_nError = WSAStartup(MAKEWORD(2, 2), &data);
}

CWinsockInit::~CWinsockInit()
{
    if (m_nError == 0)
        WSACleanup();
}
