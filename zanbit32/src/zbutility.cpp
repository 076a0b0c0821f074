// ZBUtility: identity, reference counting, aggregation, IDispatch and
// ISupportErrorInfo.
#include "zbutility.h"

#include "server_module.h"
#include "typeinfo.h"

#include <cstring>
#include <new>

namespace zb {

ZBUtility::ZBUtility(IUnknown *outer)
{
    LockModule();
    TypeInfoCacheAddUser();
    refCount_ = 0;
    inner_.owner = this;
    outer_ = outer;
    reporter_ = new (std::nothrow) ErrorReporter(kVersionIndependentProgId, IID_IZBUtility, kHelpFileName);
    std::memset(VersionText, 0, sizeof VersionText);
    std::strncpy(VersionText, kVersionText, sizeof VersionText - 1);
}

ZBUtility::~ZBUtility()
{
    UnlockModule();
    delete reporter_;
    reporter_ = nullptr;
    TypeInfoCacheReleaseUser();
}

HRESULT ZBUtility::CreateInstance(IUnknown *outer, REFIID iid, void **result)
{
    if (!result) return E_POINTER;
    *result = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    ZBUtility *object = new (std::nothrow) ZBUtility(outer);
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->InnerQueryInterface(iid, result);
    if (FAILED(hr)) delete object;
    return hr;
}

// --- identity --------------------------------------------------------------

HRESULT ZBUtility::InnerQueryInterface(REFIID iid, void **result)
{
    if (!result) return E_POINTER;
    *result = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
        // The aggregated form hands its outer object the inner IUnknown.
        *result = outer_ ? static_cast<IUnknown *>(&inner_) : static_cast<IUnknown *>(static_cast<IZBUtility *>(this));
    } else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IZBUtility)) {
        *result = static_cast<IZBUtility *>(this);
    } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
        *result = static_cast<ISupportErrorInfo *>(this);
    } else {
        return E_NOINTERFACE;
    }
    static_cast<IUnknown *>(*result)->AddRef();
    return S_OK;
}

ULONG ZBUtility::InnerAddRef() { return ++refCount_; }

ULONG ZBUtility::InnerRelease()
{
    const ULONG count = --refCount_;
    if (count == 0) delete this;
    return count;
}

STDMETHODIMP ZBUtility::QueryInterface(REFIID iid, void **result)
{
    if (outer_) return outer_->QueryInterface(iid, result);
    return InnerQueryInterface(iid, result);
}

STDMETHODIMP_(ULONG) ZBUtility::AddRef()
{
    if (outer_) return outer_->AddRef();
    return InnerAddRef();
}

STDMETHODIMP_(ULONG) ZBUtility::Release()
{
    if (outer_) return outer_->Release();
    return InnerRelease();
}

// --- IDispatch through the registered type information ----------------------

STDMETHODIMP ZBUtility::GetTypeInfoCount(UINT *count)
{
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP ZBUtility::GetTypeInfo(UINT, LCID lcid, ITypeInfo **result)
{
    if (!result) return E_POINTER;
    return TypeInfoCacheGet(lcid, result);
}

STDMETHODIMP ZBUtility::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids)
{
    ITypeInfo *info = nullptr;
    HRESULT hr = TypeInfoCacheGet(lcid, &info);
    if (FAILED(hr)) return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
}

STDMETHODIMP ZBUtility::Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result,
                               EXCEPINFO *exception, UINT *argError)
{
    ErrorReporter::ClearError();
    ITypeInfo *info = nullptr;
    HRESULT hr = TypeInfoCacheGet(lcid, &info);
    if (FAILED(hr)) return hr;
    // A member that fails leaves its result unwritten; the type
    // information's Invoke may still copy the (unset) result parameter
    // out, so the caller's result variant is put back as it was.
    VARIANT before;
    if (result) std::memcpy(static_cast<void *>(&before), result, sizeof before);
    hr = info->Invoke(static_cast<IZBUtility *>(this), id, flags, params, result, exception, argError);
    info->Release();
    if (FAILED(hr) && result && std::memcmp(&before, result, sizeof before) != 0) {
        VariantClear(result);
        std::memcpy(static_cast<void *>(result), &before, sizeof before);
    }
    return hr;
}

// --- ISupportErrorInfo -------------------------------------------------------

STDMETHODIMP ZBUtility::InterfaceSupportsErrorInfo(REFIID iid)
{
    return IsEqualIID(iid, IID_IZBUtility) ? S_OK : S_FALSE;
}

HRESULT ZBUtility::Raise(long number)
{
    if (reporter_) return reporter_->RaiseError(number, kHelpContext);
    return ErrorCodeFromNumber(number);
}

} // namespace zb
