#include "platform/com/ConnectionPoint.h"

#include "platform/com/InvokeByName.h"

namespace sealrun::platform::com {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID eventIid, size_t maxConnections)
    : container_(container), eventIid_(eventIid), maxConnections_(maxConnections) {}

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    AddRef();
    *object = static_cast<IConnectionPoint*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = eventIid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  container_->AddRef();
  *container = container_;
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  ComPtr<IUnknown> events;
  if (FAILED(sink->QueryInterface(eventIid_, events.OutVoid()))) return CONNECT_E_CANNOTCONNECT;
  std::lock_guard lock(mutex_);
  if (connections_.size() >= maxConnections_) return CONNECT_E_ADVISELIMIT;
  try {
    connections_.push_back({nextCookie_, std::move(events)});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  if (nextCookie_ == 0) nextCookie_ = 1;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  ComPtr<IUnknown> released;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
      if (it->cookie == cookie) {
        // The sink is released outside the lock: its Release may call back into this point.
        released = std::move(it->sink);
        connections_.erase(it);
        return S_OK;
      }
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections != nullptr) *connections = nullptr;
  return E_NOTIMPL;
}

size_t ConnectionPoint::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
  std::lock_guard lock(mutex_);
  std::vector<ComPtr<IUnknown>> sinks;
  sinks.reserve(connections_.size());
  for (const auto& connection : connections_) sinks.push_back(connection.sink);
  return sinks;
}

HRESULT ConnectionPoint::FireDispatch(DISPID id, std::span<const VARIANT> args) {
  HRESULT first = S_OK;
  for (const auto& sink : Sinks()) {
    ComPtr<IDispatch> dispatch;
    HRESULT hr = sink->QueryInterface(IID_IDispatch, dispatch.OutVoid());
    if (SUCCEEDED(hr)) hr = InvokeById(dispatch.Get(), id, DISPATCH_METHOD, args, nullptr);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

HRESULT ConnectionPoint::FireDispatch(DISPID id, std::initializer_list<Variant> args) {
  std::vector<VARIANT> values;
  values.reserve(args.size());
  for (const Variant& arg : args) values.push_back(*arg.Get());
  return FireDispatch(id, values);
}

void ConnectionPoint::UnadviseAll() {
  std::vector<Connection> released;
  {
    std::lock_guard lock(mutex_);
    released.swap(connections_);
  }
}

HRESULT FindConnectionPointIn(std::span<ConnectionPoint* const> points, REFIID iid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  for (ConnectionPoint* candidate : points) {
    if (candidate != nullptr && candidate->EventIid() == iid) {
      candidate->AddRef();
      *point = candidate;
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

}  // namespace sealrun::platform::com
