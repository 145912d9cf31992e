#pragma once
// The running digest of one page of the document fingerprint and the way each kind of value is written into
// it: names with their delimiters escaped, strings literal or hex, reals to ten places without trailing zeros.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "support/Sha1.h"

namespace sealrun::verify {

enum class StringForm { Literal, Hex };

class FingerprintDigest {
 public:
  void Write(std::string_view bytes);
  // Stream data: large pieces go to the digest as they are.
  void WriteBulk(std::span<const std::uint8_t> bytes);

  // "/" and the name's bytes, a white-space or delimiter byte as "#" and two upper-case hex digits.
  void WriteName(std::string_view name);
  // "<" hex digits ">", or "(" the bytes ")" with \b \t \n \f \r ( ) and backslash escaped.
  void WriteString(std::string_view bytes, StringForm form);
  // "%.10f" without trailing zeros, one zero kept after a bare point (2 -> 2.0, 1.25 -> 1.25), in every locale.
  void WriteReal(double value);
  void WriteInteger(std::int64_t value);

  // The 28 FingerprintAlphabet symbols of everything written since the last digest; the digest restarts.
  std::string TakeDigestText();
  void Reset();

  // Bytes written since construction (for throughput figures).
  std::uint64_t FedByteCount() const { return fedBytes_; }

  // Keeps a copy of everything written from now on, up to `limit` bytes, so that a value written again can
  // be fed from the copy. EndCapture gives the copy, or nullopt when more than `limit` bytes were written.
  void BeginCapture(std::size_t limit);
  std::optional<std::string> EndCapture();
  bool Capturing() const { return capturing_; }

 private:
  void Flush();
  void Capture(std::string_view bytes);

  support::Sha1 sha1_;
  std::string pending_;  // small tokens gathered before they go to the digest
  std::uint64_t fedBytes_ = 0;
  bool capturing_ = false;
  bool captureOverflow_ = false;
  std::size_t captureLimit_ = 0;
  std::size_t captureFrom_ = 0;  // where the captured part of pending_ begins
  std::string captured_;
};

}  // namespace sealrun::verify
