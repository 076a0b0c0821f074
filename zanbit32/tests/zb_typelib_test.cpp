// The finished ZANBIT32.dll read back: its type library (library, modules,
// class, interface and all 36 members), its resources and its exports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zb_test_support.h"

using namespace zbtest;

namespace {

// {00020430-0000-0000-C000-000000000046}: the standard OLE type library.
const GUID kStdOleLibid = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr USHORT kIn = PARAMFLAG_FIN, kOut = PARAMFLAG_FOUT, kRet = PARAMFLAG_FRETVAL, kNone = 0;

struct Param { const wchar_t* name; const char* type; USHORT flags; };
struct Member {
    const wchar_t* name;
    INVOKEKIND kind;
    std::vector<Param> params;
    const wchar_t* help;   // nullptr: any non-empty text
};

const std::vector<Member>& Members() {
    static const std::vector<Member> m = {
        {L"AddUnsignedInt", INVOKE_FUNC, {{L"Int1", "I2", kIn}, {L"Int2", "I2", kNone}, {L"UnsignedInt", "PTR(I2)", kOut | kRet}},
         L"AddUnsignedInt adds two integers on an unsigned basis, without creating an overflow error if the total exceeds 32,767."},
        {L"AddUnsignedLong", INVOKE_FUNC, {{L"Long1", "I4", kIn}, {L"Long2", "I4", kNone}, {L"UnsignedLong", "PTR(I4)", kOut | kRet}},
         L"AddUnsignedLong adds two longs on an unsigned basis, without creating an overflow error if the total exceeds  2,147,483,647."},
        {L"HiWord", INVOKE_FUNC, {{L"Value", "I4", kIn}, {L"HighWord", "PTR(I2)", kOut | kRet}},
         L"Returns the high order integer portion of a long."},
        {L"LoWord", INVOKE_FUNC, {{L"Value", "I4", kIn}, {L"LowWord", "PTR(I2)", kOut | kRet}},
         L"Returns the low order integer portion of a long."},
        {L"MakeLong", INVOKE_FUNC, {{L"LowWord", "I2", kIn}, {L"HighWord", "I2", kNone}, {L"LongValue", "PTR(I4)", kOut | kRet}},
         L"Returns a long integer combination of two integers."},
        {L"ShiftIntLeft", INVOKE_FUNC, {{L"Value1", "I2", kIn}, {L"NumberOfBits", "I4", kNone}, {L"ShiftType", "I4", kNone}, {L"Position", "PTR(I2)", kOut | kRet}},
         L"Shifts the bits in a integer value a specified number of positions to the left either arithmatically or logically."},
        {L"ShiftIntRight", INVOKE_FUNC, {{L"Value1", "I2", kIn}, {L"NumberOfBits", "I4", kNone}, {L"ShiftType", "I4", kNone}, {L"Position", "PTR(I2)", kOut | kRet}},
         L"Shifts the bits in a integer value a specified number of positions to the right either arithmatically or logically."},
        {L"ShiftLongLeft", INVOKE_FUNC, {{L"Value1", "I4", kIn}, {L"NumberOfBits", "I4", kNone}, {L"ShiftType", "I4", kNone}, {L"Position", "PTR(I4)", kOut | kRet}},
         L"Shifts the bits in a long value a specified number of positions to the left  either arithmatically or logically."},
        {L"ShiftLongRight", INVOKE_FUNC, {{L"Value1", "I4", kIn}, {L"NumberOfBits", "I4", kNone}, {L"ShiftType", "I4", kNone}, {L"Position", "PTR(I4)", kOut | kRet}},
         L"Shifts the bits in a long value a specified number of positions to the right either arithmatically or logically."},
        {L"Signed", INVOKE_FUNC, {{L"Value", "I4", kIn}, {L"Signed", "PTR(I2)", kOut | kRet}},
         L"Returns a signed integer value given an unsigned integer value."},
        {L"ConstrainInt", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"LowBound", "I2", kNone}, {L"HighBound", "I2", kNone}, {L"Limited", "PTR(I2)", kOut | kRet}},
         L"Constrains an incomming integer value within a specified upper and lower limit."},
        {L"ConstrainLong", INVOKE_FUNC, {{L"Value", "I4", kIn}, {L"LowBound", "I4", kNone}, {L"HighBound", "I4", kNone}, {L"Limited", "PTR(I4)", kOut | kRet}},
         L"Constrains an incomming long value within a specified upper and lower limit."},
        {L"Unsigned", INVOKE_FUNC, {{L"Value1", "I2", kIn}, {L"Value", "PTR(I4)", kOut | kRet}},
         L"Returns a unsigned long value given an signed integer value."},
        {L"ClearBits", INVOKE_FUNC, {{L"Data", "PTR(VARIANT)", kIn | kOut}, {L"LowerBound", "I4", kNone}, {L"UpperBound", "I4", kNone}},
         L"Sets the range of bits determined by LowerBound and UpperBound to false."},
        {L"Version", INVOKE_PROPERTYGET, {{L"Version", "PTR(BSTR)", kOut | kRet}},
         L"Property containing the version information for this .DLL."},
        {L"AllocMemory", INVOKE_FUNC, {{L"NumberOfBytes", "I4", kIn}, {L"MemoryAddress", "PTR(I4)", kOut | kRet}},
         L"Allocates a specified number of bytes."},
        {L"FreeMemory", INVOKE_FUNC, {{L"MemoryAddress", "I4", kIn}},
         L"Frees memory previously allocated by AllocMemory."},
        {L"Max", INVOKE_FUNC, {{L"Value1", "VARIANT", kIn}, {L"Value2", "VARIANT", kNone}, {L"MaxValue", "PTR(VARIANT)", kOut | kRet}},
         L"Compares two variant variables of any type and returns the larger of the two."},
        {L"Min", INVOKE_FUNC, {{L"Value1", "VARIANT", kIn}, {L"Value2", "VARIANT", kNone}, {L"MinValue", "PTR(VARIANT)", kOut | kRet}},
         L"Compares two variant variables of any type and returns the smaller of the two."},
        {L"PeekByte", INVOKE_FUNC, {{L"MemoryAddress", "I4", kIn}, {L"Data", "PTR(UI1)", kOut | kRet}},
         L"Reads one byte at a specified address and returns it's value."},
        {L"PokeByte", INVOKE_FUNC, {{L"MemoryAddress", "I4", kIn}, {L"Data", "UI1", kNone}},
         L"Writes a new byte to a specified address."},
        {L"PeekWord", INVOKE_FUNC, {{L"MemoryAddress", "I4", kIn}, {L"Data", "PTR(I2)", kOut | kRet}},
         L"Reads one integer at a specified address and returns it's value."},
        {L"PokeWord", INVOKE_FUNC, {{L"MemoryAddress", "I4", kIn}, {L"Data", "I2", kNone}},
         L"Writes a new integer to a specified address."},
        {L"PeekDword", INVOKE_FUNC, {{L"MemoryAddress", "I4", kIn}, {L"Data", "PTR(I4)", kOut | kRet}},
         L"Reads one long at a specified address and returns it's value."},
        {L"PokeDword", INVOKE_FUNC, {{L"MemoryAddress", "I4", kIn}, {L"Data", "I4", kNone}},
         L"Writes a new long to a specified address."},
        {L"WriteByteToPort", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"Data", "UI1", kNone}},
         L"Sends a byte to a specified data port."},
        {L"WriteWordToPort", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"Data", "I2", kNone}},
         L"Sends an integer to a specified data port."},
        {L"WriteDwordToPort", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"Data", "I4", kNone}},
         L"Sends a long to a specified data port."},
        {L"ReadByteFromPort", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"Data", "PTR(UI1)", kOut | kRet}},
         L"Returns a byte from a specified data port."},
        {L"ReadWordFromPort", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"Data", "PTR(I2)", kOut | kRet}},
         L"Returns an integer from a specified data port."},
        {L"ReadDwordFromPort", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"Data", "PTR(I4)", kOut | kRet}},
         L"Returns a long from a specified data port."},
        {L"HiByte", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"HighByte", "PTR(UI1)", kOut | kRet}}, nullptr},
        {L"LoByte", INVOKE_FUNC, {{L"Value", "I2", kIn}, {L"LowByte", "PTR(UI1)", kOut | kRet}}, nullptr},
        {L"MakeWord", INVOKE_FUNC, {{L"LowByte", "UI1", kIn}, {L"HighByte", "UI1", kNone}, {L"Word", "PTR(I2)", kOut | kRet}}, nullptr},
        {L"SetBits", INVOKE_FUNC, {{L"Data", "PTR(VARIANT)", kIn | kOut}, {L"LowerBound", "I4", kNone}, {L"UpperBound", "I4", kNone}},
         L"Sets the range of bits determined by LowerBound and UpperBound to true."},
        {L"GetBits", INVOKE_FUNC, {{L"Data", "VARIANT", kIn}, {L"LowerBound", "I4", kNone}, {L"UpperBound", "I4", kNone}, {L"BitValue", "PTR(I4)", kOut | kRet}},
         L"Gets a maximum of 32 bits contained in the range of bits determined by LowerBound and UpperBound."},
    };
    return m;
}

struct Constant { const wchar_t* name; short value; const wchar_t* help; };

std::string TypeText(const TYPEDESC& t) {
    switch (t.vt) {
    case VT_I2: return "I2";
    case VT_I4: return "I4";
    case VT_UI1: return "UI1";
    case VT_BSTR: return "BSTR";
    case VT_VARIANT: return "VARIANT";
    case VT_HRESULT: return "HRESULT";
    case VT_PTR: return "PTR(" + TypeText(*t.lptdesc) + ")";
    default: return "vt" + std::to_string(t.vt);
    }
}

struct Doc { std::wstring name, doc, helpFile; DWORD ctx = 0; };

Doc DocOf(ITypeInfo* ti, MEMBERID id) {
    Bstr n, d, h;
    Doc r;
    EXPECT_EQ(S_OK, ti->GetDocumentation(id, n.Put(), d.Put(), &r.ctx, h.Put()));
    r.name = n.Str();
    r.doc = d.Str();
    r.helpFile = h.Str();
    return r;
}

class TypeLib : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(DllPath().empty()) << "run with --dll=<path of ZANBIT32.dll>";
        ASSERT_EQ(S_OK, LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, tl_.Put()))
            << "no type library in " << Narrow(DllPath());
    }
    ComPtr<ITypeInfo> Info(UINT i) {
        ComPtr<ITypeInfo> ti;
        EXPECT_EQ(S_OK, tl_->GetTypeInfo(i, ti.Put()));
        return ti;
    }
    void CheckModule(UINT index, const wchar_t* name, const wchar_t* help, const std::vector<Constant>& consts);

    ComPtr<ITypeLib> tl_;
};

TEST_F(TypeLib, LibraryAttributes) {
    TLIBATTR* la = nullptr;
    ASSERT_EQ(S_OK, tl_->GetLibAttr(&la));
    EXPECT_EQ(LIBID_ZANBIT32Lib, la->guid);
    EXPECT_EQ(1033u, la->lcid);
    EXPECT_EQ(1, la->wMajorVerNum);
    EXPECT_EQ(0, la->wMinorVerNum);
    EXPECT_EQ(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, la->syskind) << "the library is for the other word size";
    tl_->ReleaseTLibAttr(la);

    Bstr n, d, h;
    DWORD ctx = 99;
    ASSERT_EQ(S_OK, tl_->GetDocumentation(-1, n.Put(), d.Put(), &ctx, h.Put()));
    EXPECT_EQ(L"ZANBIT32Lib", n.Str());
    EXPECT_EQ(L"Halden ZBUtility 1.0 Library", d.Str());
    EXPECT_EQ(0u, ctx);
    EXPECT_EQ(L"", h.Str()) << "the library names no help file";

    ASSERT_EQ(4u, tl_->GetTypeInfoCount());
    const std::pair<const wchar_t*, TYPEKIND> order[] = {
        {L"zbErrors", TKIND_MODULE}, {L"zbBitShift", TKIND_MODULE}, {L"ZBUtility", TKIND_COCLASS}, {L"IZBUtility", TKIND_DISPATCH}};
    for (UINT i = 0; i < 4; ++i) {
        Bstr tn;
        ASSERT_EQ(S_OK, tl_->GetDocumentation(static_cast<INT>(i), tn.Put(), nullptr, nullptr, nullptr));
        EXPECT_EQ(order[i].first, tn.Str()) << "type " << i;
        TYPEKIND k{};
        ASSERT_EQ(S_OK, tl_->GetTypeInfoType(i, &k));
        if (i == 3) {
            EXPECT_TRUE(k == TKIND_DISPATCH || k == TKIND_INTERFACE) << "kind " << k;
        } else {
            EXPECT_EQ(order[i].second, k) << "type " << i;
        }
    }
}

void TypeLib::CheckModule(UINT index, const wchar_t* name, const wchar_t* help, const std::vector<Constant>& consts) {
    ComPtr<ITypeInfo> ti = Info(index);
    ASSERT_TRUE(ti);
    const Doc d = DocOf(ti.Get(), MEMBERID_NIL);
    EXPECT_EQ(name, d.name);
    EXPECT_EQ(help, d.doc);
    EXPECT_EQ(0u, d.ctx);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(S_OK, ti->GetTypeAttr(&ta));
    EXPECT_EQ(TKIND_MODULE, ta->typekind);
    const UINT vars = ta->cVars;
    ti->ReleaseTypeAttr(ta);
    ASSERT_EQ(consts.size(), vars) << Narrow(name);
    for (UINT i = 0; i < vars; ++i) {
        VARDESC* vd = nullptr;
        ASSERT_EQ(S_OK, ti->GetVarDesc(i, &vd));
        EXPECT_EQ(VAR_CONST, vd->varkind);
        EXPECT_EQ(VT_I2, vd->elemdescVar.tdesc.vt) << Narrow(consts[i].name);
        ASSERT_NE(nullptr, vd->lpvarValue);
        EXPECT_EQ(VT_I2, V_VT(vd->lpvarValue)) << Narrow(consts[i].name);
        EXPECT_EQ(consts[i].value, V_I2(vd->lpvarValue)) << Narrow(consts[i].name);
        const Doc cd = DocOf(ti.Get(), vd->memid);
        EXPECT_EQ(consts[i].name, cd.name);
        EXPECT_EQ(consts[i].help, cd.doc) << Narrow(consts[i].name);
        EXPECT_EQ(0u, cd.ctx);
        ti->ReleaseVarDesc(vd);
    }
}

TEST_F(TypeLib, ErrorModule) {
    CheckModule(0, L"zbErrors", L"Error Values", {
        {L"zbErrUnsupported", 7000, L"Function not supported under Windows NT."},
        {L"zbErrInvalidParam", 7001, L"Parameter invalid or out of range."},
        {L"zbErrNoRead", 7002, L"No read access to memory address."},
        {L"zbErrNoWrite", 7003, L"No write access to memory address."},
        {L"zbErrOutOfMemory", 7004, L"Out of memory."},
    });
}

TEST_F(TypeLib, ShiftModule) {
    CheckModule(1, L"zbBitShift", L"Bit Shift Types", {
        {L"zbShiftLogical", 0, L"Logically shift data."},
        {L"zbShiftArith", 1, L"Arithmatically shift data."},
        {L"zbShiftRoll", 2, L"Shift data with roll."},
    });
}

TEST_F(TypeLib, CoClass) {
    ComPtr<ITypeInfo> ti = Info(2);
    ASSERT_TRUE(ti);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(S_OK, ti->GetTypeAttr(&ta));
    EXPECT_EQ(TKIND_COCLASS, ta->typekind);
    EXPECT_EQ(CLSID_ZBUtility, ta->guid);
    EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FCANCREATE) << "flags 0x" << std::hex << ta->wTypeFlags;
    EXPECT_EQ(1, ta->cImplTypes);
    ti->ReleaseTypeAttr(ta);
    const Doc d = DocOf(ti.Get(), MEMBERID_NIL);
    EXPECT_EQ(L"ZBUtility", d.name);
    EXPECT_EQ(L"ZBUtility Class", d.doc);
    EXPECT_EQ(0u, d.ctx);
    INT implFlags = 0;
    ASSERT_EQ(S_OK, ti->GetImplTypeFlags(0, &implFlags));
    EXPECT_TRUE(implFlags & IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE href = 0;
    ASSERT_EQ(S_OK, ti->GetRefTypeOfImplType(0, &href));
    ComPtr<ITypeInfo> itf;
    ASSERT_EQ(S_OK, ti->GetRefTypeInfo(href, itf.Put()));
    TYPEATTR* ia = nullptr;
    ASSERT_EQ(S_OK, itf->GetTypeAttr(&ia));
    EXPECT_EQ(IID_IZBUtility, ia->guid);
    itf->ReleaseTypeAttr(ia);
}

class Interface : public TypeLib {
protected:
    void SetUp() override {
        TypeLib::SetUp();
        ASSERT_EQ(S_OK, tl_->GetTypeInfoOfGuid(IID_IZBUtility, top_.Put()));
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(S_OK, top_->GetTypeAttr(&ta));
        const TYPEKIND kind = ta->typekind;
        top_->ReleaseTypeAttr(ta);
        if (kind == TKIND_DISPATCH) {
            // The vtable half of the dual interface.
            HREFTYPE h = 0;
            ASSERT_EQ(S_OK, top_->GetRefTypeOfImplType(static_cast<UINT>(-1), &h));
            ASSERT_EQ(S_OK, top_->GetRefTypeInfo(h, vt_.Put()));
        } else {
            top_->AddRef();
            *vt_.Put() = top_.Get();
        }
    }
    ComPtr<ITypeInfo> top_, vt_;
};

TEST_F(Interface, Attributes) {
    for (ITypeInfo* ti : {top_.Get(), vt_.Get()}) {
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(S_OK, ti->GetTypeAttr(&ta));
        EXPECT_EQ(IID_IZBUtility, ta->guid);
        // The vtable half carries all four; the dispatch half of a dual
        // interface is dispatchable by nature and not itself a vtable
        // interface, so the automation flag is not asked of it.
        WORD want = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FHIDDEN;
        if (ta->typekind == TKIND_INTERFACE) want |= TYPEFLAG_FOLEAUTOMATION;
        EXPECT_EQ(want, ta->wTypeFlags & want) << "kind " << ta->typekind << " flags 0x" << std::hex << ta->wTypeFlags;
        EXPECT_FALSE(ta->wTypeFlags & (TYPEFLAG_FCANCREATE | TYPEFLAG_FRESTRICTED));
        ti->ReleaseTypeAttr(ta);
        const Doc d = DocOf(ti, MEMBERID_NIL);
        EXPECT_EQ(L"IZBUtility", d.name);
        EXPECT_EQ(L"ZBUtility Class", d.doc);
        EXPECT_EQ(0u, d.ctx);
    }
    // Derived from IDispatch, taken from the standard OLE library.
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(S_OK, vt_->GetTypeAttr(&ta));
    EXPECT_EQ(TKIND_INTERFACE, ta->typekind);
    EXPECT_EQ(1, ta->cImplTypes);
    EXPECT_EQ(36, ta->cFuncs);
    EXPECT_EQ((7 + 36) * sizeof(void*), ta->cbSizeVft) << "vtable size";
    vt_->ReleaseTypeAttr(ta);
    HREFTYPE h = 0;
    ASSERT_EQ(S_OK, vt_->GetRefTypeOfImplType(0, &h));
    ComPtr<ITypeInfo> base;
    ASSERT_EQ(S_OK, vt_->GetRefTypeInfo(h, base.Put()));
    TYPEATTR* ba = nullptr;
    ASSERT_EQ(S_OK, base->GetTypeAttr(&ba));
    EXPECT_EQ(IID_IDispatch, ba->guid);
    base->ReleaseTypeAttr(ba);
    ComPtr<ITypeLib> baseLib;
    UINT idx = 0;
    ASSERT_EQ(S_OK, base->GetContainingTypeLib(baseLib.Put(), &idx));
    TLIBATTR* la = nullptr;
    ASSERT_EQ(S_OK, baseLib->GetLibAttr(&la));
    EXPECT_EQ(kStdOleLibid, la->guid) << "IDispatch does not come from stdole2.tlb";
    baseLib->ReleaseTLibAttr(la);
}

TEST_F(Interface, MembersInOrder) {
    const auto& want = Members();
    ASSERT_EQ(36u, want.size());
    for (UINT i = 0; i < want.size(); ++i) {
        const Member& m = want[i];
        SCOPED_TRACE(Narrow(m.name));
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(S_OK, vt_->GetFuncDesc(i, &fd));
        EXPECT_EQ(static_cast<MEMBERID>(i + 1), fd->memid) << "DISPID";
        EXPECT_EQ(m.kind, fd->invkind);
        EXPECT_EQ(FUNC_PUREVIRTUAL, fd->funckind);
        EXPECT_EQ(CC_STDCALL, fd->callconv);
        EXPECT_EQ(static_cast<SHORT>((7 + i) * sizeof(void*)), fd->oVft) << "vtable slot";
        EXPECT_EQ("HRESULT", TypeText(fd->elemdescFunc.tdesc));
        EXPECT_EQ(0, fd->cParamsOpt);
        ASSERT_EQ(static_cast<SHORT>(m.params.size()), fd->cParams);

        std::vector<BSTR> names(m.params.size() + 1, nullptr);
        UINT got = 0;
        ASSERT_EQ(S_OK, vt_->GetNames(fd->memid, names.data(), static_cast<UINT>(names.size()), &got));
        EXPECT_EQ(names.size(), got);
        EXPECT_EQ(std::wstring(m.name), std::wstring(names[0] ? names[0] : L""));
        for (size_t p = 0; p < m.params.size(); ++p) {
            const ELEMDESC& e = fd->lprgelemdescParam[p];
            const std::wstring pn = (p + 1 < got && names[p + 1]) ? names[p + 1] : L"";
            EXPECT_EQ(std::wstring(m.params[p].name), pn) << "parameter " << p;
            EXPECT_EQ(m.params[p].type, TypeText(e.tdesc)) << "parameter " << p << " " << Narrow(pn);
            EXPECT_EQ(m.params[p].flags, e.paramdesc.wParamFlags & (kIn | kOut | kRet | PARAMFLAG_FOPT))
                << "parameter " << p << " " << Narrow(pn) << " flags";
        }
        for (BSTR b : names) SysFreeString(b);

        const Doc d = DocOf(vt_.Get(), fd->memid);
        if (m.help) {
            EXPECT_EQ(std::wstring(m.help), d.doc);
        } else {
            EXPECT_FALSE(d.doc.empty()) << "no help string";
        }
        EXPECT_EQ(0u, d.ctx);
        vt_->ReleaseFuncDesc(fd);
    }
}

TEST_F(Interface, DispatchHalfMapsNames) {
    for (DISPID id = 1; id <= kMemberCount; ++id) {
        LPOLESTR name = const_cast<LPOLESTR>(kMemberNames[id]);
        MEMBERID got = MEMBERID_NIL;
        EXPECT_EQ(S_OK, top_->GetIDsOfNames(&name, 1, &got)) << Narrow(name);
        EXPECT_EQ(id, got) << Narrow(name);
    }
}

// --- resources and exports ----------------------------------------------------

class Module : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(DllPath().empty());
        module_ = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_);
    }
    void TearDown() override { if (module_) FreeLibrary(module_); }
    HMODULE module_ = nullptr;
};

TEST_F(Module, Resources) {
    EXPECT_NE(nullptr, FindResourceExW(module_, L"TYPELIB", MAKEINTRESOURCEW(1), 1033)) << "TYPELIB 1, language 1033";
    wchar_t buf[300] = {};
    const int n = LoadStringW(module_, 1, buf, 300);
    EXPECT_EQ(L"ZBUtility Class", std::wstring(buf, n > 0 ? n : 0));
}

TEST_F(Module, VersionRecord) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* ffi = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&ffi), &len));
    EXPECT_EQ(0x00010000u, ffi->dwFileVersionMS);
    EXPECT_EQ(0u, ffi->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, ffi->dwProductVersionMS);
    EXPECT_EQ(0u, ffi->dwProductVersionLS);

    struct { WORD lang, cp; }* tr = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len));
    ASSERT_GE(len, 4u);
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", tr->lang, tr->cp);
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileDescription", L"Halden ZBUtility 1.0 Library"},
        {L"FileVersion", L"1.00.000"},
        {L"ProductVersion", L"1.00.000"},
        {L"InternalName", L"ZANBIT32"},
        {L"OriginalFilename", L"ZANBIT32.DLL"},
    };
    for (const auto& [key, want] : strings) {
        wchar_t* value = nullptr;
        const std::wstring q = std::wstring(block) + key;
        ASSERT_TRUE(VerQueryValueW(data.data(), q.c_str(), reinterpret_cast<void**>(&value), &len)) << Narrow(key);
        EXPECT_EQ(std::wstring(want), std::wstring(value)) << Narrow(key);
    }
    wchar_t* value = nullptr;
    EXPECT_TRUE(VerQueryValueW(data.data(), (std::wstring(block) + L"OLESelfRegister").c_str(),
                               reinterpret_cast<void**>(&value), &len))
        << "no OLESelfRegister entry";
}

TEST(Exports, UndecoratedEntryPoints) {
    HMODULE m = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(nullptr, m);
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
        EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(m, name))) << name;
    }
    FreeLibrary(m);
}

}  // namespace
