#include "components/sealkey/SealHeader.h"

namespace sealrun::components::sealkey {

const platform::com::DispatchTable<SealHeader>& SealHeader::DispatchMembers() {
  static const platform::com::DispatchTable<SealHeader> table{{
      {.name = u"SignName", .id = 1, .get = &SealHeader::SignName},
      {.name = u"SerialNumber", .id = 2, .get = &SealHeader::SerialNumber},
      {.name = u"UserName", .id = 3, .get = &SealHeader::UserName},
      {.name = u"UnitName", .id = 4, .get = &SealHeader::UnitName},
      {.name = u"SignExt", .id = 5, .get = &SealHeader::SignExt},
      {.name = u"ImgValue", .id = 6, .get = &SealHeader::ImgValue},
  }};
  return table;
}

}  // namespace sealrun::components::sealkey
