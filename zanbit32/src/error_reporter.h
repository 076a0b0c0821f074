// ErrorReporter: rich error information for the members of IZBUtility.
#pragma once

#include "zb_common.h"

namespace zb {

// Fills buffer with the help directory: the default value of
// HKEY_CLASSES_ROOT\Software\Halden\<productKey>\HelpDirectory, or else the
// component's folder followed by "\Help". Always null-terminates.
void GetHelpDirectory(const char *productKey, char *buffer, DWORD size);

// The failure code of an error number: 0x800A0000 with the number as code.
HRESULT ErrorCodeFromNumber(long number);

class ErrorReporter {
public:
    ErrorReporter(const char *source, REFIID iid, const char *helpFileName);
    ~ErrorReporter();
    ErrorReporter(const ErrorReporter &) = delete;
    ErrorReporter &operator=(const ErrorReporter &) = delete;

    static void ClearError();
    HRESULT RaiseError(long number, DWORD helpContext);
    BSTR LookUpDescription(long number) const;
    void LoadErrorTypes();

    const char *Source() const { return source_; }
    const char *HelpFilePath() const { return helpFile_; }
    bool HasErrorTypes() const { return errorTypes_ != nullptr; }

private:
    char *source_ = nullptr;
    char *helpFile_ = nullptr;
    IID iid_;
    ITypeLib *typeLib_ = nullptr;
    ITypeInfo *errorTypes_ = nullptr;
};

} // namespace zb
