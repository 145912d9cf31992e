#pragma once
// Results of fallible crypto operations: the value or an error with a code and a readable text.
// Nothing in this layer throws across its interface.
#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace sealrun::platform::crypto {

enum class ErrorCode {
  InvalidInput,      // bytes that do not parse (DER, PEM, PKCS#12, CMS)
  WrongPassword,     // a PKCS#12 file whose password does not match
  NotFound,          // no private key for the certificate, no certificate in a file
  KeyMismatch,       // a private key that does not belong to the certificate
  Unsupported,       // an algorithm or structure this layer does not handle
  Failed,            // the operation itself failed (signing, encoding)
};

struct Error {
  ErrorCode code = ErrorCode::Failed;
  std::string message;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}  // NOLINT: implicit on purpose
  Result(Error error) : state_(std::move(error)) {}  // NOLINT

  bool Ok() const { return state_.index() == 0; }
  explicit operator bool() const { return Ok(); }

  T& Value() & { assert(Ok()); return std::get<0>(state_); }
  const T& Value() const& { assert(Ok()); return std::get<0>(state_); }
  T&& Value() && { assert(Ok()); return std::get<0>(std::move(state_)); }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }
  T& operator*() & { return Value(); }
  const T& operator*() const& { return Value(); }

  const Error& GetError() const { assert(!Ok()); return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

// Result without a value.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT
  static Status Success() { return {}; }

  bool Ok() const { return !failed_; }
  explicit operator bool() const { return Ok(); }
  const Error& GetError() const { assert(failed_); return error_; }

 private:
  Error error_;
  bool failed_ = false;
};

}  // namespace sealrun::platform::crypto
