#pragma once
// The sink the add-in object subscribes to the host's event interface. The host's events are a
// dispinterface whose dispatch ids (1 to 7) overlap the add-in's own properties, so the sink is a separate
// IDispatch inside the add-in object (its references are the object's) that turns each event into a call
// of the object's handler, inside the guard (platform/com/Guard.h).
#include <cstdint>

#include "platform/com/Interfaces.h"
#include "platform/com/Types.h"

namespace sealrun::addin {

namespace com = platform::com;

// The handlers the sink calls.
class HostEventHandlers {
 public:
  virtual com::HRESULT OnCommand(uint32_t first, uint32_t id) = 0;
  virtual com::HRESULT OnContextRequest(com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l,
                                        com::VARIANT_BOOL* handled) = 0;
  virtual com::HRESULT OnSetCursor(com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l,
                                   com::VARIANT_BOOL* handled) = 0;
  virtual com::HRESULT OnMouseNotify(com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l,
                                     com::VARIANT_BOOL* handled) = 0;
  virtual com::HRESULT OnPlaceClick(com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l,
                                    com::VARIANT_BOOL* handled) = 0;

 protected:
  ~HostEventHandlers() = default;
};

class HostEventSink final : public com::IDispatch {
 public:
  // `owner` holds the sink; its IUnknown counts the sink's references.
  HostEventSink(com::IUnknown* owner, HostEventHandlers* handlers) : owner_(owner), handlers_(handlers) {}
  HostEventSink(const HostEventSink&) = delete;
  HostEventSink& operator=(const HostEventSink&) = delete;
  ~HostEventSink() = default;

  com::HRESULT QueryInterface(com::REFIID iid, void** object) override;
  com::ULONG AddRef() override { return owner_->AddRef(); }
  com::ULONG Release() override { return owner_->Release(); }
  com::HRESULT GetTypeInfoCount(com::UINT* count) override;
  com::HRESULT GetTypeInfo(com::UINT index, com::LCID locale, com::ITypeInfo** info) override;
  com::HRESULT GetIDsOfNames(com::REFIID iid, com::LPOLESTR* names, com::UINT count, com::LCID locale,
                             com::DISPID* ids) override;
  com::HRESULT Invoke(com::DISPID member, com::REFIID iid, com::LCID locale, com::WORD flags,
                      com::DISPPARAMS* params, com::VARIANT* result, com::EXCEPINFO* exception,
                      com::UINT* argumentError) override;

 private:
  com::HRESULT Deliver(com::DISPID member, const com::DISPPARAMS& params);

  com::IUnknown* owner_;
  HostEventHandlers* handlers_;
};

}  // namespace sealrun::addin
