#include "signing/DocumentPermission.h"

#include <array>
#include <cstddef>

namespace sealrun::signing {
namespace {

constexpr std::size_t kPermissionCount = 8;
// The /P bit of each permission, as the engine is asked for it.
constexpr std::array<int, kPermissionCount> kPermissionBits{4, 8, 16, 32, 256, 512, 1024, 2048};
constexpr std::array<std::string_view, kPermissionCount> kPermissionNames{
    "print", "modify", "copy", "annotate", "fill forms", "accessibility", "assemble", "high-quality print"};

}  // namespace

bool CheckPermission(qp_document document, Permission permission) {
  std::size_t index = static_cast<std::size_t>(permission);
  if (index >= kPermissionCount) return false;
  // Fill forms (4) pairs with annotate (3), accessibility with copy, assemble with modify, high-quality
  // print with print.
  if (index >= 4 && qp_document_crypt_revision(document) == 2) index = kPermissionCount - 1 - index;
  return qp_document_has_permissions(document, kPermissionBits[index]) > 0;
}

std::string_view PermissionName(Permission permission) {
  const auto index = static_cast<std::size_t>(permission);
  return index < kPermissionCount ? kPermissionNames[index] : std::string_view("unknown permission");
}

}  // namespace sealrun::signing
