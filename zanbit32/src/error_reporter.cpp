// ErrorReporter: failure codes and the thread's rich error information,
// with descriptions taken from the zbErrors module of the component's own
// type library.
#include "error_reporter.h"

#include "server_module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace zb {

namespace {

char *CopyText(const char *text)
{
    if (!text) return nullptr;
    size_t n = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

// A new automation string widened from ANSI, or null.
BSTR WidenToBstr(const char *text)
{
    if (!text) return nullptr;
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return nullptr;
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n - 1));
    if (b) MultiByteToWideChar(CP_ACP, 0, text, -1, b, n);
    return b;
}

} // namespace

void GetHelpDirectory(const char *productKey, char *buffer, DWORD size)
{
    if (!buffer || size == 0) return;
    buffer[0] = '\0';
    char keyPath[300];
    std::snprintf(keyPath, sizeof keyPath, "Software\\Halden\\%s\\HelpDirectory", productKey ? productKey : "");

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD type = 0;
        DWORD bytes = size;
        LONG rc = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &bytes);
        RegCloseKey(key);
        if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            // The stored text need not end in a null character: one that
            // fills the buffer without it does not fit.
            if (bytes > 0 && buffer[bytes - 1] == '\0') return;
            if (bytes < size) {
                buffer[bytes] = '\0';
                return;
            }
        }
        buffer[0] = '\0';
    }

    // Fallback: the Help folder beside the component.
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(ServerModule().instance, path, MAX_PATH);
    if (n >= MAX_PATH) n = 0;
    path[n] = '\0';
    char *cut = std::strrchr(path, '\\');
    if (!cut) cut = std::strrchr(path, ':');
    if (cut) {
        *cut = '\0';
        std::snprintf(buffer, size, "%s\\Help", path);
    } else {
        std::snprintf(buffer, size, "%s", path);
    }
}

HRESULT ErrorCodeFromNumber(long number)
{
    const long code = static_cast<short>(number & 0xFFFF);
    return static_cast<HRESULT>(0x800A0000UL | static_cast<ULONG>(code));
}

ErrorReporter::ErrorReporter(const char *source, REFIID iid, const char *helpFileName) : iid_(iid)
{
    source_ = CopyText(source);

    char directory[261];
    GetHelpDirectory(kHelpProductKey, directory, sizeof directory);
    const size_t length = std::strlen(directory) + 1 + std::strlen(helpFileName ? helpFileName : "") + 1;
    helpFile_ = static_cast<char *>(std::malloc(length));
    if (helpFile_) std::snprintf(helpFile_, length, "%s\\%s", directory, helpFileName ? helpFileName : "");

    ClearError();
    LoadErrorTypes();
}

ErrorReporter::~ErrorReporter()
{
    std::free(source_);
    std::free(helpFile_);
    if (errorTypes_) errorTypes_->Release();
    if (typeLib_) typeLib_->Release();
}

void ErrorReporter::ClearError()
{
    SetErrorInfo(0, nullptr);
}

void ErrorReporter::LoadErrorTypes()
{
    if (errorTypes_) errorTypes_->Release();
    if (typeLib_) typeLib_->Release();
    errorTypes_ = nullptr;
    typeLib_ = nullptr;

    const std::wstring path = ModuleFilePathW();
    if (path.empty() || LoadTypeLib(path.c_str(), &typeLib_) != S_OK) {
        typeLib_ = nullptr;
        return;
    }
    const UINT count = typeLib_->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        BSTR name = nullptr;
        if (FAILED(typeLib_->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr))) continue;
        const bool match = name && std::wcscmp(name, L"zbErrors") == 0;
        SysFreeString(name);
        if (match) {
            if (FAILED(typeLib_->GetTypeInfo(i, &errorTypes_))) errorTypes_ = nullptr;
            break;
        }
    }
}

BSTR ErrorReporter::LookUpDescription(long number) const
{
    const short wanted = static_cast<short>(number & 0xFFFF);
    if (wanted == 0 || !errorTypes_) return nullptr;
    TYPEATTR *attr = nullptr;
    if (FAILED(errorTypes_->GetTypeAttr(&attr))) return nullptr;
    const UINT vars = attr->cVars;
    errorTypes_->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < vars; ++i) {
        VARDESC *vd = nullptr;
        if (FAILED(errorTypes_->GetVarDesc(i, &vd))) continue;
        bool match = false;
        if (vd->varkind == VAR_CONST && vd->lpvarValue) {
            VARIANT v;
            VariantInit(&v);
            if (SUCCEEDED(VariantChangeType(&v, vd->lpvarValue, 0, VT_I4)))
                match = static_cast<short>(V_I4(&v) & 0xFFFF) == wanted;
        }
        const MEMBERID id = vd->memid;
        errorTypes_->ReleaseVarDesc(vd);
        if (match) {
            BSTR doc = nullptr;
            if (FAILED(errorTypes_->GetDocumentation(id, nullptr, &doc, nullptr, nullptr))) return nullptr;
            return doc;
        }
    }
    return nullptr;
}

HRESULT ErrorReporter::RaiseError(long number, DWORD helpContext)
{
    if ((number & 0xFFFF) == 0) {
        ClearError();
        return S_OK;
    }
    ICreateErrorInfo *create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create)) && create) {
        BSTR description = LookUpDescription(number);
        create->SetDescription(description);
        SysFreeString(description);
        create->SetGUID(static_cast<short>(number & 0xFFFF) >= 1000 ? iid_ : GUID_NULL);
        create->SetHelpContext(helpContext);
        BSTR helpFile = WidenToBstr(helpFile_);
        create->SetHelpFile(helpFile);
        SysFreeString(helpFile);
        BSTR source = WidenToBstr(source_);
        create->SetSource(source);
        SysFreeString(source);
        IErrorInfo *info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void **>(&info))) && info) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return ErrorCodeFromNumber(number);
}

} // namespace zb
