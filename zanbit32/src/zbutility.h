// ZBUtility: the creatable class of the component, in plain and aggregated
// form.
#pragma once

#include "error_reporter.h"
#include "zb_common.h"

namespace zb {

class ZBUtility final : public IZBUtility, public ISupportErrorInfo {
public:
    // Creates an object (aggregated when outer is given) and asks it for
    // iid; the object is destroyed again when that fails.
    static HRESULT CreateInstance(IUnknown *outer, REFIID iid, void **result);

    // IUnknown (delegates to the outer object when aggregated)
    STDMETHODIMP QueryInterface(REFIID iid, void **result) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT *count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo **result) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result,
                        EXCEPINFO *exception, UINT *argError) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

    // IZBUtility: integer and bit members
    STDMETHODIMP AddUnsignedInt(SHORT Int1, SHORT Int2, SHORT *UnsignedInt) override;
    STDMETHODIMP AddUnsignedLong(LONG Long1, LONG Long2, LONG *UnsignedLong) override;
    STDMETHODIMP HiWord(LONG Value, SHORT *HighWord) override;
    STDMETHODIMP LoWord(LONG Value, SHORT *LowWord) override;
    STDMETHODIMP MakeLong(SHORT LowWord, SHORT HighWord, LONG *LongValue) override;
    STDMETHODIMP ShiftIntLeft(SHORT Value1, LONG NumberOfBits, LONG ShiftType, SHORT *Position) override;
    STDMETHODIMP ShiftIntRight(SHORT Value1, LONG NumberOfBits, LONG ShiftType, SHORT *Position) override;
    STDMETHODIMP ShiftLongLeft(LONG Value1, LONG NumberOfBits, LONG ShiftType, LONG *Position) override;
    STDMETHODIMP ShiftLongRight(LONG Value1, LONG NumberOfBits, LONG ShiftType, LONG *Position) override;
    STDMETHODIMP Signed(LONG Value, SHORT *Signed) override;
    STDMETHODIMP ConstrainInt(SHORT Value, SHORT LowBound, SHORT HighBound, SHORT *Limited) override;
    STDMETHODIMP ConstrainLong(LONG Value, LONG LowBound, LONG HighBound, LONG *Limited) override;
    STDMETHODIMP Unsigned(SHORT Value1, LONG *Value) override;
    STDMETHODIMP ClearBits(VARIANT *Data, LONG LowerBound, LONG UpperBound) override;
    STDMETHODIMP HiByte(SHORT Value, BYTE *HighByte) override;
    STDMETHODIMP LoByte(SHORT Value, BYTE *LowByte) override;
    STDMETHODIMP MakeWord(BYTE LowByte, BYTE HighByte, SHORT *Word) override;
    STDMETHODIMP SetBits(VARIANT *Data, LONG LowerBound, LONG UpperBound) override;
    STDMETHODIMP GetBits(VARIANT Data, LONG LowerBound, LONG UpperBound, LONG *BitValue) override;

    // IZBUtility: memory, ports, variants, version
    STDMETHODIMP get_Version(BSTR *Version) override;
    STDMETHODIMP AllocMemory(LONG NumberOfBytes, LONG *MemoryAddress) override;
    STDMETHODIMP FreeMemory(LONG MemoryAddress) override;
    STDMETHODIMP Max(VARIANT Value1, VARIANT Value2, VARIANT *MaxValue) override;
    STDMETHODIMP Min(VARIANT Value1, VARIANT Value2, VARIANT *MinValue) override;
    STDMETHODIMP PeekByte(LONG MemoryAddress, BYTE *Data) override;
    STDMETHODIMP PokeByte(LONG MemoryAddress, BYTE Data) override;
    STDMETHODIMP PeekWord(LONG MemoryAddress, SHORT *Data) override;
    STDMETHODIMP PokeWord(LONG MemoryAddress, SHORT Data) override;
    STDMETHODIMP PeekDword(LONG MemoryAddress, LONG *Data) override;
    STDMETHODIMP PokeDword(LONG MemoryAddress, LONG Data) override;
    STDMETHODIMP WriteByteToPort(SHORT Value, BYTE Data) override;
    STDMETHODIMP WriteWordToPort(SHORT Value, SHORT Data) override;
    STDMETHODIMP WriteDwordToPort(SHORT Value, LONG Data) override;
    STDMETHODIMP ReadByteFromPort(SHORT Value, BYTE *Data) override;
    STDMETHODIMP ReadWordFromPort(SHORT Value, SHORT *Data) override;
    STDMETHODIMP ReadDwordFromPort(SHORT Value, LONG *Data) override;

private:
    explicit ZBUtility(IUnknown *outer);
    ~ZBUtility();

    // The object's own IUnknown: the identity of the plain form and the
    // inner (non-delegating) IUnknown of the aggregated form.
    HRESULT InnerQueryInterface(REFIID iid, void **result);
    ULONG InnerAddRef();
    ULONG InnerRelease();

    struct InnerUnknown final : IUnknown {
        ZBUtility *owner;
        STDMETHODIMP QueryInterface(REFIID iid, void **result) override { return owner->InnerQueryInterface(iid, result); }
        STDMETHODIMP_(ULONG) AddRef() override { return owner->InnerAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return owner->InnerRelease(); }
    };

    HRESULT Raise(long number);
    HRESULT Shift(bool isInt, bool left, long value, long bits, long type, long *result);
    HRESULT ChangeBits(VARIANT *data, long lower, long upper, bool set);
    HRESULT Choose(const VARIANT &v1, const VARIANT &v2, bool chooseMax, VARIANT *result);
    HRESULT Peek(long address, void *data, UINT_PTR width);
    HRESULT Poke(long address, const void *data, UINT_PTR width);

    ULONG refCount_ = 0;
    InnerUnknown inner_;
    IUnknown *outer_ = nullptr;       // controlling unknown when aggregated
    ErrorReporter *reporter_ = nullptr;
    char VersionText[256];
};

} // namespace zb
