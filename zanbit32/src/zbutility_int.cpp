// Integer and bit members of ZBUtility.
#include "zb_ops.h"
#include "zbutility.h"

#include <cstring>

namespace zb {

// ---------------------------------------------------------------------------
// Plain arithmetic
// ---------------------------------------------------------------------------

namespace {
inline uint16_t U16(long v) { return static_cast<uint16_t>(static_cast<unsigned long>(v) & 0xFFFFu); }
inline uint32_t U32(long v) { return static_cast<uint32_t>(static_cast<unsigned long>(v) & 0xFFFFFFFFu); }
inline short S16(uint32_t v) { return static_cast<short>(static_cast<uint16_t>(v & 0xFFFFu)); }
inline long S32(uint32_t v) { return static_cast<long>(static_cast<int32_t>(v)); }
} // namespace

short AddUnsignedInt(short a, short b) { return S16(static_cast<uint32_t>(U16(a)) + U16(b)); }
long AddUnsignedLong(long a, long b) { return S32(U32(a) + U32(b)); }
short HiWord(long value) { return S16(U32(value) >> 16); }
short LoWord(long value) { return S16(U32(value)); }
long MakeLong(short lowWord, short highWord)
{
    return S32((static_cast<uint32_t>(U16(highWord)) << 16) | U16(lowWord));
}
short SignedOf(long value) { return LoWord(value); }
long UnsignedOf(short value) { return static_cast<long>(U16(value)); }
unsigned char HiByte(short value) { return static_cast<unsigned char>(U16(value) >> 8); }
unsigned char LoByte(short value) { return static_cast<unsigned char>(U16(value) & 0xFFu); }
short MakeWord(unsigned char lowByte, unsigned char highByte)
{
    return S16((static_cast<uint32_t>(highByte) << 8) | lowByte);
}

// ---------------------------------------------------------------------------
// Shifts: only the low five bits of the count count; every result keeps the
// member's width. A roll combines the shift with the member's own logical
// shift the other way by (width - n) mod 32.
// ---------------------------------------------------------------------------

namespace {
inline unsigned Count(long bits) { return static_cast<unsigned>(bits) & 31u; }

uint32_t IntLeftRaw(uint32_t v, unsigned n) { return (v << n) & 0xFFFFu; }
uint32_t IntRightLogicalRaw(uint32_t v, unsigned n) { return (v & 0xFFFFu) >> n; }
uint32_t LongLeftRaw(uint32_t v, unsigned n) { return v << n; }
uint32_t LongRightLogicalRaw(uint32_t v, unsigned n) { return v >> n; }
} // namespace

short ShiftIntLeft(short value, long bits, long type)
{
    const unsigned n = Count(bits);
    const uint32_t v = U16(value);
    uint32_t r = IntLeftRaw(v, n);
    if (type == ShiftRoll) r |= IntRightLogicalRaw(v, (16u - n) & 31u);
    return S16(r);
}

short ShiftIntRight(short value, long bits, long type)
{
    const unsigned n = Count(bits);
    const uint32_t v = U16(value);
    if (type == ShiftArith) return S16(static_cast<uint32_t>(static_cast<int32_t>(value) >> n));
    uint32_t r = IntRightLogicalRaw(v, n);
    if (type == ShiftRoll) r |= IntLeftRaw(v, (16u - n) & 31u);
    return S16(r);
}

long ShiftLongLeft(long value, long bits, long type)
{
    const unsigned n = Count(bits);
    const uint32_t v = U32(value);
    uint32_t r = LongLeftRaw(v, n);
    if (type == ShiftRoll) r |= LongRightLogicalRaw(v, (32u - n) & 31u);
    return S32(r);
}

long ShiftLongRight(long value, long bits, long type)
{
    const unsigned n = Count(bits);
    const uint32_t v = U32(value);
    if (type == ShiftArith) return S32(static_cast<uint32_t>(static_cast<int32_t>(v) >> n));
    uint32_t r = LongRightLogicalRaw(v, n);
    if (type == ShiftRoll) r |= LongLeftRaw(v, (32u - n) & 31u);
    return S32(r);
}

// ---------------------------------------------------------------------------
// Bit containers
// ---------------------------------------------------------------------------

namespace {
size_t BaseTypeSize(VARTYPE base)
{
    switch (base) {
    case VT_I2: return 2;
    case VT_I4: return 4;
    case VT_UI1: return 1;
    default: return 0;
    }
}
} // namespace

BitContainer::~BitContainer()
{
    if (locked_) SafeArrayUnaccessData(locked_);
}

bool BitContainer::Resolve(VARIANT *data)
{
    VARIANT *v = data;
    int depth = 0;
    while (v && V_VT(v) == (VT_BYREF | VT_VARIANT)) {
        // A chain that loops back on itself is refused, not followed forever.
        if (++depth > kMaxVariantReferenceDepth) return false;
        v = V_VARIANTREF(v);
    }
    if (!v) return false;

    const VARTYPE vt = V_VT(v);
    if (vt & ~(VT_BYREF | VT_ARRAY | VT_TYPEMASK)) return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    if (base == VT_VARIANT) return false;
    const size_t size = BaseTypeSize(base);
    if (size == 0) return false;

    if (vt & VT_ARRAY) {
        SAFEARRAY *array = nullptr;
        if (vt & VT_BYREF) {
            if (!V_ARRAYREF(v)) return false;
            array = *V_ARRAYREF(v);
        } else {
            array = V_ARRAY(v);
        }
        if (!array || SafeArrayGetDim(array) != 1) return false;
        void *p = nullptr;
        if (FAILED(SafeArrayAccessData(array, &p))) return false;
        locked_ = array;
        bytes_ = static_cast<unsigned char *>(p);
        length_ = p ? static_cast<size_t>(array->cbElements) * array->rgsabound[0].cElements : 0;
        return true;
    }
    if (vt & VT_BYREF) {
        if (!V_BYREF(v)) return false;
        bytes_ = static_cast<unsigned char *>(V_BYREF(v));
    } else {
        bytes_ = reinterpret_cast<unsigned char *>(&V_I4(v));
    }
    length_ = size;
    return true;
}

bool BitRangeValid(long lower, long upper) { return lower >= 0 && upper >= lower; }

bool ApplyBitRange(const BitContainer &c, long lower, long upper, bool set)
{
    const size_t first = static_cast<size_t>(lower) / 8;
    const size_t last = static_cast<size_t>(upper) / 8;
    if (!c.Bytes() || last >= c.Length()) return false;
    unsigned char *b = c.Bytes();
    auto change = [&](size_t byte, unsigned fromBit, unsigned toBit) {
        unsigned char mask = 0;
        for (unsigned bit = fromBit; bit <= toBit; ++bit) mask = static_cast<unsigned char>(mask | (1u << bit));
        b[byte] = set ? static_cast<unsigned char>(b[byte] | mask) : static_cast<unsigned char>(b[byte] & ~mask);
    };
    if (first == last) {
        change(first, static_cast<unsigned>(lower % 8), static_cast<unsigned>(upper % 8));
        return true;
    }
    change(first, static_cast<unsigned>(lower % 8), 7);
    if (last > first + 1) std::memset(b + first + 1, set ? 0xFF : 0x00, last - first - 1);
    change(last, 0, static_cast<unsigned>(upper % 8));
    return true;
}

bool ReadBitRange(const BitContainer &c, long lower, long upper, long *result)
{
    if (!BitRangeValid(lower, upper) || upper - lower > 31) return false;
    if (!c.Bytes() || static_cast<size_t>(upper) / 8 >= c.Length()) return false;
    uint32_t value = 0;
    for (long k = 0; k <= upper - lower; ++k) {
        const size_t bit = static_cast<size_t>(lower + k);
        if ((c.Bytes()[bit / 8] >> (bit % 8)) & 1u) value |= 1u << k;
    }
    *result = S32(value);
    return true;
}

// ---------------------------------------------------------------------------
// Members
// ---------------------------------------------------------------------------

#define ZB_REQUIRE_OUT(p)                  \
    do {                                   \
        if (!(p)) return E_POINTER;        \
    } while (0)

namespace {
// The members that always succeed: clear the error information, then hand
// the value out through the result parameter.
template <typename Out, typename Value>
HRESULT Deliver(Out *result, Value value)
{
    ErrorReporter::ClearError();
    if (!result) return E_POINTER;
    *result = value;
    return S_OK;
}
} // namespace

STDMETHODIMP ZBUtility::AddUnsignedInt(SHORT Int1, SHORT Int2, SHORT *UnsignedInt)
{
    return Deliver(UnsignedInt, zb::AddUnsignedInt(Int1, Int2));
}

STDMETHODIMP ZBUtility::AddUnsignedLong(LONG Long1, LONG Long2, LONG *UnsignedLong)
{
    return Deliver(UnsignedLong, zb::AddUnsignedLong(Long1, Long2));
}

STDMETHODIMP ZBUtility::HiWord(LONG Value, SHORT *HighWord)
{
    return Deliver(HighWord, zb::HiWord(Value));
}

STDMETHODIMP ZBUtility::LoWord(LONG Value, SHORT *LowWord)
{
    return Deliver(LowWord, zb::LoWord(Value));
}

STDMETHODIMP ZBUtility::MakeLong(SHORT LowWord, SHORT HighWord, LONG *LongValue)
{
    return Deliver(LongValue, zb::MakeLong(LowWord, HighWord));
}

HRESULT ZBUtility::Shift(bool isInt, bool left, long value, long bits, long type, long *result)
{
    ErrorReporter::ClearError();
    if (!IsValidShiftType(type)) return Raise(zbErrInvalidParam);
    if (isInt)
        *result = left ? zb::ShiftIntLeft(static_cast<short>(value), bits, type)
                       : zb::ShiftIntRight(static_cast<short>(value), bits, type);
    else
        *result = left ? zb::ShiftLongLeft(value, bits, type) : zb::ShiftLongRight(value, bits, type);
    return S_OK;
}

STDMETHODIMP ZBUtility::ShiftIntLeft(SHORT Value1, LONG NumberOfBits, LONG ShiftType, SHORT *Position)
{
    if (!Position) return E_POINTER;
    long r = 0;
    HRESULT hr = Shift(true, true, Value1, NumberOfBits, ShiftType, &r);
    if (SUCCEEDED(hr)) *Position = static_cast<SHORT>(r);
    return hr;
}

STDMETHODIMP ZBUtility::ShiftIntRight(SHORT Value1, LONG NumberOfBits, LONG ShiftType, SHORT *Position)
{
    if (!Position) return E_POINTER;
    long r = 0;
    HRESULT hr = Shift(true, false, Value1, NumberOfBits, ShiftType, &r);
    if (SUCCEEDED(hr)) *Position = static_cast<SHORT>(r);
    return hr;
}

STDMETHODIMP ZBUtility::ShiftLongLeft(LONG Value1, LONG NumberOfBits, LONG ShiftType, LONG *Position)
{
    if (!Position) return E_POINTER;
    long r = 0;
    HRESULT hr = Shift(false, true, Value1, NumberOfBits, ShiftType, &r);
    if (SUCCEEDED(hr)) *Position = r;
    return hr;
}

STDMETHODIMP ZBUtility::ShiftLongRight(LONG Value1, LONG NumberOfBits, LONG ShiftType, LONG *Position)
{
    if (!Position) return E_POINTER;
    long r = 0;
    HRESULT hr = Shift(false, false, Value1, NumberOfBits, ShiftType, &r);
    if (SUCCEEDED(hr)) *Position = r;
    return hr;
}

STDMETHODIMP ZBUtility::Signed(LONG Value, SHORT *Signed)
{
    return Deliver(Signed, zb::SignedOf(Value));
}

STDMETHODIMP ZBUtility::ConstrainInt(SHORT Value, SHORT LowBound, SHORT HighBound, SHORT *Limited)
{
    ErrorReporter::ClearError();
    ZB_REQUIRE_OUT(Limited);
    if (HighBound < LowBound) return Raise(zbErrInvalidParam);
    *Limited = Value < LowBound ? LowBound : (Value > HighBound ? HighBound : Value);
    return S_OK;
}

STDMETHODIMP ZBUtility::ConstrainLong(LONG Value, LONG LowBound, LONG HighBound, LONG *Limited)
{
    ErrorReporter::ClearError();
    ZB_REQUIRE_OUT(Limited);
    if (HighBound < LowBound) return Raise(zbErrInvalidParam);
    *Limited = Value < LowBound ? LowBound : (Value > HighBound ? HighBound : Value);
    return S_OK;
}

STDMETHODIMP ZBUtility::Unsigned(SHORT Value1, LONG *Value)
{
    return Deliver(Value, zb::UnsignedOf(Value1));
}

STDMETHODIMP ZBUtility::HiByte(SHORT Value, BYTE *HighByte)
{
    return Deliver(HighByte, zb::HiByte(Value));
}

STDMETHODIMP ZBUtility::LoByte(SHORT Value, BYTE *LowByte)
{
    return Deliver(LowByte, zb::LoByte(Value));
}

STDMETHODIMP ZBUtility::MakeWord(BYTE LowByte, BYTE HighByte, SHORT *Word)
{
    return Deliver(Word, zb::MakeWord(LowByte, HighByte));
}

HRESULT ZBUtility::ChangeBits(VARIANT *data, long lower, long upper, bool set)
{
    ErrorReporter::ClearError();
    if (!BitRangeValid(lower, upper)) return Raise(zbErrInvalidParam);
    if (!data) return Raise(zbErrInvalidParam);
    BitContainer container;
    if (!container.Resolve(data)) return Raise(zbErrInvalidParam);
    if (!ApplyBitRange(container, lower, upper, set)) return Raise(zbErrInvalidParam);
    return S_OK;
}

STDMETHODIMP ZBUtility::ClearBits(VARIANT *Data, LONG LowerBound, LONG UpperBound)
{
    return ChangeBits(Data, LowerBound, UpperBound, false);
}

STDMETHODIMP ZBUtility::SetBits(VARIANT *Data, LONG LowerBound, LONG UpperBound)
{
    return ChangeBits(Data, LowerBound, UpperBound, true);
}

STDMETHODIMP ZBUtility::GetBits(VARIANT Data, LONG LowerBound, LONG UpperBound, LONG *BitValue)
{
    ErrorReporter::ClearError();
    ZB_REQUIRE_OUT(BitValue);
    if (!BitRangeValid(LowerBound, UpperBound) || UpperBound - LowerBound > 31) return Raise(zbErrInvalidParam);
    BitContainer container;
    if (!container.Resolve(&Data)) return Raise(zbErrInvalidParam);
    long value = 0;
    if (!ReadBitRange(container, LowerBound, UpperBound, &value)) return Raise(zbErrInvalidParam);
    *BitValue = value;
    return S_OK;
}

} // namespace zb
