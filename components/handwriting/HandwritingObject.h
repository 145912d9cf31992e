#pragma once
// HandwritingObject: the handwriting component. The caller hands it fields by name (pen, font, the pen
// widths and texts offered, the alphabet of its Base64 texts), runs its writing window, and reads back the
// written signature ("SignatureValue", Base64 of the picture's bytes), the PIN typed in the window
// ("HandPassword") and every field it was given, changed where the user changed it in the window.
#include <string>
#include <utility>
#include <vector>

#include "components/handwriting/HandwritingIds.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Variant.h"

namespace sealrun::components::handwriting {

class HandwritingObject final
    : public platform::com::DispatchObject<HandwritingObject, platform::com::IDispatch> {
 public:
  HandwritingObject() = default;
  ~HandwritingObject() override;

  static const platform::com::DispatchTable<HandwritingObject>& DispatchMembers();

 private:
  using DispatchCall = platform::com::DispatchCall;
  using HRESULT = platform::com::HRESULT;

  HRESULT GetLanguage(DispatchCall& call);
  HRESULT PutLanguage(DispatchCall& call);
  HRESULT SetFieldByName(DispatchCall& call);
  HRESULT GetFieldByName(DispatchCall& call);
  HRESULT ExecuteHandWrite(DispatchCall& call);

  // The field's value, or null when it was never set.
  const platform::com::Variant* Field(std::u16string_view name) const;
  void SetField(std::u16string_view name, platform::com::Variant value);
  std::u16string FieldText(std::u16string_view name) const;

  std::u16string language_;
  // In the order they were first set, as the window lists them.
  std::vector<std::pair<std::u16string, platform::com::Variant>> fields_;
};

}  // namespace sealrun::components::handwriting
