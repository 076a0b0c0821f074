// Memory, port, variant and version members of ZBUtility.
#include "memory_heap.h"
#include "port_io.h"
#include "zb_ops.h"
#include "zbutility.h"

#include <cstring>

namespace zb {

bool ChooseVariant(const VARIANT &v1, const VARIANT &v2, bool chooseMax, VARIANT *result)
{
    if (V_VT(&v1) != V_VT(&v2)) return false;
    // takeSecond: Value2 is greater (Max) or smaller (Min); an unordered
    // floating comparison gives Value2 for Max and Value1 for Min.
    bool takeSecond = false;
    auto decide = [&](auto a, auto b) { takeSecond = chooseMax ? (b > a) : (b < a); };
    auto decideFloat = [&](double a, double b) {
        const bool unordered = (a != a) || (b != b);
        takeSecond = chooseMax ? (unordered || b > a) : (!unordered && b < a);
    };
    switch (V_VT(&v1)) {
    case VT_I2: decide(V_I2(&v1), V_I2(&v2)); break;
    case VT_I4: decide(V_I4(&v1), V_I4(&v2)); break;
    case VT_UI1: decide(V_UI1(&v1), V_UI1(&v2)); break;
    case VT_CY: decide(V_CY(&v1).int64, V_CY(&v2).int64); break;
    case VT_R4: decideFloat(V_R4(&v1), V_R4(&v2)); break;
    case VT_R8: decideFloat(V_R8(&v1), V_R8(&v2)); break;
    case VT_DATE: decideFloat(V_DATE(&v1), V_DATE(&v2)); break;
    default: return false;
    }
    // Numeric variants own nothing: a plain copy is the value.
    std::memcpy(static_cast<void *>(result), takeSecond ? &v2 : &v1, sizeof(VARIANT));
    return true;
}

STDMETHODIMP ZBUtility::get_Version(BSTR *Version)
{
    if (!Version) return E_POINTER;
    // The parameter is output only: whatever it holds on entry belongs to
    // nobody and is overwritten, not freed.
    const int n = MultiByteToWideChar(CP_ACP, 0, VersionText, -1, nullptr, 0);
    BSTR text = n > 0 ? SysAllocStringLen(nullptr, static_cast<UINT>(n - 1)) : nullptr;
    if (text) MultiByteToWideChar(CP_ACP, 0, VersionText, -1, text, n);
    *Version = text;
    return S_OK;
}

STDMETHODIMP ZBUtility::AllocMemory(LONG NumberOfBytes, LONG *MemoryAddress)
{
    if (!MemoryAddress) return E_POINTER;
    void *block = HeapAllocBlock(static_cast<uint32_t>(NumberOfBytes));
    if (!block) return Raise(zbErrOutOfMemory);
    *MemoryAddress = LongFromAddress(block);
    return S_OK;
}

STDMETHODIMP ZBUtility::FreeMemory(LONG MemoryAddress)
{
    if (MemoryAddress != 0) HeapFreeBlock(AddressFromLong(MemoryAddress));
    return S_OK;
}

HRESULT ZBUtility::Choose(const VARIANT &v1, const VARIANT &v2, bool chooseMax, VARIANT *result)
{
    ErrorReporter::ClearError();
    if (!result) return E_POINTER;
    VARIANT chosen;
    if (!ChooseVariant(v1, v2, chooseMax, &chosen)) return Raise(zbErrInvalidParam);
    *result = chosen;
    return S_OK;
}

STDMETHODIMP ZBUtility::Max(VARIANT Value1, VARIANT Value2, VARIANT *MaxValue)
{
    return Choose(Value1, Value2, true, MaxValue);
}

STDMETHODIMP ZBUtility::Min(VARIANT Value1, VARIANT Value2, VARIANT *MinValue)
{
    return Choose(Value1, Value2, false, MinValue);
}

HRESULT ZBUtility::Peek(long address, void *data, UINT_PTR width)
{
    ErrorReporter::ClearError();
    if (!data) return E_POINTER;
    const void *p = AddressFromLong(address);
    if (IsBadReadPtr(p, width)) return Raise(zbErrNoRead);
    std::memcpy(data, p, width);
    return S_OK;
}

HRESULT ZBUtility::Poke(long address, const void *data, UINT_PTR width)
{
    ErrorReporter::ClearError();
    void *p = AddressFromLong(address);
    if (IsBadWritePtr(p, width)) return Raise(zbErrNoWrite);
    std::memcpy(p, data, width);
    return S_OK;
}

STDMETHODIMP ZBUtility::PeekByte(LONG MemoryAddress, BYTE *Data) { return Peek(MemoryAddress, Data, 1); }
STDMETHODIMP ZBUtility::PeekWord(LONG MemoryAddress, SHORT *Data) { return Peek(MemoryAddress, Data, 2); }
STDMETHODIMP ZBUtility::PeekDword(LONG MemoryAddress, LONG *Data) { return Peek(MemoryAddress, Data, 4); }
STDMETHODIMP ZBUtility::PokeByte(LONG MemoryAddress, BYTE Data) { return Poke(MemoryAddress, &Data, 1); }
STDMETHODIMP ZBUtility::PokeWord(LONG MemoryAddress, SHORT Data) { return Poke(MemoryAddress, &Data, 2); }
STDMETHODIMP ZBUtility::PokeDword(LONG MemoryAddress, LONG Data) { return Poke(MemoryAddress, &Data, 4); }

// Ports: a negative port number addresses ports 32768 to 65535.
namespace {
inline uint16_t PortNumber(SHORT value) { return static_cast<uint16_t>(value); }
} // namespace

STDMETHODIMP ZBUtility::WriteByteToPort(SHORT Value, BYTE Data)
{
    ErrorReporter::ClearError();
    if (IsWindowsNT()) return Raise(zbErrUnsupported);
    PortWriteByte(PortNumber(Value), Data);
    return S_OK;
}

STDMETHODIMP ZBUtility::WriteWordToPort(SHORT Value, SHORT Data)
{
    ErrorReporter::ClearError();
    if (IsWindowsNT()) return Raise(zbErrUnsupported);
    PortWriteWord(PortNumber(Value), static_cast<uint16_t>(Data));
    return S_OK;
}

STDMETHODIMP ZBUtility::WriteDwordToPort(SHORT Value, LONG Data)
{
    ErrorReporter::ClearError();
    if (IsWindowsNT()) return Raise(zbErrUnsupported);
    PortWriteDword(PortNumber(Value), static_cast<uint32_t>(Data));
    return S_OK;
}

STDMETHODIMP ZBUtility::ReadByteFromPort(SHORT Value, BYTE *Data)
{
    ErrorReporter::ClearError();
    if (!Data) return E_POINTER;
    if (IsWindowsNT()) return Raise(zbErrUnsupported);
    *Data = PortReadByte(PortNumber(Value));
    return S_OK;
}

STDMETHODIMP ZBUtility::ReadWordFromPort(SHORT Value, SHORT *Data)
{
    ErrorReporter::ClearError();
    if (!Data) return E_POINTER;
    if (IsWindowsNT()) return Raise(zbErrUnsupported);
    *Data = static_cast<SHORT>(PortReadWord(PortNumber(Value)));
    return S_OK;
}

STDMETHODIMP ZBUtility::ReadDwordFromPort(SHORT Value, LONG *Data)
{
    ErrorReporter::ClearError();
    if (!Data) return E_POINTER;
    if (IsWindowsNT()) return Raise(zbErrUnsupported);
    *Data = static_cast<LONG>(PortReadDword(PortNumber(Value)));
    return S_OK;
}

} // namespace zb
