// The in-process server loaded directly (LoadLibrary + DllGetClassObject):
// class object caching, lock counting, aggregation, interfaces answered,
// registration round trip and the help directory of the error information.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zb_test_support.h"

using namespace zbtest;

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using SimpleFn = HRESULT(STDAPICALLTYPE*)();

template <class F>
F Export(HMODULE m, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

class Server : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(DllPath().empty()) << "run with --dll=<path of ZANBIT32.dll>";
        module_ = LoadLibraryW(DllPath().c_str());
        ASSERT_NE(nullptr, module_) << "LoadLibrary(" << Narrow(DllPath()) << ") failed: " << GetLastError();
        getClassObject_ = Export<GetClassObjectFn>(module_, "DllGetClassObject");
        canUnloadNow_ = Export<SimpleFn>(module_, "DllCanUnloadNow");
        register_ = Export<SimpleFn>(module_, "DllRegisterServer");
        unregister_ = Export<SimpleFn>(module_, "DllUnregisterServer");
    }
    void SetUp() override {
        ASSERT_NE(nullptr, module_);
        ASSERT_NE(nullptr, getClassObject_);
        ASSERT_NE(nullptr, canUnloadNow_);
        ASSERT_NE(nullptr, register_);
        ASSERT_NE(nullptr, unregister_);
        // Every test starts and must end with nothing holding the server.
        ASSERT_EQ(S_OK, canUnloadNow_()) << "the server was still locked when the test began";
    }
    void TearDown() override { EXPECT_EQ(S_OK, canUnloadNow_()) << "the test left the server locked"; }

    HRESULT Factory(IClassFactory** out) {
        return getClassObject_(CLSID_ZBUtility, IID_IClassFactory, reinterpret_cast<void**>(out));
    }
    HRESULT NewObject(IZBUtility** out) {
        ComPtr<IClassFactory> cf;
        const HRESULT hr = Factory(cf.Put());
        if (FAILED(hr)) return hr;
        return cf->CreateInstance(nullptr, IID_IZBUtility, reinterpret_cast<void**>(out));
    }

    static HMODULE module_;
    static GetClassObjectFn getClassObject_;
    static SimpleFn canUnloadNow_, register_, unregister_;
};

HMODULE Server::module_ = nullptr;
GetClassObjectFn Server::getClassObject_ = nullptr;
SimpleFn Server::canUnloadNow_ = nullptr;
SimpleFn Server::register_ = nullptr;
SimpleFn Server::unregister_ = nullptr;

// --- class object and lock count ---------------------------------------------

TEST_F(Server, ClassObjectReferencesHoldTheServer) {
    ComPtr<IClassFactory> a, b;
    ASSERT_EQ(S_OK, Factory(a.Put()));
    EXPECT_EQ(S_FALSE, canUnloadNow_());
    ASSERT_EQ(S_OK, Factory(b.Put()));
    EXPECT_EQ(a.Get(), b.Get()) << "the class object is not cached";
    a.Reset();
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "one outside reference is still held";
    b.Reset();
    EXPECT_EQ(S_OK, canUnloadNow_());

    // Cached across releases: the table keeps its own reference.
    ComPtr<IClassFactory> c;
    ASSERT_EQ(S_OK, Factory(c.Put()));
    void* first = c.Get();
    c.Reset();
    ASSERT_EQ(S_OK, Factory(c.Put()));
    EXPECT_EQ(first, c.Get());
    // AddRef/Release on the class object count like outside references.
    c->AddRef();
    c->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow_());
}

TEST_F(Server, ClassObjectInterfaces) {
    ComPtr<IUnknown> unk;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_ZBUtility, IID_IUnknown, unk.PutVoid()));
    ComPtr<IClassFactory> cf;
    EXPECT_EQ(S_OK, unk->QueryInterface(IID_IClassFactory, cf.PutVoid()));
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, unk->QueryInterface(IID_IDispatch, &p));
    EXPECT_EQ(nullptr, p);
    p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, getClassObject_(CLSID_ZBUtility, IID_IZBUtility, &p));
    EXPECT_EQ(nullptr, p);
}

TEST_F(Server, UnknownClassAndNullResult) {
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject_(IID_IZBUtility, IID_IClassFactory, &p));
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject_(LIBID_ZANBIT32Lib, IID_IUnknown, &p));
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject_(GUID{}, IID_IClassFactory, &p));
    EXPECT_EQ(E_POINTER, getClassObject_(CLSID_ZBUtility, IID_IClassFactory, nullptr));
    ComPtr<IClassFactory> cf;
    ASSERT_EQ(S_OK, Factory(cf.Put()));
    EXPECT_EQ(E_POINTER, cf->CreateInstance(nullptr, IID_IZBUtility, nullptr));
}

TEST_F(Server, LockServer) {
    {
        ComPtr<IClassFactory> cf;
        ASSERT_EQ(S_OK, Factory(cf.Put()));
        EXPECT_EQ(S_OK, cf->LockServer(TRUE));
        EXPECT_EQ(S_OK, cf->LockServer(TRUE));
    }
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "LockServer(TRUE) does not hold the server";
    ComPtr<IClassFactory> cf;
    ASSERT_EQ(S_OK, Factory(cf.Put()));
    EXPECT_EQ(S_OK, cf->LockServer(FALSE));
    cf.Reset();
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "one lock is still outstanding";
    ASSERT_EQ(S_OK, Factory(cf.Put()));
    EXPECT_EQ(S_OK, cf->LockServer(FALSE));
    cf.Reset();
    EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(Server, LiveObjectsHoldTheServer) {
    ComPtr<IZBUtility> one, two;
    ASSERT_EQ(S_OK, NewObject(one.Put()));
    ASSERT_EQ(S_OK, NewObject(two.Put()));
    EXPECT_EQ(S_FALSE, canUnloadNow_());
    one.Reset();
    EXPECT_EQ(S_FALSE, canUnloadNow_());
    // References through other interfaces keep the same object alive.
    ComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(S_OK, two->QueryInterface(IID_ISupportErrorInfo, sei.PutVoid()));
    two.Reset();
    EXPECT_EQ(S_FALSE, canUnloadNow_());
    sei.Reset();
    EXPECT_EQ(S_OK, canUnloadNow_());
}

// --- the object's interfaces -------------------------------------------------

TEST_F(Server, ObjectInterfacesAndIdentity) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, NewObject(zb.Put()));
    ComPtr<IUnknown> unk;
    ComPtr<IDispatch> disp;
    ComPtr<IZBUtility> again;
    ComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(S_OK, zb->QueryInterface(IID_IUnknown, unk.PutVoid()));
    ASSERT_EQ(S_OK, zb->QueryInterface(IID_IDispatch, disp.PutVoid()));
    ASSERT_EQ(S_OK, zb->QueryInterface(IID_IZBUtility, again.PutVoid()));
    ASSERT_EQ(S_OK, zb->QueryInterface(IID_ISupportErrorInfo, sei.PutVoid()));
    EXPECT_EQ(static_cast<void*>(zb.Get()), static_cast<void*>(unk.Get()));
    EXPECT_EQ(static_cast<void*>(zb.Get()), static_cast<void*>(disp.Get()));
    EXPECT_EQ(zb.Get(), again.Get());
    EXPECT_NE(static_cast<void*>(zb.Get()), static_cast<void*>(sei.Get()));
    ComPtr<IUnknown> unk2;
    ASSERT_EQ(S_OK, sei->QueryInterface(IID_IUnknown, unk2.PutVoid()));
    EXPECT_EQ(unk.Get(), unk2.Get()) << "IUnknown identity differs between interfaces";
    ComPtr<IZBUtility> back;
    EXPECT_EQ(S_OK, sei->QueryInterface(IID_IZBUtility, back.PutVoid()));

    for (const IID* iid : {&IID_IConnectionPointContainer, &IID_IClassFactory, &IID_IPersist, &IID_ITypeInfo}) {
        void* p = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, zb->QueryInterface(*iid, &p)) << Narrow(GuidText(*iid));
        EXPECT_EQ(nullptr, p) << "result not cleared for " << Narrow(GuidText(*iid));
        p = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, sei->QueryInterface(*iid, &p));
        EXPECT_EQ(nullptr, p);
    }
}

TEST_F(Server, ReferenceCountFreesTheObject) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, NewObject(zb.Put()));
    EXPECT_EQ(2u, zb->AddRef());
    EXPECT_EQ(3u, zb->AddRef());
    EXPECT_EQ(2u, zb->Release());
    EXPECT_EQ(1u, zb->Release());
    EXPECT_EQ(0u, zb.Detach()->Release());
}

// --- aggregation --------------------------------------------------------------

class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        asked.push_back(riid);
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner) return inner->QueryInterface(riid, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    bool Asked(REFIID iid) const {
        for (const auto& a : asked) if (a == iid) return true;
        return false;
    }

    ULONG refs = 1;
    IUnknown* inner = nullptr;
    std::vector<IID> asked;
};

TEST_F(Server, AggregationOnlyThroughIUnknown) {
    ComPtr<IClassFactory> cf;
    ASSERT_EQ(S_OK, Factory(cf.Put()));
    Outer outer;
    for (const IID* iid : {&IID_IDispatch, &IID_IZBUtility, &IID_ISupportErrorInfo}) {
        void* p = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, cf->CreateInstance(&outer, *iid, &p)) << Narrow(GuidText(*iid));
        EXPECT_EQ(nullptr, p);
    }
    EXPECT_EQ(1u, outer.refs);
}

TEST_F(Server, AggregatedObjectDelegatesToTheOuter) {
    ComPtr<IClassFactory> cf;
    ASSERT_EQ(S_OK, Factory(cf.Put()));
    Outer outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, cf->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    cf.Reset();
    ASSERT_NE(nullptr, inner);
    EXPECT_NE(static_cast<IUnknown*>(&outer), inner);
    outer.inner = inner;

    // The inner IUnknown answers for itself.
    IUnknown* self = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)));
    EXPECT_EQ(inner, self);
    self->Release();

    IZBUtility* zb = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IZBUtility, reinterpret_cast<void**>(&zb)));
    EXPECT_EQ(2u, outer.refs) << "references through the object's interfaces must count on the outer object";

    outer.asked.clear();
    ISupportErrorInfo* sei = nullptr;
    EXPECT_EQ(S_OK, zb->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)));
    EXPECT_TRUE(outer.Asked(IID_ISupportErrorInfo)) << "the query did not reach the outer object";
    ASSERT_NE(nullptr, sei);
    EXPECT_EQ(S_OK, sei->InterfaceSupportsErrorInfo(IID_IZBUtility));

    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, zb->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity) << "the aggregated object's identity is not the outer object";
    identity->Release();

    BSTR v = nullptr;
    EXPECT_EQ(S_OK, zb->get_Version(&v));
    EXPECT_EQ(std::wstring(L"0.00.001: Halden Utility 1.0 Library."), std::wstring(v ? v : L""));
    SysFreeString(v);
    short s = 0;
    EXPECT_EQ(S_OK, zb->AddUnsignedInt(32767, 1, &s));
    EXPECT_EQ(-32768, s);

    const ULONG before = outer.refs;
    zb->AddRef();
    EXPECT_EQ(before + 1, outer.refs);
    zb->Release();
    sei->Release();
    zb->Release();
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "the inner object is still alive";
    EXPECT_EQ(0u, inner->Release());
}

// --- IDispatch through the registered type information ----------------------

TEST_F(Server, DispatchWithoutRegisteredTypeLibrary) {
    // Fill the type-information cache, then let the last object go: the
    // cache empties, and the next object must load the information again.
    {
        ComPtr<IZBUtility> zb;
        ASSERT_EQ(S_OK, NewObject(zb.Put()));
        ComPtr<ITypeInfo> ti;
        ASSERT_EQ(S_OK, zb->GetTypeInfo(0, LOCALE_USER_DEFAULT, ti.Put()));
    }
    const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    ASSERT_EQ(S_OK, UnRegisterTypeLib(LIBID_ZANBIT32Lib, 1, 0, 1033, kind));
    {
        ComPtr<IZBUtility> zb;
        ASSERT_EQ(S_OK, NewObject(zb.Put()));
        ComPtr<ITypeInfo> ti;
        EXPECT_TRUE(FAILED(zb->GetTypeInfo(0, LOCALE_USER_DEFAULT, ti.Put())))
            << "type information handed out after the last object went and the library was unregistered";
        LPOLESTR name = const_cast<LPOLESTR>(L"HiWord");
        DISPID id = 0;
        EXPECT_TRUE(FAILED(zb->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)));
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        Var r;
        EXPECT_TRUE(FAILED(zb->Invoke(Version, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &r.v, nullptr, nullptr)));
        // Early binding does not need the registration.
        short s = 0;
        EXPECT_EQ(S_OK, zb->HiWord(196608, &s));
        EXPECT_EQ(3, s);
    }
    EXPECT_EQ(S_OK, register_()) << "re-registering after the test";
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, NewObject(zb.Put()));
    ComPtr<ITypeInfo> ti;
    EXPECT_EQ(S_OK, zb->GetTypeInfo(0, LOCALE_USER_DEFAULT, ti.Put()));
}

// --- registration -------------------------------------------------------------

TEST_F(Server, RegistrationRoundTrip) {
    const std::wstring path = [] {
        wchar_t buf[MAX_PATH + 1] = {};
        GetModuleFileNameW(module_, buf, MAX_PATH);
        return std::wstring(buf);
    }();
    ASSERT_EQ(S_OK, register_());
    for (const auto& p : RegistrationProblems(path)) ADD_FAILURE() << p;
    for (const auto& p : TypeLibRegistrationProblems(path)) ADD_FAILURE() << p;

    ASSERT_EQ(S_OK, unregister_());
    for (const auto& p : LeftoverClassKeys()) ADD_FAILURE() << "after DllUnregisterServer: " << p;
    for (const auto& p : TypeLibRegistrationProblems(path)) ADD_FAILURE() << "after DllUnregisterServer: " << p;
    void* p = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_ZBUtility, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    // A second unregistration finds nothing and still succeeds.
    EXPECT_EQ(S_OK, unregister_());

    ASSERT_EQ(S_OK, register_());
    for (const auto& q : RegistrationProblems(path)) ADD_FAILURE() << "after re-registration: " << q;
    CLSID fromProgId{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"Zanbit32.ZBUtility", &fromProgId));
    EXPECT_EQ(CLSID_ZBUtility, fromProgId);
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"Zanbit32.ZBUtility.1", &fromProgId));
    EXPECT_EQ(CLSID_ZBUtility, fromProgId);
}

TEST_F(Server, UnregistrationRemovesWholeTrees) {
    // Keys below the class's keys that someone else added go too.
    ASSERT_EQ(S_OK, register_());
    HKEY k = nullptr;
    const std::wstring extra = std::wstring(L"CLSID\\") + kClsidText + L"\\Extra\\Deeper";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, extra.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    RegCloseKey(k);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Zanbit32.ZBUtility\\CurVer", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    RegCloseKey(k);
    EXPECT_EQ(S_OK, unregister_());
    for (const auto& p : LeftoverClassKeys()) ADD_FAILURE() << p;
    EXPECT_EQ(S_OK, register_());
}

// --- help directory of the error information ---------------------------------

class HelpDirectory : public Server {
protected:
    static constexpr const wchar_t* kKey = L"Software\\Halden\\ZBKIT\\HelpDirectory";
    void SetUp() override {
        Server::SetUp();
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Software\\Halden\\ZBKIT");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Software\\Halden\\ZBKIT");
        Server::TearDown();
    }
    static void SetKey(const std::wstring& dir) {
        HKEY k = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                                                static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t))));
        RegCloseKey(k);
    }
    std::wstring HelpFileOfAnError(IZBUtility* zb) {
        BYTE b = 0;
        EXPECT_EQ(static_cast<HRESULT>(0x800A1B5A), zb->PeekByte(0, &b));
        return TakeErrorInfo().helpFile;
    }
    std::wstring Fallback() const { return ModuleDirectory(module_) + L"\\Help\\zbsystem.hlp"; }
};

TEST_F(HelpDirectory, FolderFallbackWithoutTheKey) {
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, NewObject(zb.Put()));
    EXPECT_EQ(Lower(Fallback()), Lower(HelpFileOfAnError(zb.Get())));
}

TEST_F(HelpDirectory, KeyUnderTheClassesRoot) {
    ComPtr<IZBUtility> before;
    ASSERT_EQ(S_OK, NewObject(before.Put()));
    SetKey(L"D:\\Manuals");
    ComPtr<IZBUtility> after;
    ASSERT_EQ(S_OK, NewObject(after.Put()));
    EXPECT_EQ(L"D:\\Manuals\\zbsystem.hlp", HelpFileOfAnError(after.Get()));
    // The path is taken when an object is created.
    EXPECT_EQ(Lower(Fallback()), Lower(HelpFileOfAnError(before.Get())));
    // The same path reaches a late-bound client.
    const Outcome o = Call(after.Get(), Mode::ByDispId, PeekDword, {Var::I4(0)});
    EXPECT_EQ(static_cast<HRESULT>(0x800A1B5A), o.hr);
    EXPECT_EQ(L"D:\\Manuals\\zbsystem.hlp", o.error.helpFile);
}

TEST_F(HelpDirectory, ValueTooLongFallsBack) {
    SetKey(L"D:\\" + std::wstring(300, L'x'));
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, NewObject(zb.Put()));
    EXPECT_EQ(Lower(Fallback()), Lower(HelpFileOfAnError(zb.Get())));
}

TEST_F(HelpDirectory, KeyUnderCurrentUserSoftwareIsNotRead) {
    // Only the classes root counts; the user's own Software branch is another place.
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    const std::wstring dir = L"E:\\Elsewhere";
    RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                   static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
    ComPtr<IZBUtility> zb;
    ASSERT_EQ(S_OK, NewObject(zb.Put()));
    EXPECT_EQ(Lower(Fallback()), Lower(HelpFileOfAnError(zb.Get())));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halden");
}

}  // namespace
