// The class object (IClassFactory) and DllGetClassObject/DllCanUnloadNow.
#include "class_factory.h"

#include <new>

namespace zb {

namespace {

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(InstanceCreator creator) : creator_(creator) { InitializeCriticalSection(&lock_); }
    ~ClassFactory() { DeleteCriticalSection(&lock_); }
    ClassFactory(const ClassFactory &) = delete;
    ClassFactory &operator=(const ClassFactory &) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void **result) override
    {
        if (!result) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *result = static_cast<IClassFactory *>(this);
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }

    // The reference held by the class table does not keep the library
    // loaded; every further reference does.
    STDMETHODIMP_(ULONG) AddRef() override
    {
        EnterCriticalSection(&lock_);
        ULONG count = ++refCount_;
        if (count == 2) LockModule();
        LeaveCriticalSection(&lock_);
        return count;
    }

    STDMETHODIMP_(ULONG) Release() override
    {
        EnterCriticalSection(&lock_);
        ULONG count = --refCount_;
        if (count == 1) UnlockModule();
        LeaveCriticalSection(&lock_);
        if (count == 0) delete this;
        return count;
    }

    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **result) override
    {
        if (!result) return E_POINTER;
        *result = nullptr;
        if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return creator_(outer, iid, result);
    }

    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }

private:
    ULONG refCount_ = 0;
    CRITICAL_SECTION lock_;
    InstanceCreator creator_;
};

} // namespace

HRESULT CreateClassObject(InstanceCreator creator, REFIID iid, void **result)
{
    if (!result) return E_POINTER;
    *result = nullptr;
    ClassFactory *factory = new (std::nothrow) ClassFactory(creator);
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    HRESULT hr = factory->QueryInterface(iid, result);
    factory->Release();
    return hr;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **result)
{
    if (!result) return E_POINTER;
    *result = nullptr;
    ServerModuleState &m = ServerModule();
    HRESULT hr = S_OK;
    for (ClassTableRow *row = m.ClassTable; row && row->clsid; ++row) {
        if (!IsEqualCLSID(clsid, *row->clsid)) continue;
        if (!row->classObject) {
            EnterCriticalSection(&m.classTableLock);
            if (!row->classObject) {
                IUnknown *created = nullptr;
                hr = row->createClassObject(row->createInstance, IID_IUnknown, reinterpret_cast<void **>(&created));
                if (SUCCEEDED(hr)) row->classObject = created;
            }
            LeaveCriticalSection(&m.classTableLock);
        }
        if (row->classObject) return row->classObject->QueryInterface(iid, result);
        break;
    }
    return FAILED(hr) ? hr : CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow()
{
    return ServerModule().LockCount == 0 ? S_OK : S_FALSE;
}

} // namespace zb
