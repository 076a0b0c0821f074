#include <initguid.h>

#include "zb_test_support.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace zbtest {

const wchar_t kClsidText[] = L"{5B1D2A46-7C3E-11D0-9A4B-6C2F1E0D3A57}";
const wchar_t kIidText[] = L"{5B1D2A42-7C3E-11D0-9A4B-6C2F1E0D3A57}";
const wchar_t kLibidText[] = L"{5B1D2A40-7C3E-11D0-9A4B-6C2F1E0D3A57}";

const wchar_t* const kMemberNames[kMemberCount + 1] = {
    nullptr,
    L"AddUnsignedInt", L"AddUnsignedLong", L"HiWord", L"LoWord", L"MakeLong",
    L"ShiftIntLeft", L"ShiftIntRight", L"ShiftLongLeft", L"ShiftLongRight",
    L"Signed", L"ConstrainInt", L"ConstrainLong", L"Unsigned", L"ClearBits",
    L"Version", L"AllocMemory", L"FreeMemory", L"Max", L"Min", L"PeekByte",
    L"PokeByte", L"PeekWord", L"PokeWord", L"PeekDword", L"PokeDword",
    L"WriteByteToPort", L"WriteWordToPort", L"WriteDwordToPort",
    L"ReadByteFromPort", L"ReadWordFromPort", L"ReadDwordFromPort",
    L"HiByte", L"LoByte", L"MakeWord", L"SetBits", L"GetBits",
};

// --- command line -----------------------------------------------------------

namespace {
std::wstring g_dllPath;
}

const std::wstring& DllPath() { return g_dllPath; }

std::wstring ToWindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return std::wstring(path.begin(), path.end());
    }
    // Under Wine the host file system is reachable through a drive; ask Wine
    // for the name when it can tell, else use the usual Z: mapping.
    using ToDos = WCHAR* (CDECL*)(LPCSTR);
    HMODULE k32 = GetModuleHandleW(L"kernel32.dll");
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(GetProcAddress(k32, "wine_get_dos_file_name")));
    if (toDos) {
        if (WCHAR* dos = toDos(path.c_str())) {
            std::wstring r(dos);
            HeapFree(GetProcessHeap(), 0, dos);
            return r;
        }
    }
    std::wstring r = L"Z:";
    for (char c : path) r += (c == '/') ? L'\\' : static_cast<wchar_t>(c);
    return r;
}

void ParseCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--dll=", 0) == 0) g_dllPath = ToWindowsPath(a.substr(6));
    }
}

// --- arrays -----------------------------------------------------------------

SAFEARRAY* MakeArray(VARTYPE vt, ULONG count, const std::vector<BYTE>& bytes) {
    SAFEARRAY* sa = SafeArrayCreateVector(vt, 0, count);
    if (!sa) return nullptr;
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(sa, &data))) {
        const size_t len = static_cast<size_t>(SafeArrayGetElemsize(sa)) * count;
        std::memset(data, 0, len);
        std::memcpy(data, bytes.data(), std::min(len, bytes.size()));
        SafeArrayUnaccessData(sa);
    }
    return sa;
}

std::vector<BYTE> ArrayBytes(SAFEARRAY* sa) {
    std::vector<BYTE> r;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(sa, 1, &lo);
    SafeArrayGetUBound(sa, 1, &hi);
    const size_t len = static_cast<size_t>(SafeArrayGetElemsize(sa)) * static_cast<size_t>(hi - lo + 1);
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(sa, &data))) {
        r.assign(static_cast<BYTE*>(data), static_cast<BYTE*>(data) + len);
        SafeArrayUnaccessData(sa);
    }
    return r;
}

// --- error information ------------------------------------------------------

ErrorFields TakeErrorInfo() {
    ErrorFields f;
    ComPtr<IErrorInfo> ei;
    if (GetErrorInfo(0, ei.Put()) != S_OK || !ei) return f;
    f.present = true;
    Bstr s;
    if (SUCCEEDED(ei->GetSource(s.Put()))) f.source = s.Str();
    if (SUCCEEDED(ei->GetDescription(s.Put()))) f.description = s.Str();
    if (SUCCEEDED(ei->GetHelpFile(s.Put()))) f.helpFile = s.Str();
    ei->GetHelpContext(&f.helpContext);
    f.haveGuid = SUCCEEDED(ei->GetGUID(&f.guid));
    return f;
}

bool ThreadHasErrorInfo() {
    ComPtr<IErrorInfo> ei;
    const HRESULT hr = GetErrorInfo(0, ei.Put());
    if (hr == S_OK && ei) {
        // Put it back: looking must not change the state under test.
        SetErrorInfo(0, ei.Get());
        return true;
    }
    return false;
}

const char* ModeName(Mode m) {
    switch (m) {
    case Mode::Early: return "Early";
    case Mode::ByDispId: return "ByDispId";
    case Mode::ByName: return "ByName";
    }
    return "?";
}

// --- the member caller ------------------------------------------------------

namespace {

constexpr short kSentI2 = 0x5A5B;
constexpr LONG kSentI4 = 0x5A5B5C5D;
constexpr BYTE kSentUI1 = 0x5C;

short I2(const std::vector<Var>& a, size_t i) { return V_I2(&a.at(i).v); }
LONG I4(const std::vector<Var>& a, size_t i) { return V_I4(&a.at(i).v); }
BYTE UI1(const std::vector<Var>& a, size_t i) { return V_UI1(&a.at(i).v); }

Outcome CallEarly(IZBUtility* zb, DISPID id, const std::vector<Var>& a) {
    Outcome o;
    HRESULT hr = E_NOTIMPL;
    short s = kSentI2;
    LONG l = kSentI4;
    BYTE b = kSentUI1;
    enum { None, RI2, RI4, RUI1, RVar, RBstr } kind = None;
    Var rv;
    BSTR bs = nullptr;
    switch (id) {
    case AddUnsignedInt: hr = zb->AddUnsignedInt(I2(a, 0), I2(a, 1), &s); kind = RI2; break;
    case AddUnsignedLong: hr = zb->AddUnsignedLong(I4(a, 0), I4(a, 1), &l); kind = RI4; break;
    case HiWord: hr = zb->HiWord(I4(a, 0), &s); kind = RI2; break;
    case LoWord: hr = zb->LoWord(I4(a, 0), &s); kind = RI2; break;
    case MakeLong: hr = zb->MakeLong(I2(a, 0), I2(a, 1), &l); kind = RI4; break;
    case ShiftIntLeft: hr = zb->ShiftIntLeft(I2(a, 0), I4(a, 1), I4(a, 2), &s); kind = RI2; break;
    case ShiftIntRight: hr = zb->ShiftIntRight(I2(a, 0), I4(a, 1), I4(a, 2), &s); kind = RI2; break;
    case ShiftLongLeft: hr = zb->ShiftLongLeft(I4(a, 0), I4(a, 1), I4(a, 2), &l); kind = RI4; break;
    case ShiftLongRight: hr = zb->ShiftLongRight(I4(a, 0), I4(a, 1), I4(a, 2), &l); kind = RI4; break;
    case Signed: hr = zb->Signed(I4(a, 0), &s); kind = RI2; break;
    case ConstrainInt: hr = zb->ConstrainInt(I2(a, 0), I2(a, 1), I2(a, 2), &s); kind = RI2; break;
    case ConstrainLong: hr = zb->ConstrainLong(I4(a, 0), I4(a, 1), I4(a, 2), &l); kind = RI4; break;
    case Unsigned: hr = zb->Unsigned(I2(a, 0), &l); kind = RI4; break;
    case ClearBits:
    case SetBits: {
        VARIANT* data = nullptr;
        if (V_VT(&a.at(0).v) == (VT_BYREF | VT_VARIANT)) data = V_VARIANTREF(&a.at(0).v);
        hr = (id == ClearBits) ? zb->ClearBits(data, I4(a, 1), I4(a, 2))
                               : zb->SetBits(data, I4(a, 1), I4(a, 2));
        break;
    }
    case Version: hr = zb->get_Version(&bs); kind = RBstr; break;
    case AllocMemory: hr = zb->AllocMemory(I4(a, 0), &l); kind = RI4; break;
    case FreeMemory: hr = zb->FreeMemory(I4(a, 0)); break;
    case Max: hr = zb->Max(a.at(0).v, a.at(1).v, &rv.v); kind = RVar; break;
    case Min: hr = zb->Min(a.at(0).v, a.at(1).v, &rv.v); kind = RVar; break;
    case PeekByte: hr = zb->PeekByte(I4(a, 0), &b); kind = RUI1; break;
    case PokeByte: hr = zb->PokeByte(I4(a, 0), UI1(a, 1)); break;
    case PeekWord: hr = zb->PeekWord(I4(a, 0), &s); kind = RI2; break;
    case PokeWord: hr = zb->PokeWord(I4(a, 0), I2(a, 1)); break;
    case PeekDword: hr = zb->PeekDword(I4(a, 0), &l); kind = RI4; break;
    case PokeDword: hr = zb->PokeDword(I4(a, 0), I4(a, 1)); break;
    case WriteByteToPort: hr = zb->WriteByteToPort(I2(a, 0), UI1(a, 1)); break;
    case WriteWordToPort: hr = zb->WriteWordToPort(I2(a, 0), I2(a, 1)); break;
    case WriteDwordToPort: hr = zb->WriteDwordToPort(I2(a, 0), I4(a, 1)); break;
    case ReadByteFromPort: hr = zb->ReadByteFromPort(I2(a, 0), &b); kind = RUI1; break;
    case ReadWordFromPort: hr = zb->ReadWordFromPort(I2(a, 0), &s); kind = RI2; break;
    case ReadDwordFromPort: hr = zb->ReadDwordFromPort(I2(a, 0), &l); kind = RI4; break;
    case HiByte: hr = zb->HiByte(I2(a, 0), &b); kind = RUI1; break;
    case LoByte: hr = zb->LoByte(I2(a, 0), &b); kind = RUI1; break;
    case MakeWord: hr = zb->MakeWord(UI1(a, 0), UI1(a, 1), &s); kind = RI2; break;
    case GetBits: hr = zb->GetBits(a.at(0).v, I4(a, 1), I4(a, 2), &l); kind = RI4; break;
    default: break;
    }
    o.hr = o.invokeHr = hr;
    o.error = TakeErrorInfo();
    switch (kind) {
    case RI2: o.resultWritten = SUCCEEDED(hr) || s != kSentI2; o.value = Var::I2(s); break;
    case RI4: o.resultWritten = SUCCEEDED(hr) || l != kSentI4; o.value = Var::I4(l); break;
    case RUI1: o.resultWritten = SUCCEEDED(hr) || b != kSentUI1; o.value = Var::UI1(b); break;
    case RVar: o.resultWritten = rv.Vt() != VT_EMPTY; o.value = rv; break;
    case RBstr:
        o.resultWritten = bs != nullptr;
        if (bs) { V_VT(&o.value.v) = VT_BSTR; V_BSTR(&o.value.v) = bs; }
        break;
    case None: break;
    }
    return o;
}

Outcome CallLate(IZBUtility* zb, Mode mode, DISPID id, const std::vector<Var>& a) {
    Outcome o;
    DISPID use = id;
    if (mode == Mode::ByName) {
        LPOLESTR name = const_cast<LPOLESTR>(kMemberNames[id]);
        use = DISPID_UNKNOWN;
        const HRESULT hr = zb->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &use);
        if (FAILED(hr)) { o.hr = o.invokeHr = hr; return o; }
    }
    std::vector<VARIANTARG> rev(a.size());
    for (size_t i = 0; i < a.size(); ++i) rev[a.size() - 1 - i] = a[i].v;   // shallow copies
    DISPPARAMS dp{rev.empty() ? nullptr : rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
    EXCEPINFO ex{};
    UINT argErr = 0;
    const WORD flags = (id == Version) ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
    o.invokeHr = zb->Invoke(use, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &o.value.v, &ex, &argErr);
    o.hr = o.invokeHr;
    if (o.invokeHr == DISP_E_EXCEPTION) {
        if (ex.pfnDeferredFillIn) ex.pfnDeferredFillIn(&ex);
        o.hr = ex.scode ? ex.scode : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, ex.wCode);
        o.error.present = true;
        if (ex.bstrSource) o.error.source.assign(ex.bstrSource, SysStringLen(ex.bstrSource));
        if (ex.bstrDescription) o.error.description.assign(ex.bstrDescription, SysStringLen(ex.bstrDescription));
        if (ex.bstrHelpFile) o.error.helpFile.assign(ex.bstrHelpFile, SysStringLen(ex.bstrHelpFile));
        o.error.helpContext = ex.dwHelpContext;
    }
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrHelpFile);
    o.resultWritten = o.value.Vt() != VT_EMPTY;
    return o;
}

}  // namespace

Outcome Call(IZBUtility* zb, Mode mode, DISPID id, const std::vector<Var>& args) {
    return mode == Mode::Early ? CallEarly(zb, id, args) : CallLate(zb, mode, id, args);
}

HRESULT CreateUtility(IZBUtility** out) {
    return CoCreateInstance(CLSID_ZBUtility, nullptr, CLSCTX_INPROC_SERVER, IID_IZBUtility,
                            reinterpret_cast<void**>(out));
}

void* AllocLowPages(SIZE_T pages, DWORD protect) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const SIZE_T size = pages * si.dwPageSize;
    void* p = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, protect);
    if (p && BelowI4Limit(p, size)) return p;
    if (p) VirtualFree(p, 0, MEM_RELEASE);
    // Try explicit places in the low 4 GiB.
    for (uintptr_t at = 0x10000000; at + size <= 0xF0000000u; at += 0x01000000) {
        p = VirtualAlloc(reinterpret_cast<void*>(at), size, MEM_RESERVE | MEM_COMMIT, protect);
        if (p) return p;
    }
    return nullptr;
}

std::wstring ModuleDirectory(HMODULE module) {
    wchar_t buf[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(module, buf, MAX_PATH);
    std::wstring s(buf, n);
    const size_t cut = s.find_last_of(L"\\");
    return cut == std::wstring::npos ? s : s.substr(0, cut);
}

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::string Narrow(const std::wstring& s) {
    std::string r;
    for (wchar_t c : s) r += (c < 128) ? static_cast<char>(c) : '?';
    return r;
}

std::wstring GuidText(const GUID& g) {
    wchar_t buf[64] = {};
    StringFromGUID2(g, buf, 64);
    return buf;
}

bool KeyExists(const std::wstring& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

bool ReadString(const std::wstring& path, const wchar_t* name, std::wstring* out) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    wchar_t buf[1024] = {};
    DWORD type = 0, size = sizeof(buf) - sizeof(wchar_t);
    const LONG rc = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    *out = std::wstring(buf);
    return true;
}

}  // namespace zbtest

namespace zbtest {

namespace {

void ExpectValue(std::vector<std::string>& out, const std::wstring& key, const wchar_t* name,
                 const std::wstring& want, bool ignoreCase = false) {
    std::wstring got;
    const std::string where = "HKCR\\" + Narrow(key) + (name ? " [" + Narrow(name) + "]" : " (default)");
    if (!ReadString(key, name, &got)) {
        out.push_back(where + " missing");
    } else if (ignoreCase ? Lower(got) != Lower(want) : got != want) {
        out.push_back(where + " is \"" + Narrow(got) + "\", expected \"" + Narrow(want) + "\"");
    }
}

}  // namespace

std::vector<std::string> RegistrationProblems(const std::wstring& dllPath) {
    std::vector<std::string> p;
    const std::wstring clsid = kClsidText;
    const std::wstring clsKey = L"CLSID\\" + clsid;
    ExpectValue(p, L"Zanbit32.ZBUtility.1", nullptr, L"ZBUtility Class");
    ExpectValue(p, L"Zanbit32.ZBUtility.1\\CLSID", nullptr, clsid);
    ExpectValue(p, L"Zanbit32.ZBUtility", nullptr, L"ZBUtility Class");
    ExpectValue(p, L"Zanbit32.ZBUtility\\CLSID", nullptr, clsid);
    ExpectValue(p, clsKey, nullptr, L"ZBUtility Class");
    ExpectValue(p, clsKey + L"\\ProgID", nullptr, L"Zanbit32.ZBUtility.1");
    ExpectValue(p, clsKey + L"\\VersionIndependentProgID", nullptr, L"Zanbit32.ZBUtility");
    ExpectValue(p, clsKey + L"\\InprocServer32", nullptr, dllPath, true);
    ExpectValue(p, clsKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    return p;
}

std::vector<std::string> LeftoverClassKeys() {
    std::vector<std::string> p;
    for (const std::wstring& k : {std::wstring(L"Zanbit32.ZBUtility.1"), std::wstring(L"Zanbit32.ZBUtility"),
                                 std::wstring(L"CLSID\\") + kClsidText}) {
        if (KeyExists(k)) p.push_back("HKCR\\" + Narrow(k) + " still present");
    }
    return p;
}

std::vector<std::string> TypeLibRegistrationProblems(const std::wstring& dllPath) {
    std::vector<std::string> p;
    ITypeLib* tl = nullptr;
    const HRESULT hr = LoadRegTypeLib(LIBID_ZANBIT32Lib, 1, 0, 1033, &tl);
    if (hr != S_OK) {
        char buf[64];
        snprintf(buf, sizeof buf, "LoadRegTypeLib failed: 0x%08lx", static_cast<unsigned long>(hr));
        p.push_back(buf);
    } else {
        tl->Release();
    }
    const std::wstring ver = std::wstring(L"TypeLib\\") + kLibidText + L"\\1.0";
    ExpectValue(p, ver, nullptr, L"Halden ZBUtility 1.0 Library");
    const wchar_t* plat = sizeof(void*) == 8 ? L"win64" : L"win32";
    std::wstring path;
    if (ReadString(ver + L"\\409\\" + plat, nullptr, &path) || ReadString(ver + L"\\0\\" + plat, nullptr, &path)) {
        if (Lower(path) != Lower(dllPath))
            p.push_back("type library registered at \"" + Narrow(path) + "\", expected \"" + Narrow(dllPath) + "\"");
    } else {
        p.push_back("no " + Narrow(plat) + " path under HKCR\\" + Narrow(ver));
    }
    const std::wstring dir = dllPath.substr(0, dllPath.find_last_of(L"\\/:") + 1);
    std::wstring helpDir;
    if (!ReadString(ver + L"\\HELPDIR", nullptr, &helpDir)) {
        p.push_back("no HELPDIR under HKCR\\" + Narrow(ver));
    } else if (Lower(helpDir) != Lower(dir) && Lower(helpDir + L"\\") != Lower(dir)) {
        p.push_back("HELPDIR \"" + Narrow(helpDir) + "\", expected \"" + Narrow(dir) + "\"");
    }
    return p;
}

}  // namespace zbtest
