#pragma once
// The inserted software seal key as the certificate library sees it: a folder (SEALRUN_KEY) whose
// key.xml names the key's serial, its provider and the signer's files:
//   <SealKey version="1">
//     <Serial>…</Serial> <Provider>…</Provider>
//     <Signer certificate="signer.pem" pkcs12="signer.p12"/> …
//   </SealKey>
// signer.pem is readable without the PIN; signer.p12 holds the private key, its password is the PIN.
#include <filesystem>
#include <optional>
#include <string>

namespace sealrun::components::certlib {

struct SoftKey {
  std::filesystem::path folder;
  std::u16string serial;
  std::u16string provider;
  // Empty when the key names no signer.
  std::filesystem::path signerCertificate;
  std::filesystem::path signerPkcs12;
  // The RFC 7512 name of the signer's key on a PKCS#11 token (<Signer token="pkcs11:…"/>); empty for a soft
  // key. The token then holds the private key and checks the PIN; the certificate is read from the token
  // when the folder holds no copy of it.
  std::string signerToken;
};

// The key in `folder`, or nullopt when there is no readable key.xml with a SealKey root.
std::optional<SoftKey> ReadSoftKey(const std::filesystem::path& folder);
// The key in the folder of the inserted key (platform::fs::SealKeyDir()).
std::optional<SoftKey> ReadInsertedKey();

// A file named by key.xml, inside the key folder: a plain relative path without ".." parts, so a
// key cannot point the library at files outside its own folder. Empty when the name is unusable.
std::filesystem::path KeyFilePath(const std::filesystem::path& folder, std::u16string_view name);

// The bytes of a key file (certificate, PKCS#12), or nullopt when it is missing, not a regular file or
// larger than a key file can sensibly be (1 MiB), so a damaged key cannot make the library read without
// bound.
std::optional<std::string> ReadKeyFile(const std::filesystem::path& path);

}  // namespace sealrun::components::certlib
