// Signing on a PKCS#11 token (SoftHSM2, made for the run) against signing with the soft key, for the same
// message: a seal's fingerprint signed as an attached CMS message, as the certificate library signs it.
//  - SoftKeySignature: the demo signer's key in memory (unlocked from its PKCS#12 once);
//  - TokenKeySignature: the same key on the token, logged in once (a signature field's signature, or a
//    message of a batch);
//  - TokenLoginAndSignature: a login with the PIN and a signature each time, as the certificate library
//    does for every seal message it signs on a token.
#include <benchmark/benchmark.h>

#include <array>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/crypto/Cms.h"
#include "platform/crypto/KeyStore.h"
#include "platform/crypto/TokenKey.h"
#include "tests/testsupport/SoftToken.h"

namespace {

namespace crypto = sealrun::platform::crypto;
using sealrun::testing::SoftToken;

constexpr std::string_view kFingerprint = "Zk9PQkFSMTIzNDU2Nzg5MEFCQ0RFRg==";

std::unique_ptr<SoftToken>& Token() {
  static std::unique_ptr<SoftToken> token = [] {
    std::string why;
    return SoftToken::Create(why);
  }();
  return token;
}

void SignOrFail(benchmark::State& state, const crypto::Certificate& certificate, const crypto::PrivateKey& key) {
  const auto message = crypto::CmsSignAttached(certificate, key, crypto::AsBytes(kFingerprint));
  if (!message) state.SkipWithError(message.GetError().message.c_str());
  benchmark::DoNotOptimize(message);
}

void SoftKeySignature(benchmark::State& state) {
  std::ifstream in(SEALRUN_BENCH_DEMO_KEY "/signer.p12", std::ios::binary);
  const std::string pkcs12((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto& store = crypto::KeyStore::Instance();
  const auto certificate = store.ImportPkcs12(crypto::AsBytes(pkcs12), "123456");
  const auto key = certificate ? store.FindPrivateKey(*certificate) : std::nullopt;
  if (!key) {
    state.SkipWithError("the demo key does not open");
    return;
  }
  for (auto _ : state) SignOrFail(state, *certificate, *key);
  store.Clear();
}
BENCHMARK(SoftKeySignature)->Unit(benchmark::kMillisecond);

void TokenKeySignature(benchmark::State& state) {
  const auto uri = crypto::ParseTokenUri(SoftToken::KeyUri());
  const crypto::TokenResult login = Token() && uri ? crypto::LoginToTokenKey(*uri, SoftToken::kUserPin) : crypto::TokenResult{};
  if (!login.Ok()) {
    state.SkipWithError("no SoftHSM2 token");
    return;
  }
  for (auto _ : state) SignOrFail(state, *login.certificate, *login.key);
}
BENCHMARK(TokenKeySignature)->Unit(benchmark::kMillisecond);

void TokenLoginAndSignature(benchmark::State& state) {
  const auto uri = crypto::ParseTokenUri(SoftToken::KeyUri());
  if (!Token() || !uri) {
    state.SkipWithError("no SoftHSM2 token");
    return;
  }
  for (auto _ : state) {
    const crypto::TokenResult login = crypto::LoginToTokenKey(*uri, SoftToken::kUserPin);
    if (!login.Ok()) {
      state.SkipWithError(login.detail.c_str());
      break;
    }
    SignOrFail(state, *login.certificate, *login.key);
  }
}
BENCHMARK(TokenLoginAndSignature)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
