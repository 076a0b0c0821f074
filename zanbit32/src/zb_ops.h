// The arithmetic behind the members of IZBUtility, as plain functions.
#pragma once

#include "zb_common.h"

#include <cstddef>
#include <cstdint>

namespace zb {

short AddUnsignedInt(short a, short b);
long AddUnsignedLong(long a, long b);
short HiWord(long value);
short LoWord(long value);
long MakeLong(short lowWord, short highWord);
short SignedOf(long value);
long UnsignedOf(short value);
unsigned char HiByte(short value);
unsigned char LoByte(short value);
short MakeWord(unsigned char lowByte, unsigned char highByte);

enum ShiftType : long { ShiftLogical = 0, ShiftArith = 1, ShiftRoll = 2 };
inline bool IsValidShiftType(long type) { return type >= 0 && type <= 2; }

// Shifts of a valid shift type; only the low five bits of the count count.
short ShiftIntLeft(short value, long bits, long type);
short ShiftIntRight(short value, long bits, long type);
long ShiftLongLeft(long value, long bits, long type);
long ShiftLongRight(long value, long bits, long type);

// A bit container resolved from a variant: the caller's bytes. For an
// array, the data stays locked until the container is destroyed.
class BitContainer {
public:
    BitContainer() = default;
    ~BitContainer();
    BitContainer(const BitContainer &) = delete;
    BitContainer &operator=(const BitContainer &) = delete;

    // False when the variant is not a usable container.
    bool Resolve(VARIANT *data);
    unsigned char *Bytes() const { return bytes_; }
    size_t Length() const { return length_; }

private:
    unsigned char *bytes_ = nullptr;
    size_t length_ = 0;
    SAFEARRAY *locked_ = nullptr;
};

// Deepest chain of variants referring to variants that is followed.
inline constexpr int kMaxVariantReferenceDepth = 64;

bool BitRangeValid(long lower, long upper);
// Sets or clears bits lower..upper of the container; false (nothing
// changed) when upper lies beyond the container.
bool ApplyBitRange(const BitContainer &c, long lower, long upper, bool set);
// Reads bits lower..upper (at most 32) into *result.
bool ReadBitRange(const BitContainer &c, long lower, long upper, long *result);

// Max and Min of two numeric variants of the same type; false when the
// types differ or are not I2, I4, R4, R8, CY, DATE or UI1.
bool ChooseVariant(const VARIANT &v1, const VARIANT &v2, bool chooseMax, VARIANT *result);

} // namespace zb
