#pragma once
// Small readers over engine objects for the comparison of revisions: an entry, a name, an object number,
// the keys of a dictionary, the items of an array. Every handle they give is owned.
#include <string>
#include <string_view>
#include <vector>

#include "external/QpHandles.h"

namespace sealrun::verify {

using external::CosHandle;

// The value under `key` (null when absent or when `dict` is null).
inline CosHandle Entry(qp_cos dict, const char* key) {
  return CosHandle(dict == nullptr ? nullptr : qp_cos_dict_gets(dict, key));
}

// The name's text; empty for anything but a name.
inline std::string_view NameOf(qp_cos value) {
  if (value == nullptr || !qp_cos_is_name(value)) return {};
  const char* name = qp_cos_to_name(value);
  return name == nullptr ? std::string_view() : std::string_view(name);
}

inline std::string_view NameAt(qp_cos dict, const char* key) { return NameOf(Entry(dict, key).get()); }

// The object number of a reference (or of an object reached through one); 0 for a direct object.
inline int NumberOf(qp_cos value) { return value == nullptr ? 0 : qp_cos_obj_num(value); }

inline bool IsDict(qp_cos value) { return value != nullptr && qp_cos_is_dict(value); }

std::vector<std::string> KeysOf(qp_cos dict);
// The items of an array (an empty list for anything else).
std::vector<CosHandle> ItemsOf(qp_cos array);

// Whether an object looks like an annotation: a dictionary with a /Subtype name and a /Rect.
bool LooksLikeAnnotation(qp_cos dict);
// Whether a field dictionary, or a widget through its /Parent chain, is a signature field.
bool IsSignatureField(qp_cos dict);
// The value (/V) of a field, or of the field a widget belongs to; null when it has none.
CosHandle SignatureValueOf(qp_cos fieldOrWidget);
// Whether a signature value is a document timestamp (/Type /DocTimeStamp).
bool IsDocumentTimestamp(qp_cos signatureValue);

}  // namespace sealrun::verify
