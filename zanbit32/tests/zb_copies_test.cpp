// Fresh copies of ZANBIT32.dll under other names, each loaded as a module of
// its own: a copy whose type library has no zbErrors module, a copy without
// an embedded type library (registration falls back to the ".tlb" beside
// it), and an untouched copy for races on the class object and lock count.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "zb_test_support.h"

using namespace zbtest;

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using SimpleFn = HRESULT(STDAPICALLTYPE*)();

std::wstring TempDir() {
    static std::wstring dir = [] {
        wchar_t buf[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, buf);
        std::wstring d = std::wstring(buf) + L"zbtest-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(d.c_str(), nullptr);
        return d;
    }();
    return dir;
}

std::vector<BYTE> ReadFileBytes(const std::wstring& path) {
    std::vector<BYTE> r;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return r;
    const DWORD size = GetFileSize(h, nullptr);
    r.resize(size);
    DWORD got = 0;
    if (!ReadFile(h, r.data(), size, &got, nullptr) || got != size) r.clear();
    CloseHandle(h);
    return r;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<BYTE>& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == bytes.size();
}

struct Resource {
    std::wstring type, name;   // "#<id>" for numeric identifiers
    WORD lang;
    std::vector<BYTE> data;
};

std::wstring ResName(LPCWSTR n) {
    return IS_INTRESOURCE(n) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(n)) : std::wstring(n);
}
LPCWSTR ResId(const std::wstring& n) {
    return n[0] == L'#' ? MAKEINTRESOURCEW(std::stoi(n.substr(1))) : n.c_str();
}

// Every resource of the component except its type library.
struct EnumContext {
    std::vector<Resource>* out;
    std::wstring type, name;
};

BOOL CALLBACK OnLanguage(HMODULE m, LPCWSTR type, LPCWSTR name, WORD lang, LONG_PTR p) {
    auto* c = reinterpret_cast<EnumContext*>(p);
    HRSRC r = FindResourceExW(m, type, name, lang);
    const BYTE* d = r ? static_cast<const BYTE*>(LockResource(LoadResource(m, r))) : nullptr;
    if (d) c->out->push_back({c->type, c->name, lang, std::vector<BYTE>(d, d + SizeofResource(m, r))});
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR p) {
    reinterpret_cast<EnumContext*>(p)->name = ResName(name);
    EnumResourceLanguagesW(m, type, name, OnLanguage, p);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE m, LPWSTR type, LONG_PTR p) {
    auto* c = reinterpret_cast<EnumContext*>(p);
    c->type = ResName(type);
    if (c->type != L"TYPELIB") EnumResourceNamesW(m, type, OnName, p);
    return TRUE;
}

std::vector<Resource> ResourcesWithoutTypeLib() {
    std::vector<Resource> all;
    HMODULE m = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!m) return all;
    EnumContext ctx{&all, {}, {}};
    EnumResourceTypesW(m, OnType, reinterpret_cast<LONG_PTR>(&ctx));
    FreeLibrary(m);
    return all;
}

// Replaces TYPELIB 1 of the file with `bytes`, or with none at all.
bool SetTypeLibResource(const std::wstring& file, const std::vector<BYTE>* bytes) {
    const std::vector<Resource> keep = ResourcesWithoutTypeLib();
    if (keep.empty()) return false;
    HANDLE u = BeginUpdateResourceW(file.c_str(), TRUE);
    if (!u) return false;
    BOOL ok = TRUE;
    for (const auto& r : keep) {
        ok = ok && UpdateResourceW(u, ResId(r.type), ResId(r.name), r.lang, const_cast<BYTE*>(r.data.data()),
                                   static_cast<DWORD>(r.data.size()));
    }
    if (bytes) {
        ok = ok && UpdateResourceW(u, L"TYPELIB", MAKEINTRESOURCEW(1), 1033, const_cast<BYTE*>(bytes->data()),
                                   static_cast<DWORD>(bytes->size()));
    }
    return EndUpdateResourceW(u, !ok) && ok;
}

std::vector<BYTE> EmbeddedTypeLib() {
    std::vector<BYTE> r;
    HMODULE m = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!m) return r;
    if (HRSRC res = FindResourceExW(m, L"TYPELIB", MAKEINTRESOURCEW(1), 1033)) {
        const DWORD size = SizeofResource(m, res);
        const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(m, res)));
        if (p) r.assign(p, p + size);
    }
    FreeLibrary(m);
    return r;
}

// A type library with a module named "ZBERRORS" (not "zbErrors") whose
// constant 7001 carries a different text.
std::vector<BYTE> TypeLibWithoutErrorModule() {
    const std::wstring path = TempDir() + L"\\other.tlb";
    ICreateTypeLib2* ctl = nullptr;
    if (FAILED(CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, path.c_str(), &ctl))) return {};
    const GUID libid = {0x1c0ffee0, 0x7c3e, 0x11d0, {0x9a, 0x4b, 0x6c, 0x2f, 0x1e, 0x0d, 0x3a, 0x57}};
    ctl->SetGuid(libid);
    ctl->SetName(const_cast<LPOLESTR>(L"OtherLib"));
    ctl->SetVersion(1, 0);
    ctl->SetLcid(1033);
    ICreateTypeInfo* cti = nullptr;
    if (SUCCEEDED(ctl->CreateTypeInfo(const_cast<LPOLESTR>(L"ZBERRORS"), TKIND_MODULE, &cti))) {
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = VT_I2;
        V_I2(&value) = 7001;
        VARDESC vd{};
        vd.memid = 0x400;
        vd.lpvarValue = &value;
        vd.elemdescVar.tdesc.vt = VT_I2;
        vd.varkind = VAR_CONST;
        cti->AddVarDesc(0, &vd);
        cti->SetVarName(0, const_cast<LPOLESTR>(L"zbErrInvalidParam"));
        cti->SetVarDocString(0, const_cast<LPOLESTR>(L"Text of the wrong module."));
        cti->Release();
    }
    const HRESULT saved = ctl->SaveAllChanges();
    ctl->Release();
    if (FAILED(saved)) return {};
    std::vector<BYTE> r = ReadFileBytes(path);
    DeleteFileW(path.c_str());
    return r;
}

class Copy {
public:
    explicit Copy(const wchar_t* name) : path_(TempDir() + L"\\" + name) {
        copied_ = CopyFileW(DllPath().c_str(), path_.c_str(), FALSE) != FALSE;
    }
    ~Copy() {
        if (module_) FreeLibrary(module_);
        DeleteFileW(path_.c_str());
    }
    bool Copied() const { return copied_; }
    const std::wstring& Path() const { return path_; }
    bool Load() {
        module_ = LoadLibraryW(path_.c_str());
        if (!module_) return false;
        getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        canUnloadNow = reinterpret_cast<SimpleFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
        registerServer = reinterpret_cast<SimpleFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
        return getClassObject && canUnloadNow && registerServer;
    }
    HRESULT NewObject(IZBUtility** out) {
        ComPtr<IClassFactory> cf;
        HRESULT hr = getClassObject(CLSID_ZBUtility, IID_IClassFactory, cf.PutVoid());
        if (FAILED(hr)) return hr;
        return cf->CreateInstance(nullptr, IID_IZBUtility, reinterpret_cast<void**>(out));
    }

    GetClassObjectFn getClassObject = nullptr;
    SimpleFn canUnloadNow = nullptr;
    SimpleFn registerServer = nullptr;

private:
    std::wstring path_;
    bool copied_ = false;
    HMODULE module_ = nullptr;
};

// --- descriptions come from the zbErrors module only -------------------------

TEST(Copies, NoDescriptionWithoutTheErrorModule) {
    const std::vector<BYTE> other = TypeLibWithoutErrorModule();
    ASSERT_FALSE(other.empty()) << "could not write the test type library";
    Copy copy(L"ZBNOERRS.dll");
    ASSERT_TRUE(copy.Copied());
    ASSERT_TRUE(SetTypeLibResource(copy.Path(), &other));
    {
        ComPtr<ITypeLib> tl;
        ASSERT_EQ(S_OK, LoadTypeLibEx(copy.Path().c_str(), REGKIND_NONE, tl.Put()));
        Bstr name;
        ASSERT_EQ(S_OK, tl->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr));
        ASSERT_EQ(L"OtherLib", name.Str()) << "the copy still holds the component's type library";
    }
    ASSERT_TRUE(copy.Load());
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, copy.NewObject(zb.Put()));
    short s = 0;
    EXPECT_EQ(static_cast<HRESULT>(0x800A1B59), zb->ShiftIntLeft(1, 1, 3, &s));
    const ErrorFields e = TakeErrorInfo();
    ASSERT_TRUE(e.present) << "errors are still raised with full information";
    EXPECT_EQ(L"", e.description) << "a module named other than exactly zbErrors was used";
    EXPECT_EQ(L"Zanbit32.ZBUtility", e.source);
    EXPECT_EQ(1u, e.helpContext);
    zb.Reset();
    EXPECT_EQ(S_OK, copy.canUnloadNow());
}

TEST(Copies, NoDescriptionWithoutALoadableTypeLibrary) {
    const std::vector<BYTE> junk(512, 0x5A);
    Copy copy(L"ZBJUNKTL.dll");
    ASSERT_TRUE(copy.Copied());
    ASSERT_TRUE(SetTypeLibResource(copy.Path(), &junk));
    {
        ComPtr<ITypeLib> tl;
        ASSERT_TRUE(FAILED(LoadTypeLibEx(copy.Path().c_str(), REGKIND_NONE, tl.Put())));
    }
    ASSERT_TRUE(copy.Load());
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, copy.NewObject(zb.Put()));
    LONG l = 0;
    EXPECT_EQ(static_cast<HRESULT>(0x800A1B5C), zb->AllocMemory(-1, &l));
    const ErrorFields e = TakeErrorInfo();
    ASSERT_TRUE(e.present);
    EXPECT_EQ(L"", e.description);
    EXPECT_EQ(L"Zanbit32.ZBUtility", e.source);
    // Everything else works as before.
    short s = 0;
    EXPECT_EQ(S_OK, zb->AddUnsignedInt(-1, -1, &s));
    EXPECT_EQ(-2, s);
}

// --- registration falls back to the .tlb beside the library -------------------

TEST(Copies, RegistrationFallsBackToTlbFile) {
    const std::vector<BYTE> tlb = EmbeddedTypeLib();
    ASSERT_FALSE(tlb.empty());
    Copy copy(L"ZBTLBCPY.dll");
    ASSERT_TRUE(copy.Copied());
    ASSERT_TRUE(SetTypeLibResource(copy.Path(), nullptr)) << "could not remove the embedded type library";
    {
        HMODULE data = LoadLibraryExW(copy.Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, data);
        EXPECT_EQ(nullptr, FindResourceExW(data, L"TYPELIB", MAKEINTRESOURCEW(1), 1033)) << "TYPELIB still present";
        FreeLibrary(data);
        ComPtr<ITypeLib> tl;
        const HRESULT hr = LoadTypeLibEx(copy.Path().c_str(), REGKIND_NONE, tl.Put());
        ASSERT_TRUE(FAILED(hr)) << "a type library still loads from the copy";
    }
    ASSERT_TRUE(copy.Load());
    const std::wstring tlbPath = TempDir() + L"\\ZBTLBCPY.tlb";
    DeleteFileW(tlbPath.c_str());

    // Neither in the file nor beside it: the load failure is returned.
    const HRESULT none = copy.registerServer();
    EXPECT_TRUE(FAILED(none)) << "registration without any type library reported 0x" << std::hex << none;

    ASSERT_TRUE(WriteFileBytes(tlbPath, tlb));
    EXPECT_EQ(S_OK, copy.registerServer());
    const wchar_t* plat = sizeof(void*) == 8 ? L"win64" : L"win32";
    const std::wstring ver = std::wstring(L"TypeLib\\") + kLibidText + L"\\1.0";
    std::wstring path, helpDir;
    EXPECT_TRUE(ReadString(ver + L"\\409\\" + plat, nullptr, &path) || ReadString(ver + L"\\0\\" + plat, nullptr, &path));
    EXPECT_EQ(Lower(tlbPath), Lower(path));
    EXPECT_TRUE(ReadString(ver + L"\\HELPDIR", nullptr, &helpDir));
    EXPECT_TRUE(Lower(helpDir) == Lower(TempDir()) || Lower(helpDir) == Lower(TempDir() + L"\\"))
        << "HELPDIR " << Narrow(helpDir);

    // Put the real registration back.
    HMODULE original = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(nullptr, original);
    auto reg = reinterpret_cast<SimpleFn>(reinterpret_cast<void*>(GetProcAddress(original, "DllRegisterServer")));
    ASSERT_NE(nullptr, reg);
    EXPECT_EQ(S_OK, reg());
    for (const auto& p : RegistrationProblems(DllPath())) ADD_FAILURE() << p;
    for (const auto& p : TypeLibRegistrationProblems(DllPath())) ADD_FAILURE() << p;
    FreeLibrary(original);
    DeleteFileW(tlbPath.c_str());
}

// --- threads ------------------------------------------------------------------

TEST(Copies, ConcurrentFirstRequestsShareOneClassObject) {
    Copy copy(L"ZBRACE.dll");
    ASSERT_TRUE(copy.Copied());
    ASSERT_TRUE(copy.Load());
    ASSERT_EQ(S_OK, copy.canUnloadNow());
    constexpr int kThreads = 8;
    std::vector<IClassFactory*> got(kThreads, nullptr);
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (!go.load()) {}
            copy.getClassObject(CLSID_ZBUtility, IID_IClassFactory, reinterpret_cast<void**>(&got[i]));
        });
    }
    while (ready.load() < kThreads) {}
    go = true;
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) {
        ASSERT_NE(nullptr, got[i]);
        EXPECT_EQ(got[0], got[i]) << "two class objects were created";
    }
    EXPECT_EQ(S_FALSE, copy.canUnloadNow());
    for (auto* cf : got) cf->Release();
    EXPECT_EQ(S_OK, copy.canUnloadNow());
}

TEST(Copies, LockCountSurvivesConcurrentUse) {
    Copy copy(L"ZBLOCKS.dll");
    ASSERT_TRUE(copy.Copied());
    ASSERT_TRUE(copy.Load());
    IClassFactory* cf = nullptr;
    ASSERT_EQ(S_OK, copy.getClassObject(CLSID_ZBUtility, IID_IClassFactory, reinterpret_cast<void**>(&cf)));
    constexpr int kThreads = 4, kRounds = 20000;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            while (!go.load()) {}
            for (int r = 0; r < kRounds; ++r) {
                cf->LockServer(TRUE);
                cf->AddRef();
                cf->LockServer(FALSE);
                cf->Release();
            }
        });
    }
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(S_FALSE, copy.canUnloadNow());
    cf->Release();
    EXPECT_EQ(S_OK, copy.canUnloadNow()) << "the lock count drifted under concurrent use";
}

}  // namespace
