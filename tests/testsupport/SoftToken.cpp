#include "tests/testsupport/SoftToken.h"

#include <libp11.h>
#include <openssl/pkcs12.h>

#include <fstream>
#include <regex>
#include <vector>

#include "tests/testsupport/ToolRun.h"

namespace sealrun::testing {
namespace {

namespace fs = std::filesystem;

std::string PercentEncoded(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
    if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The demo signer's key and certificate, from its PKCS#12 file.
bool ReadDemoSigner(EVP_PKEY*& key, X509*& certificate) {
  std::ifstream in(fs::path(SEALRUN_TEST_SOURCE_DIR) / "data/demo-key/signer.p12", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto* cursor = reinterpret_cast<const unsigned char*>(bytes.data());
  PKCS12* file = d2i_PKCS12(nullptr, &cursor, static_cast<long>(bytes.size()));
  if (file == nullptr) return false;
  STACK_OF(X509)* chain = nullptr;
  const bool parsed = PKCS12_parse(file, "123456", &key, &certificate, &chain) == 1;
  sk_X509_pop_free(chain, X509_free);
  PKCS12_free(file);
  return parsed && key != nullptr && certificate != nullptr;
}

// Stores the demo signer on the token through the module, then unloads the module again, so the code under
// test loads it afresh.
std::string StoreDemoSigner() {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  if (!ReadDemoSigner(key, certificate)) return "the demo signer's PKCS#12 does not open";
  std::string why;
  PKCS11_CTX* context = PKCS11_CTX_new();
  PKCS11_SLOT* slots = nullptr;
  unsigned int count = 0;
  if (PKCS11_CTX_load(context, SoftToken::kModule) != 0) {
    why = "SoftHSM2's module does not load";
  } else {
    if (PKCS11_enumerate_slots(context, &slots, &count) != 0) {
      why = "SoftHSM2 lists no slots";
    } else {
      PKCS11_SLOT* slot = PKCS11_find_token(context, slots, count);
      unsigned char id[] = {0x5E, 0xA1};
      char label[] = "seal signer";
      if (slot == nullptr || PKCS11_open_session(slot, 1) != 0 || PKCS11_login(slot, 0, SoftToken::kUserPin) != 0)
        why = "the new token does not take its user PIN";
      else if (PKCS11_store_private_key(slot->token, key, label, id, sizeof id) != 0 ||
               PKCS11_store_certificate(slot->token, certificate, label, id, sizeof id, nullptr) != 0)
        why = "the token does not store the demo signer";
      PKCS11_release_all_slots(context, slots, count);
    }
    PKCS11_CTX_unload(context);
  }
  PKCS11_CTX_free(context);
  EVP_PKEY_free(key);
  X509_free(certificate);
  return why;
}

}  // namespace

SoftToken::SoftToken(Token)
    : configuration_("SOFTHSM2_CONF", (temp_.Path() / "softhsm2.conf").string()) {}

std::unique_ptr<SoftToken> SoftToken::Create(std::string& why) {
  if (!fs::exists(kModule)) {
    why = "SoftHSM2 is not installed";
    return nullptr;
  }
  auto token = std::make_unique<SoftToken>(Token{});
  const fs::path tokens = token->Folder() / "tokens";
  fs::create_directories(tokens);
  std::ofstream(token->Folder() / "softhsm2.conf")
      << "directories.tokendir = " << tokens.string() << "\nobjectstore.backend = file\nlog.level = ERROR\n";
  const ToolRun made = RunProgram("softhsm2-util", {"--init-token", "--free", "--label", kLabel, "--pin", kUserPin,
                                                    "--so-pin", kSecurityOfficerPin});
  if (made.exitCode != 0) {
    why = "softhsm2-util cannot make a token: " + made.output;
    return nullptr;
  }
  why = StoreDemoSigner();
  if (!why.empty()) return nullptr;
  return token;
}

std::string SoftToken::KeyUri(const std::string& module) {
  return "pkcs11:token=" + PercentEncoded(kLabel) + ";object=" + PercentEncoded(kObject) +
         ";type=private?module-path=" + PercentEncoded(module);
}

void MakeTokenKeyFolder(const fs::path& folder, const std::string& uri) {
  fs::create_directories(folder);
  fs::copy(fs::path(SEALRUN_TEST_SOURCE_DIR) / "data/demo-key", folder,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  fs::remove(folder / "signer.p12");
  fs::remove(folder / "pin-tries");
  const fs::path keyXml = folder / "key.xml";
  std::ifstream in(keyXml);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::string escaped;
  for (const char c : uri) escaped += c == '&' ? std::string("&amp;") : std::string(1, c);
  text = std::regex_replace(text, std::regex("<Signer [^>]*/>"), "<Signer certificate=\"signer.pem\" token=\"" + escaped + "\"/>");
  // The token checks the PIN: the key keeps no verifier of its own.
  text = std::regex_replace(text, std::regex("[ ]*<(Pin|UnlockCode)[^>]*>[^<]*</(Pin|UnlockCode)>\n"), "");
  fs::permissions(keyXml, fs::perms::owner_read | fs::perms::owner_write);
  std::ofstream(keyXml, std::ios::trunc) << text;
}

}  // namespace sealrun::testing
