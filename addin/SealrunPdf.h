#pragma once
// The add-in object the host creates and connects: it starts the engine, reads the settings, places its
// commands and pane in the host, answers the host's events, and exposes the shared state to automation
// clients through ICSealrunPDF.
#include <memory>
#include <string>

#include "addin/AddinIds.h"
#include "addin/HostEventSink.h"
#include "addin/PreStamp.h"
#include "external/HostViewer.h"
#include "platform/com/Bstr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Dispatch.h"
#include "platform/ui/Cursor.h"

namespace sealrun::addin {

namespace com = platform::com;

// The automation interface: five properties, dispatch ids 1 to 5.
class ICSealrunPDF : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = kICSealrunPdfIid;

  virtual com::HRESULT get_SigText(com::BSTR* value) = 0;
  virtual com::HRESULT put_SigText(com::BSTR value) = 0;
  virtual com::HRESULT get_SigPage(com::LONG* value) = 0;
  virtual com::HRESULT put_SigPage(com::LONG value) = 0;
  virtual com::HRESULT get_SigFiles(com::BSTR* value) = 0;
  virtual com::HRESULT put_SigFiles(com::BSTR value) = 0;
  virtual com::HRESULT get_IsAddDate(com::VARIANT_BOOL* value) = 0;
  virtual com::HRESULT put_IsAddDate(com::VARIANT_BOOL value) = 0;
  virtual com::HRESULT get_IsTextPosLocked(com::VARIANT_BOOL* value) = 0;
  virtual com::HRESULT put_IsTextPosLocked(com::VARIANT_BOOL value) = 0;

 protected:
  ~ICSealrunPDF() = default;
};

// The primary interface: error-information support extended by the handlers of the host's events.
class ISealrunPdfEvents : public com::ISupportErrorInfo, public HostEventHandlers {
 public:
  using Base = com::ISupportErrorInfo;
  static constexpr com::IID kIid = com::IID_ISupportErrorInfo;

 protected:
  ~ISealrunPdfEvents() = default;
};

class CSealrunPDF final : public com::DispatchObject<CSealrunPDF, ICSealrunPDF, ISealrunPdfEvents,
                                                    com::IConnectionPointContainer, external::QPXExtensibility> {
 public:
  static constexpr bool kAggregatable = true;
  static constexpr uint32_t kNotSubscribed = 0xFEFEFEFE;

  CSealrunPDF();
  ~CSealrunPDF() override;

  static const com::DispatchTable<CSealrunPDF>& DispatchMembers();

  // ISupportErrorInfo
  com::HRESULT InterfaceSupportsErrorInfo(com::REFIID iid) override;

  // Host events
  com::HRESULT OnCommand(uint32_t first, uint32_t id) override;
  com::HRESULT OnContextRequest(com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l,
                                com::VARIANT_BOOL* handled) override;
  com::HRESULT OnSetCursor(com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l,
                           com::VARIANT_BOOL* handled) override;
  com::HRESULT OnMouseNotify(com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l,
                             com::VARIANT_BOOL* handled) override;
  com::HRESULT OnPlaceClick(com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l,
                            com::VARIANT_BOOL* handled) override;

  // IConnectionPointContainer
  com::HRESULT EnumConnectionPoints(com::IEnumConnectionPoints** points) override;
  com::HRESULT FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) override;

  // ICSealrunPDF
  com::HRESULT get_SigText(com::BSTR* value) override;
  com::HRESULT put_SigText(com::BSTR value) override;
  com::HRESULT get_SigPage(com::LONG* value) override;
  com::HRESULT put_SigPage(com::LONG value) override;
  com::HRESULT get_SigFiles(com::BSTR* value) override;
  com::HRESULT put_SigFiles(com::BSTR value) override;
  com::HRESULT get_IsAddDate(com::VARIANT_BOOL* value) override;
  com::HRESULT put_IsAddDate(com::VARIANT_BOOL value) override;
  com::HRESULT get_IsTextPosLocked(com::VARIANT_BOOL* value) override;
  com::HRESULT put_IsTextPosLocked(com::VARIANT_BOOL value) override;

  // QPXExtensibility
  com::HRESULT OnConnection(com::IDispatch* application) override;
  com::HRESULT OnDisconnection() override;
  com::HRESULT OnAddInsUpdate() override { return com::E_NOTIMPL; }
  com::HRESULT OnStartupComplete(com::VARIANT*) override { return com::E_NOTIMPL; }
  com::HRESULT OnBeginShutdown(com::VARIANT*) override { return com::E_NOTIMPL; }

  // What tests and the front end read back.
  uint32_t EventCookie() const { return eventCookie_; }
  int32_t SignCommandId() const { return signCommandId_; }
  int32_t VerifyCommandId() const { return verifyCommandId_; }
  int32_t RemoveCommandId() const { return removeCommandId_; }
  int32_t PreStampCommandId() const { return preStampCommandId_; }
  int32_t ChooseImageCommandId() const { return chooseImageCommandId_; }
  bool IsPlacing() const { return placing_ != 0; }
  const PreStampSettings& SealImage() const { return sealImage_; }
  const std::shared_ptr<const platform::ui::Cursor>& SealCursor() const { return sealCursor_; }

 private:
  // The work of OnConnection and OnDisconnection, which run it inside the guard.
  com::HRESULT Connect(com::IDispatch* application);
  com::HRESULT Disconnect();
  void BuildCommands();
  void ArmPreStamp();
  void ChooseSealImage();
  void TogglePane(int32_t id);

  // Dispatch handlers of the properties.
  com::HRESULT DispGetSigText(com::DispatchCall& call);
  com::HRESULT DispPutSigText(com::DispatchCall& call);
  com::HRESULT DispGetSigPage(com::DispatchCall& call);
  com::HRESULT DispPutSigPage(com::DispatchCall& call);
  com::HRESULT DispGetSigFiles(com::DispatchCall& call);
  com::HRESULT DispPutSigFiles(com::DispatchCall& call);
  com::HRESULT DispGetIsAddDate(com::DispatchCall& call);
  com::HRESULT DispPutIsAddDate(com::DispatchCall& call);
  com::HRESULT DispGetIsTextPosLocked(com::DispatchCall& call);
  com::HRESULT DispPutIsTextPosLocked(com::DispatchCall& call);

  com::ConnectionPoint events_;
  HostEventSink sink_;
  uint32_t eventCookie_ = kNotSubscribed;
  int32_t signCommandId_ = 0;
  int32_t verifyCommandId_ = 0;
  int32_t removeCommandId_ = 0;
  com::VARIANT_BOOL paneVisible_ = -1;
  com::ComPtr<external::IHostCommandBar> popupBar_;
  com::ComPtr<external::IHostControl> preStampItem_;
  com::ComPtr<external::IHostControl> chooseImageItem_;
  int32_t preStampCommandId_ = 0;
  int32_t chooseImageCommandId_ = 0;
  int32_t placing_ = 0;
  PreStampSettings sealImage_;
  std::shared_ptr<const platform::ui::Cursor> sealCursor_;
  com::Bstr sigText_;
  int32_t sigPage_ = 0;
};

}  // namespace sealrun::addin
