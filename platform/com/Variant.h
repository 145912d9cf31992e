#pragma once
// VARIANT with the Windows layout and the subset of types the system passes through automation, the
// Windows functions that initialise, clear, copy and convert them, and the RAII holder `Variant`.
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/Bstr.h"

namespace sealrun::platform::com {

class IUnknown;
class IDispatch;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// The VT_RECORD arm; present so that VARIANT has its Windows size.
struct VariantRecord {
  void* pvRecord;
  void* pRecInfo;
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    void* byref;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    USHORT* puiVal;
    ULONG* pulVal;
    ULONGLONG* pullVal;
    VariantRecord record;
  };
};
using VARIANTARG = VARIANT;
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT keeps its Windows size");

// Flags of VariantChangeType.
inline constexpr WORD VARIANT_NOVALUEPROP = 0x01;
inline constexpr WORD VARIANT_ALPHABOOL = 0x02;

// Results of VarBstrCmp.
inline constexpr HRESULT VARCMP_LT = 0;
inline constexpr HRESULT VARCMP_EQ = 1;
inline constexpr HRESULT VARCMP_GT = 2;
inline constexpr HRESULT VARCMP_NULL = 3;
// Flag of VarBstrCmp: compare ASCII letters without case.
inline constexpr ULONG NORM_IGNORECASE = 0x00000001;

void VariantInit(VARIANT* value);
// Frees what the variant owns (BSTR, interface reference) and leaves VT_EMPTY. By-reference variants own
// nothing. DISP_E_BADVARTYPE for types this runtime does not know (the variant is left as it was).
HRESULT VariantClear(VARIANT* value);
// Deep copy: BSTRs are duplicated byte for byte, interfaces AddRef'd, by-reference pointers copied.
HRESULT VariantCopy(VARIANT* target, const VARIANT* source);
// As VariantCopy, but a by-reference source is copied as the value it points to.
HRESULT VariantCopyInd(VARIANT* target, const VARIANT* source);
// Converts to VT_EMPTY, VT_BSTR, VT_I2, VT_I4, VT_UI1, VT_UI4, VT_UI8, VT_R8 or VT_BOOL from the numeric
// types, VT_BOOL, VT_BSTR (numbers, "true"/"false") and VT_EMPTY; target may equal source.
// DISP_E_TYPEMISMATCH when the value does not convert, DISP_E_OVERFLOW when it does not fit.
HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, WORD flags, VARTYPE type);
// Ordinal comparison by UTF-16 unit; a null BSTR compares as empty, as on Windows.
HRESULT VarBstrCmp(BSTR left, BSTR right, LCID locale, ULONG flags);

// Owns one VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  Variant(int32_t value);
  Variant(bool value);
  Variant(double value);
  Variant(std::u16string_view text);
  Variant(const char16_t* text) : Variant(std::u16string_view(text ? text : u"")) {}
  // Holds a reference (AddRef) to the object; null gives a null VT_DISPATCH.
  explicit Variant(IDispatch* object);
  explicit Variant(IUnknown* object);
  Variant(const Variant& other);
  Variant(const VARIANT& other);
  Variant& operator=(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() { VariantClear(&value_); }

  // The "missing" optional argument: VT_ERROR with DISP_E_PARAMNOTFOUND.
  static Variant Missing();
  static Variant Null();
  static Variant I2(int16_t value);
  static Variant UI4(uint32_t value);
  static Variant UI8(uint64_t value);
  static Variant UI1(uint8_t value);
  // Takes ownership of the BSTR.
  static Variant AttachBstr(BSTR value);
  // By-reference forms; the variant does not own the target.
  static Variant ByRef(VARTYPE type, void* target);

  VARIANT* Get() { return &value_; }
  const VARIANT* Get() const { return &value_; }
  VARTYPE Type() const { return value_.vt; }
  // Clears and returns the address for an out parameter.
  VARIANT* Out();
  void Clear() { VariantClear(&value_); }
  // Moves the content out (the caller owns it); this holder becomes VT_EMPTY.
  void Detach(VARIANT* target);

  bool IsMissing() const { return value_.vt == VT_ERROR && value_.scode == DISP_E_PARAMNOTFOUND; }
  // The value converted, or nullopt when it does not convert (by-reference forms are followed).
  std::optional<std::u16string> AsString() const;
  std::optional<int32_t> AsInt() const;
  std::optional<bool> AsBool() const;

 private:
  VARIANT value_;
};

}  // namespace sealrun::platform::com
