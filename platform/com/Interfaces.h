#pragma once
// The core COM interfaces as abstract classes whose virtual functions stand in the Windows slot order.
// Each interface names its IID (kIid) and the interface it extends (Base), which ComObject uses to answer
// QueryInterface for the whole chain.
#include "platform/com/Guid.h"
#include "platform/com/Variant.h"

namespace sealrun::platform::com {

class IUnknown {
 public:
  using Base = void;
  static constexpr IID kIid = IID_IUnknown;

  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  // Objects are destroyed by Release only.
  ~IUnknown() = default;
};

// Type information is not provided by this runtime's objects; the interface exists for the signatures.
class ITypeInfo : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID kIid = IID_ITypeInfo;

 protected:
  ~ITypeInfo() = default;
};

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Arguments of IDispatch::Invoke. rgvarg holds the arguments in REVERSE order: the first argument of the
// call is rgvarg[cArgs - 1]. Named arguments (only DISPID_PROPERTYPUT here) come first in rgvarg.
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

class IDispatch : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID kIid = IID_IDispatch;

  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* argumentError) = 0;

 protected:
  ~IDispatch() = default;
};

class IClassFactory : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID kIid = IID_IClassFactory;

  // `outer` is the controlling unknown when the new object is to be aggregated.
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

class ISupportErrorInfo : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID kIid = IID_ISupportErrorInfo;

  virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

// Clears EXCEPINFO's strings and zeroes it.
void ClearExcepInfo(EXCEPINFO* info);

}  // namespace sealrun::platform::com
