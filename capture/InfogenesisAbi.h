#pragma once
// The binary contract with the Infogenesis adapter library, InfogenesisPos.dll.
//
// The real library is a 32-bit DLL built by another party with Microsoft's
// compiler, and it calls back into the program on threads of its own. Both
// sides therefore follow Microsoft's 32-bit C++ conventions:
//   - member functions are __thiscall: `this` in ECX, the arguments on the
//     stack right to left, the callee pops them (ret $N);
//   - an object begins with a pointer to its table of virtual operations, and
//     the table holds exactly the operations declared below, in this order.
//     No virtual destructor: Microsoft's compiler would add a slot for it.
//   - the connection record is passed by value (332 bytes copied onto the
//     stack) and has no padding;
//   - a bool result comes back in AL; only the low byte counts;
//   - the exports are extern "C" __cdecl, undecorated: "CreatePtr", "DeletePtr".
// MinGW's i686 g++ also uses __thiscall for member functions by default; it is
// spelled out so that no compiler option can change it silently. On 64-bit
// Windows there is one calling convention and the keyword means nothing.
// tools/infogenesis-sim implements the same contract, and its build checks the
// 32-bit machine code against it (see AbiProbe.cpp there).
#include <cstddef>
#include <cstdint>

#if defined(__i386__) || defined(_M_IX86)
#define INFOGENESIS_THISCALL __thiscall
#define INFOGENESIS_CDECL __cdecl
#else
#define INFOGENESIS_THISCALL
#define INFOGENESIS_CDECL
#endif

constexpr int INFOGENESIS_IP_SIZE = 256;
constexpr int INFOGENESIS_MAX_TERMINALS = 16;

// Event types the library hands to PosCallback::OnPosEvent.
enum : int32_t {
    INFOGENESIS_EVENT_DATA = 0,
    INFOGENESIS_EVENT_TERMINAL_FAILED = 2,
    INFOGENESIS_EVENT_LOST = 6,
    INFOGENESIS_EVENT_RESTORED = 8,
};

#pragma pack(push, 1)
struct INFOGENESIS_CONNECT_RECORD {
    char szIP[INFOGENESIS_IP_SIZE];  // NUL-terminated
    int32_t nSendPort;
    int32_t nRecvPort;
    int32_t nTerminalCount;  // 0 to 16
    int32_t nTerminalIDs[INFOGENESIS_MAX_TERMINALS];  // in map order; unused entries 0
};
#pragma pack(pop)

static_assert(sizeof(INFOGENESIS_CONNECT_RECORD) == 332, "the library copies 332 bytes");
static_assert(offsetof(INFOGENESIS_CONNECT_RECORD, szIP) == 0, "record layout");
static_assert(offsetof(INFOGENESIS_CONNECT_RECORD, nSendPort) == 256, "record layout");
static_assert(offsetof(INFOGENESIS_CONNECT_RECORD, nRecvPort) == 260, "record layout");
static_assert(offsetof(INFOGENESIS_CONNECT_RECORD, nTerminalCount) == 264, "record layout");
static_assert(offsetof(INFOGENESIS_CONNECT_RECORD, nTerminalIDs) == 268, "record layout");

// What the library calls back, on its own threads. Slot 0.
class PosCallback {
public:
    virtual void INFOGENESIS_THISCALL OnPosEvent(const char* pData, int32_t nLength, int32_t nType,
                                                 int32_t nTerminalID) = 0;

protected:
    ~PosCallback() = default;  // not virtual: a virtual destructor would add slots
};

// The adapter object CreatePtr makes. Slots 0, 1, 2.
class CInfogenesisAdapter {
public:
    virtual void INFOGENESIS_THISCALL RegisterCallback(PosCallback* pCallback) = 0;
    virtual bool INFOGENESIS_THISCALL Start(INFOGENESIS_CONNECT_RECORD record) = 0;
    virtual void INFOGENESIS_THISCALL Stop() = 0;

protected:
    ~CInfogenesisAdapter() = default;  // destroyed only through DeletePtr
};

using PFN_INFOGENESIS_CREATE_PTR = CInfogenesisAdapter*(INFOGENESIS_CDECL*)();
using PFN_INFOGENESIS_DELETE_PTR = void(INFOGENESIS_CDECL*)(CInfogenesisAdapter*);

// The library's two exports as the program found them; either may be null.
struct INFOGENESIS_LIBRARY {
    PFN_INFOGENESIS_CREATE_PTR pfnCreatePtr = nullptr;
    PFN_INFOGENESIS_DELETE_PTR pfnDeletePtr = nullptr;
};
