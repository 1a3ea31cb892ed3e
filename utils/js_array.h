// CNbJsArray: the script array native code hands back to page scripts. An
// expando dispatch object whose elements are members named "0", "1", ...
// and whose built-in `length` is derived from the numeric member names.
#pragma once

#include "utils/dispatch_ex_impl.h"
#include "utils/nbutils.h"

namespace nb::utils {

class CNbJsArray final : public IDispatchExImpl<INbJsArray>, public ISupportErrorInfo {
   public:
    // Creates an array and answers `iid` on it. Construction failures are
    // returned as they are and leave *object null.
    static HRESULT CreateInstance(REFIID iid, void** object);

    // IUnknown
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // INbJsArray
    HRESULT get_length(VARIANT* length) override;
    HRESULT put_length(VARIANT length) override;

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

   private:
    CNbJsArray();
    ~CNbJsArray() override;
    HRESULT FinalConstruct();

    // Apartment-threaded: every call comes on the creating thread.
    ULONG m_references = 0;
};

}  // namespace nb::utils
