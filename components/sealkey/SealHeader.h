#pragma once
// The header object HeadInformations hands out for one seal: its texts and its picture as Base64 text
// (ImgValue), which the key's DeCodeImgData turns back into the picture's bytes.
#include <string>

#include "components/sealkey/SealKeyFolder.h"
#include "platform/com/Dispatch.h"

namespace sealrun::components::sealkey {

class SealHeader final : public platform::com::DispatchObject<SealHeader, platform::com::IDispatch> {
 public:
  SealHeader(SealEntry entry, std::u16string imgValue) : entry_(std::move(entry)), imgValue_(std::move(imgValue)) {}

  static const platform::com::DispatchTable<SealHeader>& DispatchMembers();

 private:
  using DispatchCall = platform::com::DispatchCall;
  using HRESULT = platform::com::HRESULT;

  HRESULT SignName(DispatchCall& call) { return call.ReturnString(entry_.name); }
  HRESULT SerialNumber(DispatchCall& call) { return call.ReturnString(entry_.serial); }
  HRESULT UserName(DispatchCall& call) { return call.ReturnString(entry_.user); }
  HRESULT UnitName(DispatchCall& call) { return call.ReturnString(entry_.unit); }
  HRESULT SignExt(DispatchCall& call) { return call.ReturnString(entry_.extension); }
  HRESULT ImgValue(DispatchCall& call) { return call.ReturnString(imgValue_); }

  SealEntry entry_;
  std::u16string imgValue_;
};

}  // namespace sealrun::components::sealkey
