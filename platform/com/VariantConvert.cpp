// VariantChangeType and VarBstrCmp for the types the system passes through automation.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "platform/com/Variant.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::com {
namespace {

// A numeric value on its way between two variant types.
struct Number {
  enum class Kind { Signed, Unsigned, Real } kind = Kind::Signed;
  int64_t s = 0;
  uint64_t u = 0;
  double d = 0;
};

Number Signed(int64_t value) { return {Number::Kind::Signed, value, 0, 0}; }
Number Unsigned(uint64_t value) { return {Number::Kind::Unsigned, 0, value, 0}; }
Number Real(double value) { return {Number::Kind::Real, 0, 0, value}; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

// Numbers in the invariant form ("-12", "3.5", "1E+20") and the words true/false.
HRESULT ParseNumber(BSTR value, Number& out) {
  const std::u16string_view text = Trim(std::u16string_view(value ? value : u"", SysStringLen(value)));
  if (text::EqualsIgnoreAsciiCase(text, u"true")) {
    out = Signed(-1);
    return S_OK;
  }
  if (text::EqualsIgnoreAsciiCase(text, u"false")) {
    out = Signed(0);
    return S_OK;
  }
  if (text.empty() || text.size() > 64) return DISP_E_TYPEMISMATCH;
  std::string ascii;
  bool integral = true;
  for (char16_t c : text) {
    if (c > 0x7F) return DISP_E_TYPEMISMATCH;
    if (!((c >= u'0' && c <= u'9') || c == u'+' || c == u'-')) integral = false;
    ascii.push_back(static_cast<char>(c));
  }
  char* end = nullptr;
  errno = 0;
  if (integral) {
    const long long parsed = std::strtoll(ascii.c_str(), &end, 10);
    if (end != ascii.c_str() + ascii.size()) return DISP_E_TYPEMISMATCH;
    if (errno == ERANGE) {
      if (ascii[0] == '-') return DISP_E_OVERFLOW;
      errno = 0;
      const unsigned long long big = std::strtoull(ascii.c_str(), &end, 10);
      if (errno == ERANGE) return DISP_E_OVERFLOW;
      out = Unsigned(big);
      return S_OK;
    }
    out = Signed(parsed);
    return S_OK;
  }
  const double parsed = std::strtod(ascii.c_str(), &end);
  if (end != ascii.c_str() + ascii.size() || ascii.find_first_of("xXpP") != std::string::npos || std::isnan(parsed) ||
      std::isinf(parsed))
    return DISP_E_TYPEMISMATCH;
  out = Real(parsed);
  return S_OK;
}

HRESULT ToNumber(const VARIANT& v, Number& out) {
  switch (v.vt) {
    case VT_EMPTY: out = Signed(0); return S_OK;
    case VT_I1: out = Signed(v.cVal); return S_OK;
    case VT_I2: out = Signed(v.iVal); return S_OK;
    case VT_I4: case VT_INT: out = Signed(v.lVal); return S_OK;
    case VT_I8: out = Signed(v.llVal); return S_OK;
    case VT_UI1: out = Unsigned(v.bVal); return S_OK;
    case VT_UI2: out = Unsigned(v.uiVal); return S_OK;
    case VT_UI4: case VT_UINT: out = Unsigned(v.ulVal); return S_OK;
    case VT_UI8: out = Unsigned(v.ullVal); return S_OK;
    case VT_R4: out = Real(v.fltVal); return S_OK;
    case VT_R8: case VT_DATE: out = Real(v.dblVal); return S_OK;
    case VT_BOOL: out = Signed(v.boolVal == VARIANT_FALSE ? 0 : -1); return S_OK;
    case VT_BSTR: return ParseNumber(v.bstrVal, out);
    default: return DISP_E_TYPEMISMATCH;
  }
}

// Reals round half to even, as automation does.
HRESULT ToInteger(const Number& n, int64_t min, uint64_t max, bool& negative, uint64_t& magnitude) {
  if (n.kind == Number::Kind::Real) {
    const double rounded = std::nearbyint(n.d);
    if (!(rounded >= static_cast<double>(min) && rounded <= static_cast<double>(max))) return DISP_E_OVERFLOW;
    negative = rounded < 0;
    magnitude = negative ? static_cast<uint64_t>(-(rounded + 1)) + 1 : static_cast<uint64_t>(rounded);
  } else if (n.kind == Number::Kind::Signed) {
    negative = n.s < 0;
    magnitude = negative ? static_cast<uint64_t>(-(n.s + 1)) + 1 : static_cast<uint64_t>(n.s);
  } else {
    negative = false;
    magnitude = n.u;
  }
  if (negative) {
    if (min >= 0 || magnitude > static_cast<uint64_t>(-(min + 1)) + 1) return DISP_E_OVERFLOW;
  } else if (magnitude > max) {
    return DISP_E_OVERFLOW;
  }
  return S_OK;
}

template <typename T>
HRESULT ToIntegral(const Number& n, T& out) {
  bool negative = false;
  uint64_t magnitude = 0;
  const HRESULT hr = ToInteger(n, static_cast<int64_t>(std::numeric_limits<T>::min()),
                               static_cast<uint64_t>(std::numeric_limits<T>::max()), negative, magnitude);
  if (FAILED(hr)) return hr;
  out = negative ? static_cast<T>(-static_cast<int64_t>(magnitude - 1) - 1) : static_cast<T>(magnitude);
  return S_OK;
}

double ToDouble(const Number& n) {
  switch (n.kind) {
    case Number::Kind::Signed: return static_cast<double>(n.s);
    case Number::Kind::Unsigned: return static_cast<double>(n.u);
    case Number::Kind::Real: return n.d;
  }
  return 0;
}

std::string FormatReal(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
  return buffer;
}

HRESULT ToText(const VARIANT& v, WORD flags, std::u16string& out) {
  switch (v.vt) {
    case VT_EMPTY: out.clear(); return S_OK;
    case VT_BSTR: out.assign(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal)); return S_OK;
    case VT_BOOL:
      if (flags & VARIANT_ALPHABOOL)
        out = v.boolVal ? u"True" : u"False";
      else
        out = v.boolVal ? u"-1" : u"0";
      return S_OK;
    case VT_R4: out = text::Widen(FormatReal(v.fltVal, 7)); return S_OK;
    case VT_R8: out = text::Widen(FormatReal(v.dblVal, 15)); return S_OK;
    default: break;
  }
  Number n;
  if (v.vt == VT_NULL || v.vt == VT_DATE || FAILED(ToNumber(v, n))) return DISP_E_TYPEMISMATCH;
  out = text::Widen(n.kind == Number::Kind::Unsigned ? std::to_string(n.u) : std::to_string(n.s));
  return S_OK;
}

HRESULT Convert(const VARIANT& source, WORD flags, VARTYPE type, VARIANT& result) {
  VariantInit(&result);
  if (type == source.vt) return VariantCopy(&result, &source);
  if (type == VT_EMPTY) return S_OK;
  if (type == VT_BSTR) {
    std::u16string text;
    if (const HRESULT hr = ToText(source, flags, text); FAILED(hr)) return hr;
    result.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (result.bstrVal == nullptr) return E_OUTOFMEMORY;
    result.vt = VT_BSTR;
    return S_OK;
  }
  Number n;
  if (const HRESULT hr = ToNumber(source, n); FAILED(hr)) return hr;
  HRESULT hr = S_OK;
  switch (type) {
    case VT_I2: hr = ToIntegral(n, result.iVal); break;
    case VT_I4: hr = ToIntegral(n, result.lVal); break;
    case VT_UI1: hr = ToIntegral(n, result.bVal); break;
    case VT_UI4: hr = ToIntegral(n, result.ulVal); break;
    case VT_I8: hr = ToIntegral(n, result.llVal); break;
    case VT_UI8: hr = ToIntegral(n, result.ullVal); break;
    case VT_R8: result.dblVal = ToDouble(n); break;
    case VT_BOOL: result.boolVal = ToDouble(n) != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    default: return DISP_E_TYPEMISMATCH;
  }
  if (FAILED(hr)) return hr;
  result.vt = type;
  return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, WORD flags, VARTYPE type) {
  if (target == nullptr || source == nullptr) return E_INVALIDARG;
  if (type & (VT_BYREF | VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  // Work on a dereferenced copy so that target may equal source and a failure leaves target untouched.
  VARIANT value;
  VariantInit(&value);
  if (const HRESULT hr = VariantCopyInd(&value, source); FAILED(hr)) return hr;
  VARIANT result;
  const HRESULT hr = Convert(value, flags, type, result);
  VariantClear(&value);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  if (const HRESULT cleared = VariantClear(target); FAILED(cleared)) {
    VariantClear(&result);
    return cleared;
  }
  std::memcpy(target, &result, sizeof result);
  return S_OK;
}

HRESULT VarBstrCmp(BSTR left, BSTR right, LCID /*locale*/, ULONG flags) {
  const std::u16string_view a(left ? left : u"", SysStringLen(left));
  const std::u16string_view b(right ? right : u"", SysStringLen(right));
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    char16_t x = a[i];
    char16_t y = b[i];
    if (flags & NORM_IGNORECASE) {
      x = text::AsciiLower(x);
      y = text::AsciiLower(y);
    }
    if (x != y) return x < y ? VARCMP_LT : VARCMP_GT;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? VARCMP_LT : VARCMP_GT;
  return VARCMP_EQ;
}

}  // namespace sealrun::platform::com
