// Shared helpers of the ZANBIT32 client tests: variants, strings, paths,
// error information and a caller that reaches every IZBUtility member
// through early binding or through IDispatch::Invoke.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <cguid.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ZANBIT32_h.h"

namespace zbtest {

// --- command line -----------------------------------------------------------

// Path of ZANBIT32.dll given on the command line as --dll=<path>; a host path
// ("/work/...") is turned into the matching Windows path.
const std::wstring& DllPath();
void ParseCommandLine(int argc, char** argv);
std::wstring ToWindowsPath(const std::string& path);

// --- small RAII wrappers ----------------------------------------------------

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(o.Detach()) {}
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    T** Put() { Reset(); return &p_; }
    void** PutVoid() { Reset(); return reinterpret_cast<void**>(&p_); }
    void Reset() { if (p_) { p_->Release(); p_ = nullptr; } }
    T* Detach() { T* p = p_; p_ = nullptr; return p; }
    explicit operator bool() const { return p_ != nullptr; }
private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* s) : b_(SysAllocString(s)) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR* Put() { SysFreeString(b_); b_ = nullptr; return &b_; }
    BSTR Get() const { return b_; }
    std::wstring Str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }
private:
    BSTR b_ = nullptr;
};

class Var {
public:
    Var() { VariantInit(&v); }
    ~Var() { VariantClear(&v); }
    Var(const Var& o) { VariantInit(&v); VariantCopy(&v, const_cast<VARIANT*>(&o.v)); }
    Var& operator=(const Var& o) {
        if (this != &o) VariantCopy(&v, const_cast<VARIANT*>(&o.v));
        return *this;
    }
    VARTYPE Vt() const { return V_VT(&v); }

    static Var I2(short x) { Var r; V_VT(&r.v) = VT_I2; V_I2(&r.v) = x; return r; }
    static Var I4(LONG x) { Var r; V_VT(&r.v) = VT_I4; V_I4(&r.v) = x; return r; }
    static Var UI1(BYTE x) { Var r; V_VT(&r.v) = VT_UI1; V_UI1(&r.v) = x; return r; }
    static Var R4(float x) { Var r; V_VT(&r.v) = VT_R4; V_R4(&r.v) = x; return r; }
    static Var R8(double x) { Var r; V_VT(&r.v) = VT_R8; V_R8(&r.v) = x; return r; }
    static Var Date(double x) { Var r; V_VT(&r.v) = VT_DATE; V_DATE(&r.v) = x; return r; }
    static Var Cy(LONGLONG scaled) { Var r; V_VT(&r.v) = VT_CY; V_CY(&r.v).int64 = scaled; return r; }
    static Var Bool(bool x) { Var r; V_VT(&r.v) = VT_BOOL; V_BOOL(&r.v) = x ? VARIANT_TRUE : VARIANT_FALSE; return r; }
    static Var Str(const wchar_t* s) { Var r; V_VT(&r.v) = VT_BSTR; V_BSTR(&r.v) = SysAllocString(s); return r; }
    static Var Null() { Var r; V_VT(&r.v) = VT_NULL; return r; }
    // A variant that refers to another variant (not owned).
    static Var RefTo(VARIANT* target) { Var r; V_VT(&r.v) = VT_BYREF | VT_VARIANT; V_VARIANTREF(&r.v) = target; return r; }

    VARIANT v;
};

// One-dimensional safe array of `vt` with `count` elements filled from `bytes`
// (as raw bytes in memory order; missing bytes are 0).
SAFEARRAY* MakeArray(VARTYPE vt, ULONG count, const std::vector<BYTE>& bytes = {});
std::vector<BYTE> ArrayBytes(SAFEARRAY* sa);

// --- error information ------------------------------------------------------

struct ErrorFields {
    bool present = false;
    std::wstring source, description, helpFile;
    DWORD helpContext = 0;
    GUID guid{};
    bool haveGuid = false;   // only the thread's error object carries the GUID
};

// Takes (and so clears) the thread's error information.
ErrorFields TakeErrorInfo();
bool ThreadHasErrorInfo();

// --- the member caller ------------------------------------------------------

enum class Mode { Early, ByDispId, ByName };
const char* ModeName(Mode m);

constexpr int kMemberCount = 36;
// Member names by DISPID (index 0 unused).
extern const wchar_t* const kMemberNames[kMemberCount + 1];

enum Member : DISPID {
    AddUnsignedInt = 1, AddUnsignedLong, HiWord, LoWord, MakeLong, ShiftIntLeft,
    ShiftIntRight, ShiftLongLeft, ShiftLongRight, Signed, ConstrainInt, ConstrainLong,
    Unsigned, ClearBits, Version, AllocMemory, FreeMemory, Max, Min, PeekByte,
    PokeByte, PeekWord, PokeWord, PeekDword, PokeDword, WriteByteToPort,
    WriteWordToPort, WriteDwordToPort, ReadByteFromPort, ReadWordFromPort,
    ReadDwordFromPort, HiByte, LoByte, MakeWord, SetBits, GetBits
};

struct Outcome {
    HRESULT hr = E_FAIL;        // the member's own result (DISP_E_EXCEPTION unwrapped)
    HRESULT invokeHr = E_FAIL;  // what Invoke itself returned (early binding: hr)
    bool resultWritten = false; // the result parameter was written
    Var value;                  // the result, typed as the member declares it
    ErrorFields error;          // the thread's error information or the exception record
};

// Calls member `id` of `zb` with `args` in declaration order. For ClearBits
// and SetBits the first argument must be a variant that refers to the
// caller's container (Var::RefTo); early binding hands the referenced variant
// itself to the member.
Outcome Call(IZBUtility* zb, Mode mode, DISPID id, const std::vector<Var>& args);

// --- the component ----------------------------------------------------------

// A new object through CoCreateInstance (the registered server).
HRESULT CreateUtility(IZBUtility** out);

// Converts an I4 address handed out by AllocMemory to a pointer: the I4 is
// the address's bit pattern, zero-extended.
inline void* AddressOf(LONG a) { return reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint32_t>(a))); }
// Reverse: only valid for addresses below 4 GiB.
inline LONG I4Of(const void* p) { return static_cast<LONG>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p))); }

// True when the `size` bytes at `p` lie below 4 GiB, where an I4 can name them.
inline bool BelowI4Limit(const void* p, uint64_t size) {
#ifdef _WIN64
    return reinterpret_cast<uintptr_t>(p) + size <= 0x100000000ull;
#else
    (void)p;
    (void)size;
    return true;
#endif
}

// A fresh region of `pages` pages below 4 GiB with the given protection, or
// nullptr. Free with VirtualFree(p, 0, MEM_RELEASE).
void* AllocLowPages(SIZE_T pages, DWORD protect);

std::wstring ModuleDirectory(HMODULE module);   // without the trailing backslash
std::wstring Lower(std::wstring s);
std::string Narrow(const std::wstring& s);
std::wstring GuidText(const GUID& g);

// Registry helpers (HKEY_CLASSES_ROOT).
bool KeyExists(const std::wstring& path);
// Default value (name == nullptr) or a named string value; false when absent.
bool ReadString(const std::wstring& path, const wchar_t* name, std::wstring* out);

extern const wchar_t kClsidText[];
extern const wchar_t kIidText[];
extern const wchar_t kLibidText[];

}  // namespace zbtest

namespace zbtest {

// Differences between the registry and what a registered ZANBIT32 at
// `dllPath` writes (empty when everything is in place).
std::vector<std::string> RegistrationProblems(const std::wstring& dllPath);
// Keys of the class registration that are still present.
std::vector<std::string> LeftoverClassKeys();
// Problems with the type library registration (it must stay registered).
std::vector<std::string> TypeLibRegistrationProblems(const std::wstring& dllPath);

}  // namespace zbtest
