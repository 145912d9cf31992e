#pragma once
// A connection point that lives inside the object that fires its events (the container): references to
// the point are references to the container, so the point can never outlive it.
#include <initializer_list>
#include <limits>
#include <mutex>
#include <span>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionInterfaces.h"

namespace sealrun::platform::com {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `container` is the owning object (not AddRef'd: the point is part of it); `eventIid` the interface
  // the sinks must answer. Beyond `maxConnections` Advise fails with CONNECT_E_ADVISELIMIT.
  ConnectionPoint(IConnectionPointContainer* container, REFIID eventIid,
                  size_t maxConnections = std::numeric_limits<size_t>::max());
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;
  ~ConnectionPoint() = default;

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override { return container_->AddRef(); }
  ULONG Release() override { return container_->Release(); }

  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
  // Holds the sink's `eventIid` interface and answers a cookie (never 0). CONNECT_E_CANNOTCONNECT when the
  // sink does not answer the event interface.
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  // CONNECT_E_NOCONNECTION for a cookie that is not (or no longer) connected.
  HRESULT Unadvise(DWORD cookie) override;
  HRESULT EnumConnections(IEnumConnections** connections) override;

  REFIID EventIid() const { return eventIid_; }
  size_t ConnectionCount() const;
  // The sinks at this moment; a copy, so a sink may unadvise while an event is delivered.
  std::vector<ComPtr<IUnknown>> Sinks() const;
  // Invokes `id` as a method on every sink's IDispatch with `args` in natural order. Every sink is called;
  // the first failure is returned.
  HRESULT FireDispatch(DISPID id, std::span<const VARIANT> args);
  HRESULT FireDispatch(DISPID id, std::initializer_list<Variant> args);
  // Drops every connection (the owner's shutdown).
  void UnadviseAll();

 private:
  struct Connection {
    DWORD cookie;
    ComPtr<IUnknown> sink;
  };

  IConnectionPointContainer* container_;
  IID eventIid_;
  size_t maxConnections_;
  mutable std::mutex mutex_;
  std::vector<Connection> connections_;
  DWORD nextCookie_ = 1;
};

// FindConnectionPoint over the points of a container: an AddRef'd point, or CONNECT_E_NOCONNECTION.
HRESULT FindConnectionPointIn(std::span<ConnectionPoint* const> points, REFIID iid, IConnectionPoint** point);

}  // namespace sealrun::platform::com
