#include "verify/CosReading.h"

namespace sealrun::verify {

namespace {

constexpr int kMaxFieldDepth = 32;  // field trees nest a few levels; a loop must not hang the walk

}  // namespace

std::vector<std::string> KeysOf(qp_cos dict) {
  std::vector<std::string> keys;
  if (!IsDict(dict)) return keys;
  const int count = qp_cos_dict_len(dict);
  for (int i = 0; i < count; ++i)
    if (const char* key = qp_cos_dict_get_key(dict, i); key != nullptr) keys.emplace_back(key);
  return keys;
}

std::vector<CosHandle> ItemsOf(qp_cos array) {
  std::vector<CosHandle> items;
  if (array == nullptr || !qp_cos_is_array(array)) return items;
  const int count = qp_cos_array_len(array);
  for (int i = 0; i < count; ++i) items.emplace_back(qp_cos_array_get(array, i));
  return items;
}

bool LooksLikeAnnotation(qp_cos dict) {
  if (!IsDict(dict)) return false;
  if (NameAt(dict, "Type") == "Annot") return true;
  return !NameAt(dict, "Subtype").empty() && Entry(dict, "Rect") != nullptr;
}

bool IsSignatureField(qp_cos dict) {
  if (!IsDict(dict)) return false;
  if (NameAt(dict, "FT") == "Sig") return true;
  CosHandle parent = Entry(dict, "Parent");
  for (int depth = 0; IsDict(parent.get()) && depth < kMaxFieldDepth; ++depth) {
    const std::string_view type = NameAt(parent.get(), "FT");
    if (!type.empty()) return type == "Sig";
    parent = Entry(parent.get(), "Parent");
  }
  return false;
}

CosHandle SignatureValueOf(qp_cos dict) {
  if (!IsDict(dict)) return nullptr;
  if (CosHandle value = Entry(dict, "V"); value != nullptr) return value;
  CosHandle parent = Entry(dict, "Parent");
  for (int depth = 0; IsDict(parent.get()) && depth < kMaxFieldDepth; ++depth) {
    if (CosHandle value = Entry(parent.get(), "V"); value != nullptr) return value;
    parent = Entry(parent.get(), "Parent");
  }
  return nullptr;
}

bool IsDocumentTimestamp(qp_cos signatureValue) {
  return IsDict(signatureValue) && NameAt(signatureValue, "Type") == "DocTimeStamp";
}

}  // namespace sealrun::verify
