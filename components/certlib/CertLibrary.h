#pragma once
// The certificate library class (CertLibraryObject): the signer certificate of the inserted seal key,
// its validation against a root certificate and a revocation list, and message signing with the key,
// all served by member name through IDispatch.
#include <optional>
#include <string>

#include "components/certlib/SecretText.h"
#include "components/certlib/SoftKey.h"
#include "platform/com/Dispatch.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::components::certlib {

namespace com = platform::com;

class CertLibrary final : public com::DispatchObject<CertLibrary, com::IDispatch> {
 public:
  static const com::DispatchTable<CertLibrary>& DispatchMembers();

 private:
  // The open key container: the key and its signer certificate.
  struct Container {
    SoftKey key;
    platform::crypto::Certificate signer;
  };

  com::HRESULT GetCspName(com::DispatchCall& call);
  com::HRESULT PutCspName(com::DispatchCall& call);
  com::HRESULT GetContainer(com::DispatchCall& call);
  com::HRESULT GetCertContext(com::DispatchCall& call);
  com::HRESULT VerifyCertValidity2(com::DispatchCall& call);
  com::HRESULT SetParams(com::DispatchCall& call);
  com::HRESULT PutCardPin(com::DispatchCall& call);
  com::HRESULT GetCertificate(com::DispatchCall& call);
  com::HRESULT CrySignMessage(com::DispatchCall& call);
  com::HRESULT GetSignMessage(com::DispatchCall& call);

  std::optional<Container> OpenContainer() const;
  bool ProviderMatches(const SoftKey& key) const;

  std::u16string cspName_;
  std::optional<Container> container_;
  std::optional<platform::crypto::Certificate> selected_;
  std::u16string keySerial_;
  std::u16string sealSerial_;
  SecretText pin_;
  std::u16string signMessage_;
};

}  // namespace sealrun::components::certlib
