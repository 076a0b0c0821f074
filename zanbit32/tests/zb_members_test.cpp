// IZBUtility members through a registered ZBUtility object, each case run
// three ways: early binding, IDispatch::Invoke by DISPID, and Invoke after
// GetIDsOfNames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <cstring>
#include <limits>

#include "zb_test_support.h"

using namespace zbtest;

namespace {

constexpr HRESULT kErrUnsupported = static_cast<HRESULT>(0x800A1B58);
constexpr HRESULT kErrInvalidParam = static_cast<HRESULT>(0x800A1B59);
constexpr HRESULT kErrNoRead = static_cast<HRESULT>(0x800A1B5A);
constexpr HRESULT kErrNoWrite = static_cast<HRESULT>(0x800A1B5B);
constexpr HRESULT kErrOutOfMemory = static_cast<HRESULT>(0x800A1B5C);

const wchar_t* DescriptionOf(HRESULT hr) {
    switch (hr) {
    case kErrUnsupported: return L"Function not supported under Windows NT.";
    case kErrInvalidParam: return L"Parameter invalid or out of range.";
    case kErrNoRead: return L"No read access to memory address.";
    case kErrNoWrite: return L"No write access to memory address.";
    case kErrOutOfMemory: return L"Out of memory.";
    }
    return L"";
}

std::string Show(const VARIANT& v) {
    char buf[128];
    switch (V_VT(&v)) {
    case VT_EMPTY: return "Empty";
    case VT_I2: snprintf(buf, sizeof buf, "I2 %d", V_I2(&v)); break;
    case VT_I4: snprintf(buf, sizeof buf, "I4 %ld", static_cast<long>(V_I4(&v))); break;
    case VT_UI1: snprintf(buf, sizeof buf, "UI1 %u", V_UI1(&v)); break;
    case VT_R4: snprintf(buf, sizeof buf, "R4 %g", V_R4(&v)); break;
    case VT_R8: snprintf(buf, sizeof buf, "R8 %g", V_R8(&v)); break;
    case VT_DATE: snprintf(buf, sizeof buf, "DATE %g", V_DATE(&v)); break;
    case VT_CY: snprintf(buf, sizeof buf, "CY %lld/10000", static_cast<long long>(V_CY(&v).int64)); break;
    case VT_BSTR: return "BSTR \"" + Narrow(V_BSTR(&v) ? V_BSTR(&v) : L"") + "\"";
    default: snprintf(buf, sizeof buf, "vt 0x%x", V_VT(&v)); break;
    }
    return buf;
}

bool Same(const VARIANT& a, const VARIANT& b) {
    if (V_VT(&a) != V_VT(&b)) return false;
    switch (V_VT(&a)) {
    case VT_I2: return V_I2(&a) == V_I2(&b);
    case VT_I4: return V_I4(&a) == V_I4(&b);
    case VT_UI1: return V_UI1(&a) == V_UI1(&b);
    case VT_R4: return std::memcmp(&V_R4(&a), &V_R4(&b), sizeof(float)) == 0;
    case VT_R8: return std::memcmp(&V_R8(&a), &V_R8(&b), sizeof(double)) == 0;
    case VT_DATE: return V_DATE(&a) == V_DATE(&b);
    case VT_CY: return V_CY(&a).int64 == V_CY(&b).int64;
    case VT_BSTR: return std::wstring(V_BSTR(&a)) == std::wstring(V_BSTR(&b));
    default: return false;
    }
}

::testing::AssertionResult Returns(const Outcome& o, const Var& expected) {
    if (o.hr != S_OK || o.invokeHr != S_OK) {
        return ::testing::AssertionFailure() << "member failed: hr 0x" << std::hex << o.hr
                                             << " invoke 0x" << o.invokeHr << " ("
                                             << Narrow(o.error.description) << ")";
    }
    if (!Same(o.value.v, expected.v)) {
        return ::testing::AssertionFailure() << "got " << Show(o.value.v) << ", expected " << Show(expected.v);
    }
    if (o.error.present) return ::testing::AssertionFailure() << "success left error information behind";
    return ::testing::AssertionSuccess();
}

// The member failed with `code`, left its result unwritten and left the
// component's error information.
::testing::AssertionResult FailsWith(const Outcome& o, HRESULT code, Mode mode) {
    auto fail = [&] { return ::testing::AssertionFailure(); };
    if (o.hr != code) return fail() << "hr 0x" << std::hex << o.hr << ", expected 0x" << code;
    if (mode != Mode::Early && o.invokeHr != DISP_E_EXCEPTION)
        return fail() << "Invoke gave 0x" << std::hex << o.invokeHr << ", expected DISP_E_EXCEPTION";
    if (o.resultWritten) return fail() << "result written on failure: " << Show(o.value.v);
    if (!o.error.present) return fail() << "no error information";
    if (o.error.source != L"Zanbit32.ZBUtility") return fail() << "source \"" << Narrow(o.error.source) << "\"";
    if (o.error.description != DescriptionOf(code))
        return fail() << "description \"" << Narrow(o.error.description) << "\"";
    if (o.error.helpContext != 1) return fail() << "help context " << o.error.helpContext;
    const std::wstring tail = L"\\zbsystem.hlp";
    if (o.error.helpFile.size() < tail.size() ||
        Lower(o.error.helpFile.substr(o.error.helpFile.size() - tail.size())) != tail)
        return fail() << "help file \"" << Narrow(o.error.helpFile) << "\"";
    if (o.error.haveGuid && o.error.guid != IID_IZBUtility)
        return fail() << "error GUID " << Narrow(GuidText(o.error.guid));
    if (mode == Mode::Early && !o.error.haveGuid) return fail() << "error information without GUID";
    return ::testing::AssertionSuccess();
}

class Members : public ::testing::TestWithParam<Mode> {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CreateUtility(zb_.Put())) << "ZBUtility not creatable: is the server registered?";
    }
    Outcome C(DISPID id, std::vector<Var> args = {}) { return Call(zb_.Get(), GetParam(), id, args); }
    Mode M() const { return GetParam(); }

    ComPtr<IZBUtility> zb_;
};

struct Case {
    DISPID id;
    std::vector<Var> args;
    Var expect;
    const char* note;
};

void RunCases(Members* t, const std::vector<Case>& cases, IZBUtility* zb, Mode mode) {
    (void)t;
    for (const auto& c : cases) {
        const Outcome o = Call(zb, mode, c.id, c.args);
        EXPECT_TRUE(Returns(o, c.expect)) << Narrow(kMemberNames[c.id]) << ": " << c.note;
    }
}

// --- integer members --------------------------------------------------------

TEST_P(Members, WordAndByteArithmetic) {
    using V = Var;
    const std::vector<Case> cases = {
        {AddUnsignedInt, {V::I2(32767), V::I2(1)}, V::I2(-32768), "32767 + 1"},
        {AddUnsignedInt, {V::I2(-1), V::I2(1)}, V::I2(0), "-1 + 1"},
        {AddUnsignedInt, {V::I2(-1), V::I2(-1)}, V::I2(-2), "-1 + -1"},
        {AddUnsignedLong, {V::I4(2147483647), V::I4(1)}, V::I4(std::numeric_limits<LONG>::min()), "max + 1"},
        {AddUnsignedLong, {V::I4(-1), V::I4(1)}, V::I4(0), "-1 + 1"},
        {AddUnsignedLong, {V::I4(-2147483647 - 1), V::I4(-1)}, V::I4(2147483647), "min + -1 wraps"},
        {HiWord, {V::I4(196608)}, V::I2(3), "3 * 65536"},
        {HiWord, {V::I4(-1)}, V::I2(-1), "-1"},
        {HiWord, {V::I4(-65536)}, V::I2(-1), "-65536"},
        {LoWord, {V::I4(65535)}, V::I2(-1), "65535"},
        {LoWord, {V::I4(0x12345678)}, V::I2(0x5678), "0x12345678"},
        {MakeLong, {V::I2(-1), V::I2(0)}, V::I4(65535), "(-1, 0)"},
        {MakeLong, {V::I2(0), V::I2(-1)}, V::I4(-65536), "(0, -1)"},
        {MakeLong, {V::I2(0x5678), V::I2(0x1234)}, V::I4(0x12345678), "(0x5678, 0x1234)"},
        {Signed, {V::I4(65535)}, V::I2(-1), "65535"},
        {Signed, {V::I4(40000)}, V::I2(-25536), "40000"},
        {Signed, {V::I4(0x7FFF0005)}, V::I2(5), "higher bits ignored"},
        {Signed, {V::I4(-1)}, V::I2(-1), "-1"},
        {Unsigned, {V::I2(-1)}, V::I4(65535), "-1"},
        {Unsigned, {V::I2(-32768)}, V::I4(32768), "-32768"},
        {Unsigned, {V::I2(5)}, V::I4(5), "5"},
        {HiByte, {V::I2(4660)}, V::UI1(18), "0x1234"},
        {HiByte, {V::I2(-1)}, V::UI1(255), "-1"},
        {LoByte, {V::I2(-1)}, V::UI1(255), "-1"},
        {LoByte, {V::I2(4660)}, V::UI1(0x34), "0x1234"},
        {MakeWord, {V::UI1(0), V::UI1(255)}, V::I2(-256), "(0, 255)"},
        {MakeWord, {V::UI1(255), V::UI1(0)}, V::I2(255), "(255, 0)"},
        {MakeWord, {V::UI1(0x34), V::UI1(0x12)}, V::I2(0x1234), "(0x34, 0x12)"},
    };
    RunCases(this, cases, zb_.Get(), M());
}

TEST_P(Members, SplitAndJoinRoundTrips) {
    for (LONG x : {0L, 1L, -1L, 0x12345678L, -0x12345678L, 0x7FFFFFFFL, -0x7FFFFFFFL - 1, 0x00008000L}) {
        const Outcome lo = C(LoWord, {Var::I4(x)});
        const Outcome hi = C(HiWord, {Var::I4(x)});
        ASSERT_EQ(S_OK, lo.hr);
        ASSERT_EQ(S_OK, hi.hr);
        EXPECT_TRUE(Returns(C(MakeLong, {lo.value, hi.value}), Var::I4(x))) << "x = " << x;
    }
    for (short x : {short(0), short(1), short(-1), short(0x1234), short(-32768), short(32767), short(0x80)}) {
        const Outcome lo = C(LoByte, {Var::I2(x)});
        const Outcome hi = C(HiByte, {Var::I2(x)});
        ASSERT_EQ(S_OK, lo.hr);
        ASSERT_EQ(S_OK, hi.hr);
        EXPECT_TRUE(Returns(C(MakeWord, {lo.value, hi.value}), Var::I2(x))) << "x = " << x;
        const Outcome u = C(Unsigned, {Var::I2(x)});
        ASSERT_EQ(S_OK, u.hr);
        EXPECT_TRUE(Returns(C(Signed, {u.value}), Var::I2(x))) << "x = " << x;
    }
}

TEST_P(Members, Constrain) {
    using V = Var;
    const std::vector<Case> cases = {
        {ConstrainInt, {V::I2(5), V::I2(5), V::I2(5)}, V::I2(5), "5 in [5,5]"},
        {ConstrainInt, {V::I2(-3), V::I2(0), V::I2(10)}, V::I2(0), "below"},
        {ConstrainInt, {V::I2(11), V::I2(0), V::I2(10)}, V::I2(10), "above"},
        {ConstrainInt, {V::I2(-32768), V::I2(-5), V::I2(-1)}, V::I2(-5), "signed compare"},
        {ConstrainInt, {V::I2(7), V::I2(0), V::I2(10)}, V::I2(7), "inside"},
        {ConstrainLong, {V::I4(-100), V::I4(-50), V::I4(50)}, V::I4(-50), "-100 in [-50,50]"},
        {ConstrainLong, {V::I4(100), V::I4(-50), V::I4(50)}, V::I4(50), "above"},
        {ConstrainLong, {V::I4(-1), V::I4(0), V::I4(0x7FFFFFFF)}, V::I4(0), "signed compare"},
    };
    RunCases(this, cases, zb_.Get(), M());
    EXPECT_TRUE(FailsWith(C(ConstrainInt, {V::I2(5), V::I2(10), V::I2(1)}), kErrInvalidParam, M()));
    EXPECT_TRUE(FailsWith(C(ConstrainLong, {V::I4(5), V::I4(10), V::I4(1)}), kErrInvalidParam, M()));
}

// --- shifts -----------------------------------------------------------------

constexpr LONG kLogical = 0, kArith = 1, kRoll = 2;

TEST_P(Members, ShiftExamples) {
    using V = Var;
    const std::vector<Case> cases = {
        {ShiftIntLeft, {V::I2(1), V::I4(16), V::I4(kLogical)}, V::I2(0), "1 << 16"},
        {ShiftIntLeft, {V::I2(1), V::I4(33), V::I4(kLogical)}, V::I2(2), "count 33 acts as 1"},
        {ShiftIntLeft, {V::I2(1), V::I4(-1), V::I4(kLogical)}, V::I2(0), "count -1 acts as 31"},
        {ShiftIntLeft, {V::I2(16384), V::I4(1), V::I4(kArith)}, V::I2(-32768), "left arith = logical"},
        {ShiftIntRight, {V::I2(-32768), V::I4(15), V::I4(kArith)}, V::I2(-1), "arith"},
        {ShiftIntRight, {V::I2(-32768), V::I4(15), V::I4(kLogical)}, V::I2(1), "logical"},
        {ShiftIntRight, {V::I2(-2), V::I4(1), V::I4(kLogical)}, V::I2(32767), "logical fills zero"},
        {ShiftIntRight, {V::I2(-5), V::I4(20), V::I4(kArith)}, V::I2(-1), "arith past width"},
        {ShiftIntRight, {V::I2(5), V::I4(20), V::I4(kArith)}, V::I2(0), "arith past width, positive"},
        {ShiftIntLeft, {V::I2(16385), V::I4(1), V::I4(kRoll)}, V::I2(-32766), "roll 0x4001"},
        {ShiftIntRight, {V::I2(1), V::I4(1), V::I4(kRoll)}, V::I2(-32768), "roll 1 right"},
        {ShiftIntRight, {V::I2(4660), V::I4(0), V::I4(kRoll)}, V::I2(4660), "roll by 0"},
        {ShiftIntRight, {V::I2(4660), V::I4(16), V::I4(kRoll)}, V::I2(4660), "roll by 16"},
        {ShiftIntLeft, {V::I2(4660), V::I4(17), V::I4(kRoll)}, V::I2(0), "roll by 17"},
        {ShiftIntLeft, {V::I2(0x1234), V::I4(8), V::I4(kRoll)}, V::I2(0x3412), "roll by 8"},
        {ShiftIntRight, {V::I2(0x1234), V::I4(4), V::I4(kRoll)}, V::I2(0x4123), "roll right by 4"},
        {ShiftLongRight, {V::I4(1), V::I4(1), V::I4(kRoll)}, V::I4(std::numeric_limits<LONG>::min()), "roll"},
        {ShiftLongLeft, {V::I4(0x12345678), V::I4(32), V::I4(kRoll)}, V::I4(0x12345678), "roll by 32"},
        {ShiftLongLeft, {V::I4(-5), V::I4(32), V::I4(kRoll)}, V::I4(-5), "roll by 32"},
        {ShiftLongLeft, {V::I4(static_cast<LONG>(0x80000001u)), V::I4(1), V::I4(kRoll)}, V::I4(3), "roll carries"},
        {ShiftLongRight, {V::I4(3), V::I4(1), V::I4(kRoll)}, V::I4(static_cast<LONG>(0x80000001u)), "roll carries"},
        {ShiftLongLeft, {V::I4(0x12345678), V::I4(4), V::I4(kRoll)}, V::I4(0x23456781), "roll by 4"},
        {ShiftLongLeft, {V::I4(1), V::I4(31), V::I4(kLogical)}, V::I4(std::numeric_limits<LONG>::min()), "1 << 31"},
        {ShiftLongLeft, {V::I4(1), V::I4(33), V::I4(kArith)}, V::I4(2), "count 33"},
        {ShiftLongLeft, {V::I4(77), V::I4(0), V::I4(kLogical)}, V::I4(77), "count 0"},
        {ShiftLongRight, {V::I4(-8), V::I4(1), V::I4(kArith)}, V::I4(-4), "arith"},
        {ShiftLongRight, {V::I4(-8), V::I4(1), V::I4(kLogical)}, V::I4(0x7FFFFFFC), "logical"},
        {ShiftLongRight, {V::I4(-8), V::I4(0), V::I4(kArith)}, V::I4(-8), "count 0"},
    };
    RunCases(this, cases, zb_.Get(), M());
}

TEST_P(Members, ShiftCountEdges) {
    const short v = 0x1234;
    const uint16_t uv = 0x1234;
    for (LONG n = 0; n < 32; ++n) {
        const uint16_t rotl = static_cast<uint16_t>((uv << (n % 16)) | (uv >> ((16 - n % 16) % 16)));
        const uint16_t rotr = static_cast<uint16_t>((uv >> (n % 16)) | (uv << ((16 - n % 16) % 16)));
        const short expL = n <= 16 ? static_cast<short>(rotl) : 0;
        const short expR = n <= 16 ? static_cast<short>(rotr) : 0;
        EXPECT_TRUE(Returns(C(ShiftIntLeft, {Var::I2(v), Var::I4(n), Var::I4(kRoll)}), Var::I2(expL))) << "n=" << n;
        EXPECT_TRUE(Returns(C(ShiftIntRight, {Var::I2(v), Var::I4(n), Var::I4(kRoll)}), Var::I2(expR))) << "n=" << n;
        if (n >= 16) {
            EXPECT_TRUE(Returns(C(ShiftIntLeft, {Var::I2(v), Var::I4(n), Var::I4(kLogical)}), Var::I2(0))) << "n=" << n;
            EXPECT_TRUE(Returns(C(ShiftIntRight, {Var::I2(-1), Var::I4(n), Var::I4(kLogical)}), Var::I2(0))) << "n=" << n;
        }
        if (n >= 15) {
            EXPECT_TRUE(Returns(C(ShiftIntRight, {Var::I2(-300), Var::I4(n), Var::I4(kArith)}), Var::I2(-1))) << "n=" << n;
            EXPECT_TRUE(Returns(C(ShiftIntRight, {Var::I2(300), Var::I4(n), Var::I4(kArith)}), Var::I2(0))) << "n=" << n;
        }
        const uint32_t ul = 0x12345678u;
        const uint32_t l32 = n ? (ul << n) | (ul >> (32 - n)) : ul;
        const uint32_t r32 = n ? (ul >> n) | (ul << (32 - n)) : ul;
        EXPECT_TRUE(Returns(C(ShiftLongLeft, {Var::I4(0x12345678), Var::I4(n + 32), Var::I4(kRoll)}),
                            Var::I4(static_cast<LONG>(l32)))) << "n=" << n;
        EXPECT_TRUE(Returns(C(ShiftLongRight, {Var::I4(0x12345678), Var::I4(n - 64), Var::I4(kRoll)}),
                            Var::I4(static_cast<LONG>(r32)))) << "n=" << n;
    }
}

TEST_P(Members, ShiftTypeOutOfRangeFails) {
    for (LONG type : {3L, -1L, 100L}) {
        EXPECT_TRUE(FailsWith(C(ShiftIntLeft, {Var::I2(1), Var::I4(1), Var::I4(type)}), kErrInvalidParam, M())) << type;
        EXPECT_TRUE(FailsWith(C(ShiftIntRight, {Var::I2(1), Var::I4(1), Var::I4(type)}), kErrInvalidParam, M())) << type;
        EXPECT_TRUE(FailsWith(C(ShiftLongLeft, {Var::I4(1), Var::I4(1), Var::I4(type)}), kErrInvalidParam, M())) << type;
        EXPECT_TRUE(FailsWith(C(ShiftLongRight, {Var::I4(1), Var::I4(1), Var::I4(type)}), kErrInvalidParam, M())) << type;
    }
}

// --- bit containers ---------------------------------------------------------

TEST_P(Members, SetBitsOnScalars) {
    Var d = Var::I2(0);
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&d.v), Var::I4(0), Var::I4(15)}).hr);
    EXPECT_EQ(VT_I2, d.Vt());
    EXPECT_EQ(-1, V_I2(&d.v));

    Var e = Var::I2(0);
    EXPECT_TRUE(FailsWith(C(SetBits, {Var::RefTo(&e.v), Var::I4(0), Var::I4(16)}), kErrInvalidParam, M()));
    EXPECT_EQ(VT_I2, e.Vt());
    EXPECT_EQ(0, V_I2(&e.v)) << "failed SetBits changed the data";

    Var l = Var::I4(0);
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&l.v), Var::I4(31), Var::I4(31)}).hr);
    EXPECT_EQ(VT_I4, l.Vt());
    EXPECT_EQ(std::numeric_limits<LONG>::min(), V_I4(&l.v));
    EXPECT_TRUE(FailsWith(C(SetBits, {Var::RefTo(&l.v), Var::I4(0), Var::I4(32)}), kErrInvalidParam, M()));

    Var b = Var::UI1(0x81);
    EXPECT_EQ(S_OK, C(ClearBits, {Var::RefTo(&b.v), Var::I4(7), Var::I4(7)}).hr);
    EXPECT_EQ(VT_UI1, b.Vt());
    EXPECT_EQ(0x01, V_UI1(&b.v));
    EXPECT_TRUE(FailsWith(C(ClearBits, {Var::RefTo(&b.v), Var::I4(0), Var::I4(8)}), kErrInvalidParam, M()));
    EXPECT_EQ(0x01, V_UI1(&b.v));

    Var c = Var::I4(-1);
    EXPECT_EQ(S_OK, C(ClearBits, {Var::RefTo(&c.v), Var::I4(4), Var::I4(27)}).hr);
    EXPECT_EQ(static_cast<LONG>(0xF000000Fu), V_I4(&c.v));
}

TEST_P(Members, BitBoundsRefused) {
    Var d = Var::I4(0x0F0F);
    for (auto [lo, hi] : {std::pair<LONG, LONG>{-1, 3}, {5, 4}, {-8, -1}}) {
        EXPECT_TRUE(FailsWith(C(SetBits, {Var::RefTo(&d.v), Var::I4(lo), Var::I4(hi)}), kErrInvalidParam, M())) << lo << ".." << hi;
        EXPECT_TRUE(FailsWith(C(ClearBits, {Var::RefTo(&d.v), Var::I4(lo), Var::I4(hi)}), kErrInvalidParam, M())) << lo << ".." << hi;
        EXPECT_TRUE(FailsWith(C(GetBits, {d, Var::I4(lo), Var::I4(hi)}), kErrInvalidParam, M())) << lo << ".." << hi;
    }
    EXPECT_EQ(0x0F0F, V_I4(&d.v));
}

TEST_P(Members, ByteArrayRangeSetAndClear) {
    Var arr;
    V_VT(&arr.v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&arr.v) = MakeArray(VT_UI1, 4);
    ASSERT_NE(nullptr, V_ARRAY(&arr.v));
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&arr.v), Var::I4(3), Var::I4(28)}).hr);
    EXPECT_EQ((std::vector<BYTE>{0xF8, 0xFF, 0xFF, 0x1F}), ArrayBytes(V_ARRAY(&arr.v)));
    EXPECT_EQ(0u, V_ARRAY(&arr.v)->cLocks) << "array left locked";
    EXPECT_EQ(S_OK, C(ClearBits, {Var::RefTo(&arr.v), Var::I4(3), Var::I4(28)}).hr);
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0}), ArrayBytes(V_ARRAY(&arr.v)));

    // Bits outside the range stay as they were.
    Var pat;
    V_VT(&pat.v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&pat.v) = MakeArray(VT_UI1, 4, {0xAA, 0xAA, 0xAA, 0xAA});
    EXPECT_EQ(S_OK, C(ClearBits, {Var::RefTo(&pat.v), Var::I4(3), Var::I4(28)}).hr);
    EXPECT_EQ((std::vector<BYTE>{0x02, 0x00, 0x00, 0xA0}), ArrayBytes(V_ARRAY(&pat.v)));
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&pat.v), Var::I4(9), Var::I4(9)}).hr);
    EXPECT_EQ((std::vector<BYTE>{0x02, 0x02, 0x00, 0xA0}), ArrayBytes(V_ARRAY(&pat.v)));

    // The last bit of the array is usable; one more is refused and the array
    // is unlocked on that path too.
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&pat.v), Var::I4(31), Var::I4(31)}).hr);
    EXPECT_EQ(0xA0 | 0x80, ArrayBytes(V_ARRAY(&pat.v))[3]);
    EXPECT_TRUE(FailsWith(C(SetBits, {Var::RefTo(&pat.v), Var::I4(30), Var::I4(32)}), kErrInvalidParam, M()));
    EXPECT_EQ(0u, V_ARRAY(&pat.v)->cLocks) << "array left locked after a refusal";
    EXPECT_EQ((std::vector<BYTE>{0x02, 0x02, 0x00, 0xA0 | 0x80}), ArrayBytes(V_ARRAY(&pat.v)));
}

TEST_P(Members, WiderArraysCountBytes) {
    // Two I2 elements: four bytes, bits 0..31.
    Var w;
    V_VT(&w.v) = VT_ARRAY | VT_I2;
    V_ARRAY(&w.v) = MakeArray(VT_I2, 2);
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&w.v), Var::I4(15), Var::I4(16)}).hr);
    EXPECT_EQ((std::vector<BYTE>{0x00, 0x80, 0x01, 0x00}), ArrayBytes(V_ARRAY(&w.v)));
    EXPECT_TRUE(Returns(C(GetBits, {w, Var::I4(0), Var::I4(31)}), Var::I4(0x00018000)));
    EXPECT_TRUE(FailsWith(C(SetBits, {Var::RefTo(&w.v), Var::I4(0), Var::I4(32)}), kErrInvalidParam, M()));

    // Three I4 elements: twelve bytes.
    Var l;
    V_VT(&l.v) = VT_ARRAY | VT_I4;
    V_ARRAY(&l.v) = MakeArray(VT_I4, 3);
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&l.v), Var::I4(95), Var::I4(95)}).hr);
    EXPECT_EQ(0x80, ArrayBytes(V_ARRAY(&l.v))[11]);
    EXPECT_TRUE(FailsWith(C(SetBits, {Var::RefTo(&l.v), Var::I4(95), Var::I4(96)}), kErrInvalidParam, M()));
    EXPECT_TRUE(Returns(C(GetBits, {l, Var::I4(64), Var::I4(95)}), Var::I4(std::numeric_limits<LONG>::min())));

    // An empty array has no usable bit.
    Var z;
    V_VT(&z.v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&z.v) = MakeArray(VT_UI1, 0);
    EXPECT_TRUE(FailsWith(C(SetBits, {Var::RefTo(&z.v), Var::I4(0), Var::I4(0)}), kErrInvalidParam, M()));
    EXPECT_TRUE(FailsWith(C(GetBits, {z, Var::I4(0), Var::I4(0)}), kErrInvalidParam, M()));
}

TEST_P(Members, GetBitsExamples) {
    EXPECT_TRUE(Returns(C(GetBits, {Var::UI1(165), Var::I4(4), Var::I4(7)}), Var::I4(10)));
    EXPECT_TRUE(Returns(C(GetBits, {Var::UI1(165), Var::I4(0), Var::I4(7)}), Var::I4(165)));
    EXPECT_TRUE(Returns(C(GetBits, {Var::I4(-1), Var::I4(0), Var::I4(31)}), Var::I4(-1)));
    EXPECT_TRUE(Returns(C(GetBits, {Var::I2(-1), Var::I4(0), Var::I4(15)}), Var::I4(0xFFFF)));
    EXPECT_TRUE(Returns(C(GetBits, {Var::I2(0x1234), Var::I4(4), Var::I4(11)}), Var::I4(0x23)));
    EXPECT_TRUE(FailsWith(C(GetBits, {Var::I4(-1), Var::I4(0), Var::I4(32)}), kErrInvalidParam, M()));
    EXPECT_TRUE(FailsWith(C(GetBits, {Var::UI1(1), Var::I4(0), Var::I4(8)}), kErrInvalidParam, M()));

    Var arr;
    V_VT(&arr.v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&arr.v) = MakeArray(VT_UI1, 6, {0x01, 0x02, 0x03, 0x04, 0x05, 0x86});
    EXPECT_TRUE(Returns(C(GetBits, {arr, Var::I4(0), Var::I4(31)}), Var::I4(0x04030201)));
    EXPECT_TRUE(Returns(C(GetBits, {arr, Var::I4(8), Var::I4(15)}), Var::I4(2)));
    EXPECT_TRUE(Returns(C(GetBits, {arr, Var::I4(4), Var::I4(11)}), Var::I4(0x20)));
    EXPECT_TRUE(Returns(C(GetBits, {arr, Var::I4(12), Var::I4(43)}), Var::I4(0x60504030)));
    EXPECT_TRUE(Returns(C(GetBits, {arr, Var::I4(47), Var::I4(47)}), Var::I4(1)));
    EXPECT_TRUE(FailsWith(C(GetBits, {arr, Var::I4(47), Var::I4(48)}), kErrInvalidParam, M()));
}

TEST_P(Members, ReferenceShapes) {
    // A scalar held by reference: the caller's storage changes.
    short s = 0;
    Var byRefI2;
    V_VT(&byRefI2.v) = VT_BYREF | VT_I2;
    V_I2REF(&byRefI2.v) = &s;
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&byRefI2.v), Var::I4(2), Var::I4(3)}).hr);
    EXPECT_EQ(12, s);
    EXPECT_EQ(VT_BYREF | VT_I2, byRefI2.Vt());
    EXPECT_TRUE(Returns(C(GetBits, {byRefI2, Var::I4(0), Var::I4(15)}), Var::I4(12)));

    // An array held by reference.
    SAFEARRAY* sa = MakeArray(VT_UI1, 2);
    Var byRefArr;
    V_VT(&byRefArr.v) = VT_BYREF | VT_ARRAY | VT_UI1;
    V_ARRAYREF(&byRefArr.v) = &sa;
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&byRefArr.v), Var::I4(4), Var::I4(11)}).hr);
    EXPECT_EQ((std::vector<BYTE>{0xF0, 0x0F}), ArrayBytes(sa));
    EXPECT_TRUE(Returns(C(GetBits, {byRefArr, Var::I4(0), Var::I4(15)}), Var::I4(0x0FF0)));
    EXPECT_EQ(0u, sa->cLocks);
    EXPECT_EQ(S_OK, SafeArrayDestroy(sa));

    // A variant that refers to a variant that refers to a variant holding an I4.
    Var inner = Var::I4(0);
    Var middle = Var::RefTo(&inner.v);
    EXPECT_EQ(S_OK, C(SetBits, {Var::RefTo(&middle.v), Var::I4(0), Var::I4(7)}).hr);
    EXPECT_EQ(VT_I4, inner.Vt());
    EXPECT_EQ(255, V_I4(&inner.v));
    EXPECT_TRUE(Returns(C(GetBits, {middle, Var::I4(0), Var::I4(31)}), Var::I4(255)));
    EXPECT_EQ(S_OK, C(ClearBits, {Var::RefTo(&middle.v), Var::I4(1), Var::I4(6)}).hr);
    EXPECT_EQ(0x81, V_I4(&inner.v));
}

TEST_P(Members, UnusableContainersRefused) {
    std::vector<std::pair<const char*, Var>> bad;
    {
        SAFEARRAYBOUND b[2] = {{2, 0}, {2, 0}};
        Var two;
        V_VT(&two.v) = VT_ARRAY | VT_UI1;
        V_ARRAY(&two.v) = SafeArrayCreate(VT_UI1, 2, b);
        bad.emplace_back("two-dimensional array", two);
    }
    {
        Var va;
        V_VT(&va.v) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&va.v) = MakeArray(VT_VARIANT, 4);
        bad.emplace_back("variant array", va);
    }
    bad.emplace_back("string", Var::Str(L"abcdefgh"));
    bad.emplace_back("empty", Var());
    bad.emplace_back("double", Var::R8(1.0));
    bad.emplace_back("boolean", Var::Bool(true));
    for (auto& [what, v] : bad) {
        Var copy = v;
        EXPECT_TRUE(FailsWith(C(SetBits, {Var::RefTo(&copy.v), Var::I4(0), Var::I4(1)}), kErrInvalidParam, M())) << what;
        EXPECT_TRUE(FailsWith(C(ClearBits, {Var::RefTo(&copy.v), Var::I4(0), Var::I4(1)}), kErrInvalidParam, M())) << what;
        EXPECT_TRUE(FailsWith(C(GetBits, {v, Var::I4(0), Var::I4(1)}), kErrInvalidParam, M())) << what;
        EXPECT_EQ(v.Vt(), copy.Vt()) << what;
    }
}

// Shapes only a compiled client can build: null references of every kind.
TEST(MembersEarly, NullReferencesRefused) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    EXPECT_EQ(kErrInvalidParam, zb->SetBits(nullptr, 0, 1));
    EXPECT_EQ(kErrInvalidParam, zb->ClearBits(nullptr, 0, 1));
    TakeErrorInfo();

    Var nullArray;
    V_VT(&nullArray.v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&nullArray.v) = nullptr;
    EXPECT_EQ(kErrInvalidParam, zb->SetBits(&nullArray.v, 0, 1));
    LONG r = 99;
    EXPECT_EQ(kErrInvalidParam, zb->GetBits(nullArray.v, 0, 1, &r));
    EXPECT_EQ(99, r);

    VARIANT nullRef;
    VariantInit(&nullRef);
    V_VT(&nullRef) = VT_BYREF | VT_I4;
    V_I4REF(&nullRef) = nullptr;
    EXPECT_EQ(kErrInvalidParam, zb->SetBits(&nullRef, 0, 1));
    EXPECT_EQ(kErrInvalidParam, zb->GetBits(nullRef, 0, 1, &r));

    V_VT(&nullRef) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&nullRef) = nullptr;
    EXPECT_EQ(kErrInvalidParam, zb->ClearBits(&nullRef, 0, 1));
    EXPECT_EQ(kErrInvalidParam, zb->GetBits(nullRef, 0, 1, &r));

    V_VT(&nullRef) = VT_BYREF | VT_ARRAY | VT_UI1;
    V_ARRAYREF(&nullRef) = nullptr;
    EXPECT_EQ(kErrInvalidParam, zb->SetBits(&nullRef, 0, 1));
    SAFEARRAY* none = nullptr;
    V_ARRAYREF(&nullRef) = &none;
    EXPECT_EQ(kErrInvalidParam, zb->SetBits(&nullRef, 0, 1));
    EXPECT_EQ(99, r);
    TakeErrorInfo();
}

TEST(MembersEarly, ReferenceLoopRefused) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    VARIANT loop;
    VariantInit(&loop);
    V_VT(&loop) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&loop) = &loop;
    EXPECT_EQ(kErrInvalidParam, zb->SetBits(&loop, 0, 1));
    EXPECT_EQ(kErrInvalidParam, zb->ClearBits(&loop, 0, 1));
    LONG r = 5;
    EXPECT_EQ(kErrInvalidParam, zb->GetBits(loop, 0, 1, &r));
    EXPECT_EQ(5, r);
    // Two variants referring to each other.
    VARIANT a, b;
    V_VT(&a) = VT_BYREF | VT_VARIANT;
    V_VT(&b) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&a) = &b;
    V_VARIANTREF(&b) = &a;
    EXPECT_EQ(kErrInvalidParam, zb->SetBits(&a, 0, 1));
    TakeErrorInfo();
}

TEST(MembersEarly, NullResultPointers) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    Var i4 = Var::I4(1);
    LONG block = 0;
    ASSERT_EQ(S_OK, zb->AllocMemory(4, &block));
    const std::pair<const char*, HRESULT> calls[] = {
        {"AddUnsignedInt", zb->AddUnsignedInt(1, 2, nullptr)},
        {"AddUnsignedLong", zb->AddUnsignedLong(1, 2, nullptr)},
        {"HiWord", zb->HiWord(1, nullptr)},
        {"LoWord", zb->LoWord(1, nullptr)},
        {"MakeLong", zb->MakeLong(1, 2, nullptr)},
        {"ShiftIntLeft", zb->ShiftIntLeft(1, 2, 0, nullptr)},
        {"ShiftIntRight", zb->ShiftIntRight(1, 2, 0, nullptr)},
        {"ShiftLongLeft", zb->ShiftLongLeft(1, 2, 0, nullptr)},
        {"ShiftLongRight", zb->ShiftLongRight(1, 2, 0, nullptr)},
        {"Signed", zb->Signed(1, nullptr)},
        {"ConstrainInt", zb->ConstrainInt(1, 0, 2, nullptr)},
        {"ConstrainLong", zb->ConstrainLong(1, 0, 2, nullptr)},
        {"Unsigned", zb->Unsigned(1, nullptr)},
        {"Version", zb->get_Version(nullptr)},
        {"AllocMemory", zb->AllocMemory(4, nullptr)},
        {"Max", zb->Max(i4.v, i4.v, nullptr)},
        {"Min", zb->Min(i4.v, i4.v, nullptr)},
        {"PeekByte", zb->PeekByte(block, nullptr)},
        {"PeekWord", zb->PeekWord(block, nullptr)},
        {"PeekDword", zb->PeekDword(block, nullptr)},
        {"HiByte", zb->HiByte(1, nullptr)},
        {"LoByte", zb->LoByte(1, nullptr)},
        {"MakeWord", zb->MakeWord(1, 2, nullptr)},
        {"GetBits", zb->GetBits(i4.v, 0, 1, nullptr)},
    };
    for (const auto& [name, hr] : calls) EXPECT_EQ(E_POINTER, hr) << name;
    EXPECT_EQ(S_OK, zb->FreeMemory(block));
    TakeErrorInfo();
}

TEST(MembersEarly, VersionIgnoresWhatTheResultHeld) {
    // An out-parameter holds nothing on entry; a caller's stale or
    // uninitialised pointer there must not be freed.
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    BSTR v = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x10));
    EXPECT_EQ(S_OK, zb->get_Version(&v));
    ASSERT_NE(reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x10)), v);
    EXPECT_EQ(std::wstring(L"0.00.001: Halden Utility 1.0 Library."), std::wstring(v, SysStringLen(v)));
    SysFreeString(v);
}

// --- memory -----------------------------------------------------------------

TEST(MembersEarly, FreeMemoryOfUnknownAddresses) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    LONG keep = 0, gone = 0;
    ASSERT_EQ(S_OK, zb->AllocMemory(64, &keep));
    ASSERT_EQ(S_OK, zb->PokeDword(keep, 0x600DF00D));
    ASSERT_EQ(S_OK, zb->AllocMemory(64, &gone));
    EXPECT_EQ(S_OK, zb->FreeMemory(gone));
    EXPECT_EQ(S_OK, zb->FreeMemory(gone)) << "second free of the same block";
    LONG local = 0;
    if (BelowI4Limit(&local, sizeof local)) {
        EXPECT_EQ(S_OK, zb->FreeMemory(I4Of(&local)));
    }
    EXPECT_EQ(S_OK, zb->FreeMemory(keep + 4)) << "an address inside a block";
    EXPECT_EQ(S_OK, zb->FreeMemory(0x12345678));
    LONG got = 0;
    EXPECT_EQ(S_OK, zb->PeekDword(keep, &got));
    EXPECT_EQ(0x600DF00D, got) << "a live block was disturbed";
    std::vector<LONG> fresh;
    for (int i = 0; i < 16; ++i) {
        LONG a = 0;
        ASSERT_EQ(S_OK, zb->AllocMemory(64, &a));
        EXPECT_EQ(S_OK, zb->PokeDword(a, i));
        fresh.push_back(a);
    }
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(S_OK, zb->PeekDword(fresh[i], &got));
        EXPECT_EQ(i, got);
        EXPECT_NE(keep, fresh[i]);
    }
    EXPECT_EQ(S_OK, zb->PeekDword(keep, &got));
    EXPECT_EQ(0x600DF00D, got);
    for (LONG a : fresh) EXPECT_EQ(S_OK, zb->FreeMemory(a));
    EXPECT_EQ(S_OK, zb->FreeMemory(keep));
    TakeErrorInfo();
}

TEST_P(Members, AllocPokePeekFree) {
    const Outcome a = C(AllocMemory, {Var::I4(16)});
    ASSERT_EQ(S_OK, a.hr);
    const LONG addr = V_I4(&a.value.v);
    ASSERT_NE(0, addr);
    EXPECT_EQ(S_OK, C(PokeDword, {Var::I4(addr), Var::I4(0x11223344)}).hr);
    EXPECT_TRUE(Returns(C(PeekByte, {Var::I4(addr)}), Var::UI1(0x44)));
    EXPECT_TRUE(Returns(C(PeekWord, {Var::I4(addr + 1)}), Var::I2(0x2233)));
    EXPECT_TRUE(Returns(C(PeekDword, {Var::I4(addr)}), Var::I4(0x11223344)));
    EXPECT_EQ(S_OK, C(PokeWord, {Var::I4(addr + 5), Var::I2(-2)}).hr);
    EXPECT_EQ(S_OK, C(PokeByte, {Var::I4(addr + 7), Var::UI1(0x7E)}).hr);
    EXPECT_TRUE(Returns(C(PeekDword, {Var::I4(addr + 4)}), Var::I4(0x7EFFFE00 | (static_cast<BYTE*>(AddressOf(addr))[4]))));
    EXPECT_EQ(0x11223344, *static_cast<LONG*>(AddressOf(addr))) << "the address is not the block's own";
    const Outcome f = C(FreeMemory, {Var::I4(addr)});
    EXPECT_EQ(S_OK, f.hr);

    const Outcome z = C(AllocMemory, {Var::I4(0)});
    ASSERT_EQ(S_OK, z.hr);
    EXPECT_NE(0, V_I4(&z.value.v));
    EXPECT_EQ(S_OK, C(PokeByte, {z.value, Var::UI1(1)}).hr) << "a zero-byte block holds at least one byte";
    EXPECT_EQ(S_OK, C(FreeMemory, {z.value}).hr);
    EXPECT_EQ(S_OK, C(FreeMemory, {Var::I4(0)}).hr);
}

TEST_P(Members, AllocFailures) {
    EXPECT_TRUE(FailsWith(C(AllocMemory, {Var::I4(-1)}), kErrOutOfMemory, M()));
    EXPECT_TRUE(FailsWith(C(AllocMemory, {Var::I4(std::numeric_limits<LONG>::min())}), kErrOutOfMemory, M()));
}

TEST_P(Members, PeekPokeRefusals) {
    EXPECT_TRUE(FailsWith(C(PeekByte, {Var::I4(0)}), kErrNoRead, M()));
    EXPECT_TRUE(FailsWith(C(PeekWord, {Var::I4(0)}), kErrNoRead, M()));
    EXPECT_TRUE(FailsWith(C(PeekDword, {Var::I4(0)}), kErrNoRead, M()));
    EXPECT_TRUE(FailsWith(C(PokeByte, {Var::I4(0), Var::UI1(1)}), kErrNoWrite, M()));
    EXPECT_TRUE(FailsWith(C(PokeWord, {Var::I4(0), Var::I2(1)}), kErrNoWrite, M()));
    EXPECT_TRUE(FailsWith(C(PokeDword, {Var::I4(0), Var::I4(1)}), kErrNoWrite, M()));

    // A read-only page.
    BYTE* ro = static_cast<BYTE*>(AllocLowPages(1, PAGE_READWRITE));
    ASSERT_NE(nullptr, ro) << "no page below 4 GiB for the test";
    ro[0] = 0x5A;
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(ro, 1, PAGE_READONLY, &old));
    EXPECT_TRUE(FailsWith(C(PokeByte, {Var::I4(I4Of(ro)), Var::UI1(1)}), kErrNoWrite, M()));
    EXPECT_TRUE(FailsWith(C(PokeDword, {Var::I4(I4Of(ro)), Var::I4(1)}), kErrNoWrite, M()));
    EXPECT_EQ(0x5A, ro[0]) << "refused poke changed memory";
    EXPECT_TRUE(Returns(C(PeekByte, {Var::I4(I4Of(ro))}), Var::UI1(0x5A)));
    VirtualFree(ro, 0, MEM_RELEASE);

    // A writable page followed by an inaccessible one: the whole width counts.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    BYTE* two = static_cast<BYTE*>(AllocLowPages(2, PAGE_READWRITE));
    ASSERT_NE(nullptr, two);
    BYTE* edge = two + si.dwPageSize;
    ASSERT_TRUE(VirtualProtect(edge, si.dwPageSize, PAGE_NOACCESS, &old));
    std::memset(edge - 4, 0x11, 4);
    EXPECT_TRUE(Returns(C(PeekByte, {Var::I4(I4Of(edge - 1))}), Var::UI1(0x11)));
    EXPECT_TRUE(Returns(C(PeekWord, {Var::I4(I4Of(edge - 2))}), Var::I2(0x1111)));
    EXPECT_TRUE(FailsWith(C(PeekWord, {Var::I4(I4Of(edge - 1))}), kErrNoRead, M()));
    EXPECT_TRUE(FailsWith(C(PeekDword, {Var::I4(I4Of(edge - 2))}), kErrNoRead, M()));
    EXPECT_TRUE(FailsWith(C(PokeWord, {Var::I4(I4Of(edge - 1)), Var::I2(0)}), kErrNoWrite, M()));
    EXPECT_TRUE(FailsWith(C(PokeDword, {Var::I4(I4Of(edge - 3)), Var::I4(0)}), kErrNoWrite, M()));
    EXPECT_EQ(0x11, edge[-1]);
    EXPECT_EQ(0x11, edge[-3]);
    EXPECT_EQ(S_OK, C(PokeDword, {Var::I4(I4Of(edge - 4)), Var::I4(0x01020304)}).hr);
    EXPECT_EQ(0x01, edge[-1]);
    VirtualFree(two, 0, MEM_RELEASE);
}

TEST_P(Members, PortsRefusedOnNt) {
    EXPECT_TRUE(FailsWith(C(WriteByteToPort, {Var::I2(0x378), Var::UI1(1)}), kErrUnsupported, M()));
    EXPECT_TRUE(FailsWith(C(WriteWordToPort, {Var::I2(0x378), Var::I2(1)}), kErrUnsupported, M()));
    EXPECT_TRUE(FailsWith(C(WriteDwordToPort, {Var::I2(-1), Var::I4(1)}), kErrUnsupported, M()));
    EXPECT_TRUE(FailsWith(C(ReadByteFromPort, {Var::I2(0x378)}), kErrUnsupported, M()));
    EXPECT_TRUE(FailsWith(C(ReadWordFromPort, {Var::I2(0x80)}), kErrUnsupported, M()));
    EXPECT_TRUE(FailsWith(C(ReadDwordFromPort, {Var::I2(-32768)}), kErrUnsupported, M()));
}

// --- Max and Min ------------------------------------------------------------

TEST_P(Members, MaxMinChoose) {
    using V = Var;
    const std::vector<Case> cases = {
        {Max, {V::Cy(10001), V::Cy(10002)}, V::Cy(10002), "currency 1.0001 / 1.0002"},
        {Min, {V::Cy(-50000), V::Cy(30000)}, V::Cy(-50000), "currency signed"},
        {Max, {V::Cy(-50000), V::Cy(30000)}, V::Cy(30000), "currency signed"},
        {Min, {V::UI1(200), V::UI1(100)}, V::UI1(100), "bytes unsigned"},
        {Max, {V::UI1(200), V::UI1(100)}, V::UI1(200), "bytes unsigned"},
        {Min, {V::I2(-1), V::I2(1)}, V::I2(-1), "I2 signed"},
        {Max, {V::I2(-1), V::I2(1)}, V::I2(1), "I2 signed"},
        {Max, {V::I4(-70000), V::I4(-69999)}, V::I4(-69999), "I4"},
        {Min, {V::I4(-70000), V::I4(-69999)}, V::I4(-70000), "I4"},
        {Max, {V::R4(1.5f), V::R4(-2.5f)}, V::R4(1.5f), "R4"},
        {Min, {V::R8(1e300), V::R8(-1e-300)}, V::R8(-1e-300), "R8"},
        {Max, {V::Date(45000.5), V::Date(45000.25)}, V::Date(45000.5), "date"},
        {Max, {V::I4(7), V::I4(7)}, V::I4(7), "equal"},
    };
    RunCases(this, cases, zb_.Get(), M());

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Outcome mx = C(Max, {V::R8(nan), V::R8(1.0)});
    EXPECT_TRUE(Returns(mx, V::R8(1.0))) << "Max(NaN, 1.0)";
    const Outcome mn = C(Min, {V::R8(nan), V::R8(1.0)});
    ASSERT_EQ(S_OK, mn.hr);
    ASSERT_EQ(VT_R8, mn.value.Vt());
    EXPECT_TRUE(std::isnan(V_R8(&mn.value.v))) << "Min(NaN, 1.0) gave " << V_R8(&mn.value.v);
    const Outcome mx2 = C(Max, {V::R8(1.0), V::R8(nan)});
    ASSERT_EQ(S_OK, mx2.hr);
    EXPECT_TRUE(std::isnan(V_R8(&mx2.value.v))) << "Max(1.0, NaN) yields Value2";
    EXPECT_TRUE(Returns(C(Min, {V::R8(1.0), V::R8(nan)}), V::R8(1.0))) << "Min(1.0, NaN) yields Value1";
}

TEST_P(Members, MaxMinRefuse) {
    using V = Var;
    const std::vector<std::pair<Var, Var>> pairs = {
        {V::I2(5), V::I4(5)},
        {V::Str(L"a"), V::Str(L"b")},
        {V::Bool(true), V::Bool(false)},
        {V(), V()},
        {V::Null(), V::Null()},
        {V::R4(1), V::R8(1)},
    };
    for (const auto& [a, b] : pairs) {
        EXPECT_TRUE(FailsWith(C(Max, {a, b}), kErrInvalidParam, M())) << Show(a.v) << " / " << Show(b.v);
        EXPECT_TRUE(FailsWith(C(Min, {a, b}), kErrInvalidParam, M())) << Show(a.v) << " / " << Show(b.v);
    }
}

TEST(MembersEarly, MaxMinRefuseReferencesAndArrays) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    LONG x = 1, y = 2;
    VARIANT a, b, r;
    VariantInit(&a);
    VariantInit(&b);
    VariantInit(&r);
    V_VT(&a) = VT_BYREF | VT_I4;
    V_I4REF(&a) = &x;
    V_VT(&b) = VT_BYREF | VT_I4;
    V_I4REF(&b) = &y;
    EXPECT_EQ(kErrInvalidParam, zb->Max(a, b, &r));
    EXPECT_EQ(VT_EMPTY, V_VT(&r));
    Var arr1, arr2;
    V_VT(&arr1.v) = VT_ARRAY | VT_I4;
    V_ARRAY(&arr1.v) = MakeArray(VT_I4, 1);
    V_VT(&arr2.v) = VT_ARRAY | VT_I4;
    V_ARRAY(&arr2.v) = MakeArray(VT_I4, 1);
    EXPECT_EQ(kErrInvalidParam, zb->Min(arr1.v, arr2.v, &r));
    EXPECT_EQ(VT_EMPTY, V_VT(&r));
    TakeErrorInfo();
}

// --- Version ----------------------------------------------------------------

TEST_P(Members, VersionText) {
    EXPECT_TRUE(Returns(C(Version), Var::Str(L"0.00.001: Halden Utility 1.0 Library.")));
    // Still the same after an error.
    EXPECT_EQ(kErrInvalidParam, C(ShiftIntLeft, {Var::I2(1), Var::I4(1), Var::I4(3)}).hr);
    EXPECT_TRUE(Returns(C(Version), Var::Str(L"0.00.001: Halden Utility 1.0 Library.")));
}

INSTANTIATE_TEST_SUITE_P(Binding, Members,
                         ::testing::Values(Mode::Early, Mode::ByDispId, Mode::ByName),
                         [](const ::testing::TestParamInfo<Mode>& i) { return std::string(ModeName(i.param)); });

// --- error information on the thread ----------------------------------------

TEST(ErrorInfo, FullRecordOfAFailure) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    BYTE b = 0x33;
    EXPECT_EQ(kErrNoRead, zb->PeekByte(0, &b));
    EXPECT_EQ(0x33, b);
    const ErrorFields e = TakeErrorInfo();
    ASSERT_TRUE(e.present);
    EXPECT_EQ(L"Zanbit32.ZBUtility", e.source);
    EXPECT_EQ(L"No read access to memory address.", e.description);
    EXPECT_EQ(1u, e.helpContext);
    EXPECT_TRUE(e.haveGuid);
    EXPECT_EQ(IID_IZBUtility, e.guid);
    const std::wstring tail = L"\\zbsystem.hlp";
    ASSERT_GE(e.helpFile.size(), tail.size());
    EXPECT_EQ(tail, e.helpFile.substr(e.helpFile.size() - tail.size()));
}

TEST(ErrorInfo, SuccessClearsStaleInformation) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    short s = 0;
    LONG l = 0;
    BYTE b = 0;
    VARIANT r;
    VariantInit(&r);
    struct Step { const char* what; std::function<HRESULT()> call; };
    Var data = Var::I4(0);
    const std::vector<Step> clearing = {
        {"AddUnsignedInt", [&] { return zb->AddUnsignedInt(1, 2, &s); }},
        {"ShiftLongLeft", [&] { return zb->ShiftLongLeft(1, 2, 0, &l); }},
        {"ConstrainLong", [&] { return zb->ConstrainLong(1, 0, 2, &l); }},
        {"SetBits", [&] { return zb->SetBits(&data.v, 0, 1); }},
        {"GetBits", [&] { return zb->GetBits(data.v, 0, 1, &l); }},
        {"HiByte", [&] { return zb->HiByte(1, &b); }},
        {"Max", [&] { VariantClear(&r); return zb->Max(Var::I2(1).v, Var::I2(2).v, &r); }},
        {"PeekByte", [&] { return zb->PeekByte(I4Of(&b), &b); }},
        {"PokeByte", [&] { return zb->PokeByte(I4Of(&b), 7); }},
    };
    for (const auto& step : clearing) {
        EXPECT_EQ(kErrInvalidParam, zb->ShiftIntLeft(1, 1, 7, &s));
        ASSERT_TRUE(ThreadHasErrorInfo());
        if (step.what == std::string("PeekByte") || step.what == std::string("PokeByte")) {
            if (!BelowI4Limit(&b, 1)) continue;   // stack above 4 GiB
        }
        EXPECT_EQ(S_OK, step.call()) << step.what;
        EXPECT_FALSE(ThreadHasErrorInfo()) << step.what << " left the earlier error information";
    }
    VariantClear(&r);
    TakeErrorInfo();
}

TEST(ErrorInfo, CodesOfEveryErrorNumber) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    BYTE b = 0;
    LONG l = 0;
    short s = 0;
    EXPECT_EQ(static_cast<HRESULT>(0x800A1B58), zb->ReadByteFromPort(1, &b));
    EXPECT_EQ(L"Function not supported under Windows NT.", TakeErrorInfo().description);
    EXPECT_EQ(static_cast<HRESULT>(0x800A1B59), zb->ShiftIntRight(1, 1, -1, &s));
    EXPECT_EQ(L"Parameter invalid or out of range.", TakeErrorInfo().description);
    EXPECT_EQ(static_cast<HRESULT>(0x800A1B5A), zb->PeekDword(0, &l));
    EXPECT_EQ(L"No read access to memory address.", TakeErrorInfo().description);
    EXPECT_EQ(static_cast<HRESULT>(0x800A1B5B), zb->PokeWord(0, 1));
    EXPECT_EQ(L"No write access to memory address.", TakeErrorInfo().description);
    EXPECT_EQ(static_cast<HRESULT>(0x800A1B5C), zb->AllocMemory(-1, &l));
    EXPECT_EQ(L"Out of memory.", TakeErrorInfo().description);
}

TEST(ErrorInfo, SupportErrorInfo) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    ComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(S_OK, zb->QueryInterface(IID_ISupportErrorInfo, sei.PutVoid()));
    EXPECT_EQ(S_OK, sei->InterfaceSupportsErrorInfo(IID_IZBUtility));
    EXPECT_EQ(S_FALSE, sei->InterfaceSupportsErrorInfo(IID_IDispatch));
    EXPECT_EQ(S_FALSE, sei->InterfaceSupportsErrorInfo(IID_IUnknown));
}

// --- late binding by name ----------------------------------------------------

TEST(Dispatch, NamesMapToDispIds) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    for (DISPID id = 1; id <= kMemberCount; ++id) {
        LPOLESTR name = const_cast<LPOLESTR>(kMemberNames[id]);
        DISPID got = DISPID_UNKNOWN;
        EXPECT_EQ(S_OK, zb->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &got)) << Narrow(name);
        EXPECT_EQ(id, got) << Narrow(name);
    }
    // Names are matched without regard to case, as automation clients expect.
    LPOLESTR lower = const_cast<LPOLESTR>(L"shiftintleft");
    DISPID got = DISPID_UNKNOWN;
    EXPECT_EQ(S_OK, zb->GetIDsOfNames(IID_NULL, &lower, 1, LOCALE_USER_DEFAULT, &got));
    EXPECT_EQ(ShiftIntLeft, got);
    LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMember");
    EXPECT_EQ(DISP_E_UNKNOWNNAME, zb->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &got));
}

TEST(Dispatch, TypeInfoOfTheObject) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    UINT n = 0;
    EXPECT_EQ(S_OK, zb->GetTypeInfoCount(&n));
    EXPECT_EQ(1u, n);
    EXPECT_EQ(E_POINTER, zb->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr));
    ComPtr<ITypeInfo> ti;
    ASSERT_EQ(S_OK, zb->GetTypeInfo(0, LOCALE_USER_DEFAULT, ti.Put()));
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(S_OK, ti->GetTypeAttr(&ta));
    EXPECT_EQ(IID_IZBUtility, ta->guid);
    ti->ReleaseTypeAttr(ta);
    // A second object hands out the same cached information.
    ComPtr<IZBUtility> zb2;
    ASSERT_EQ(S_OK, CreateUtility(zb2.Put()));
    ComPtr<ITypeInfo> ti2;
    ASSERT_EQ(S_OK, zb2->GetTypeInfo(0, LOCALE_USER_DEFAULT, ti2.Put()));
    EXPECT_EQ(ti.Get(), ti2.Get());
}

TEST(Dispatch, AnyCallerLocale) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    for (LCID lcid : {LCID(0), LCID(0x0407), LCID(0x0411), LCID(LOCALE_SYSTEM_DEFAULT), LCID(1033)}) {
        ComPtr<ITypeInfo> ti;
        EXPECT_EQ(S_OK, zb->GetTypeInfo(0, lcid, ti.Put())) << "locale 0x" << std::hex << lcid;
        LPOLESTR name = const_cast<LPOLESTR>(L"HiWord");
        DISPID id = 0;
        EXPECT_EQ(S_OK, zb->GetIDsOfNames(IID_NULL, &name, 1, lcid, &id)) << "locale 0x" << std::hex << lcid;
        EXPECT_EQ(HiWord, id);
        VARIANTARG arg;
        V_VT(&arg) = VT_I4;
        V_I4(&arg) = 196608;
        DISPPARAMS dp{&arg, nullptr, 1, 0};
        Var r;
        EXPECT_EQ(S_OK, zb->Invoke(HiWord, IID_NULL, lcid, DISPATCH_METHOD, &dp, &r.v, nullptr, nullptr));
        EXPECT_EQ(VT_I2, r.Vt());
        EXPECT_EQ(3, V_I2(&r.v));
    }
}

TEST(Dispatch, ArgumentErrorsFromTheTypeInformation) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Var r;
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, zb->Invoke(HiWord, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &r.v, nullptr, nullptr));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, zb->Invoke(37, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &r.v, nullptr, nullptr));
    // A string that reads as a number is converted, as for any automation member.
    Var text = Var::Str(L"196608");
    DISPPARAMS one{&text.v, nullptr, 1, 0};
    EXPECT_EQ(S_OK, zb->Invoke(HiWord, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &one, &r.v, nullptr, nullptr));
    EXPECT_EQ(3, V_I2(&r.v));
}

TEST(Dispatch, InvokeClearsStaleErrorInformation) {
    // Even for members that do not clear it themselves (Version, FreeMemory),
    // a late-bound call starts with no error information on the thread.
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    for (DISPID id : {DISPID(Version), DISPID(FreeMemory)}) {
        ComPtr<ICreateErrorInfo> cei;
        ASSERT_EQ(S_OK, CreateErrorInfo(cei.Put()));
        cei->SetDescription(const_cast<LPOLESTR>(L"stale"));
        ComPtr<IErrorInfo> ei;
        ASSERT_EQ(S_OK, cei->QueryInterface(IID_IErrorInfo, ei.PutVoid()));
        ASSERT_EQ(S_OK, SetErrorInfo(0, ei.Get()));
        ASSERT_TRUE(ThreadHasErrorInfo());
        Var zero = Var::I4(0);
        DISPPARAMS dp{id == Version ? nullptr : &zero.v, nullptr, id == Version ? 0u : 1u, 0};
        Var r;
        EXPECT_EQ(S_OK, zb->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                                   id == Version ? DISPATCH_PROPERTYGET : DISPATCH_METHOD, &dp, &r.v, nullptr, nullptr));
        EXPECT_FALSE(ThreadHasErrorInfo()) << Narrow(kMemberNames[id]) << " through Invoke kept stale error information";
    }
    TakeErrorInfo();
}

TEST(Dispatch, ByRefDataThroughInvoke) {
    // What a script passes for a variable: a reference to its variant.
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    Var data = Var::I2(0);
    VARIANTARG args[3];
    V_VT(&args[2]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[2]) = &data.v;
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = 8;
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = 15;
    DISPPARAMS dp{args, nullptr, 3, 0};
    EXPECT_EQ(S_OK, zb->Invoke(SetBits, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr));
    EXPECT_EQ(VT_I2, data.Vt());
    EXPECT_EQ(static_cast<short>(0xFF00), V_I2(&data.v));
}

// --- addresses in the 32-bit range ------------------------------------------

TEST(Addresses, BlocksLieBelow4GiB) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    struct Block { uint32_t addr; uint32_t size; };
    std::vector<Block> blocks;
    const uint32_t sizes[] = {1, 7, 16, 100, 4096, 65536, 1000000, 4 << 20};
    for (int round = 0; round < 40; ++round) {
        for (uint32_t size : sizes) {
            LONG a = 0;
            ASSERT_EQ(S_OK, zb->AllocMemory(static_cast<LONG>(size), &a)) << "size " << size;
            const uint32_t ua = static_cast<uint32_t>(a);
            ASSERT_NE(0u, ua);
            EXPECT_LE(static_cast<uint64_t>(ua) + size, 0x100000000ull) << "block beyond 4 GiB";
            blocks.push_back({ua, size});
            // Round trip at both ends through the member and through the pointer.
            const LONG first = static_cast<LONG>(0xA5000000u | static_cast<uint32_t>(blocks.size()));
            EXPECT_EQ(S_OK, zb->PokeByte(a, 0x5A));
            BYTE bt = 0;
            EXPECT_EQ(S_OK, zb->PeekByte(a, &bt));
            EXPECT_EQ(0x5A, bt);
            if (size >= 8) {
                EXPECT_EQ(S_OK, zb->PokeDword(a, first));
                EXPECT_EQ(S_OK, zb->PokeDword(static_cast<LONG>(ua + size - 4), ~first));
                EXPECT_EQ(first, *static_cast<LONG*>(AddressOf(a)));
            }
        }
    }
    // Every block still holds what was written: no two blocks overlap.
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].size < 8) continue;
        const LONG first = static_cast<LONG>(0xA5000000u | static_cast<uint32_t>(i + 1));
        LONG got = 0;
        EXPECT_EQ(S_OK, zb->PeekDword(static_cast<LONG>(blocks[i].addr), &got));
        EXPECT_EQ(first, got) << "block " << i;
        EXPECT_EQ(S_OK, zb->PeekDword(static_cast<LONG>(blocks[i].addr + blocks[i].size - 4), &got));
        EXPECT_EQ(~first, got) << "block " << i;
    }
    for (const auto& b : blocks) EXPECT_EQ(S_OK, zb->FreeMemory(static_cast<LONG>(b.addr)));
    TakeErrorInfo();
}

TEST(Addresses, ExhaustionEndsWithOutOfMemory) {
    // Large blocks until the component has no more room below 4 GiB: the end
    // must be a clean zbErrOutOfMemory, never a block that does not fit.
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, CreateUtility(zb.Put()));
    const uint32_t size = 256u << 20;
    std::vector<LONG> got;
    HRESULT last = S_OK;
    for (int i = 0; i < 20 && last == S_OK; ++i) {
        LONG a = 0x1234;
        last = zb->AllocMemory(static_cast<LONG>(size), &a);
        if (last == S_OK) {
            EXPECT_LE(static_cast<uint64_t>(static_cast<uint32_t>(a)) + size, 0x100000000ull);
            EXPECT_EQ(S_OK, zb->PokeByte(static_cast<LONG>(static_cast<uint32_t>(a) + size - 1), 1));
            got.push_back(a);
        } else {
            EXPECT_EQ(0x1234, a) << "result written on failure";
        }
    }
    EXPECT_EQ(kErrOutOfMemory, last) << "after " << got.size() << " blocks of 256 MiB";
    EXPECT_GE(got.size(), 1u) << "not even one block of 256 MiB";
    std::printf("  %zu blocks of 256 MiB before zbErrOutOfMemory\n", got.size());
    EXPECT_LT(got.size(), 16u);
    EXPECT_EQ(L"Out of memory.", TakeErrorInfo().description);
    for (LONG a : got) EXPECT_EQ(S_OK, zb->FreeMemory(a));
    // After freeing, memory is available again.
    LONG a = 0;
    EXPECT_EQ(S_OK, zb->AllocMemory(static_cast<LONG>(size), &a));
    EXPECT_EQ(S_OK, zb->FreeMemory(a));
}

TEST(Addresses, BlocksBelongToNoObject) {
    ComPtr<IZBUtility> one, two;
    ASSERT_EQ(S_OK, CreateUtility(one.Put()));
    ASSERT_EQ(S_OK, CreateUtility(two.Put()));
    LONG a = 0;
    ASSERT_EQ(S_OK, one->AllocMemory(8, &a));
    ASSERT_EQ(S_OK, one->PokeDword(a, 42));
    one.Reset();
    LONG v = 0;
    EXPECT_EQ(S_OK, two->PeekDword(a, &v));
    EXPECT_EQ(42, v);
    EXPECT_EQ(S_OK, two->FreeMemory(a));
}

}  // namespace
