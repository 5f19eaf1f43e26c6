// Compiled (not run) by the mingw-w64 cross compiler in CI: the DNC contract
// and its status codes stand beside <windows.h>, whose COM names are macros,
// and mean the same values.
#include <windows.h>

#include "dnc/Dnc.h"

static_assert(ostrana::dnc::kOk == S_OK && ostrana::dnc::kFail == E_FAIL && ostrana::dnc::kPointer == E_POINTER);
static_assert(ostrana::dnc::kInvalidArg == E_INVALIDARG && ostrana::dnc::kNoInterface == E_NOINTERFACE);
static_assert(ostrana::dnc::kClassNotRegistered == REGDB_E_CLASSNOTREG &&
              ostrana::dnc::kParamNotFound == DISP_E_PARAMNOTFOUND);
static_assert(ostrana::dnc::kNotConnected == HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
static_assert(ostrana::dnc::kFileNotFound == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

int main() { return ostrana::dnc::Failed(ostrana::dnc::kFail) ? 0 : 1; }
