#pragma once
// A PIN held in memory: UTF-8 bytes wiped when replaced or destroyed, never copied.
#include <openssl/crypto.h>

#include <string>
#include <string_view>

namespace sealrun::components::certlib {

class SecretText {
 public:
  SecretText() = default;
  ~SecretText() { Wipe(); }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;

  void Assign(std::string text) {
    Wipe();
    text_ = std::move(text);
    OPENSSL_cleanse(text.data(), text.size());
  }
  void Wipe() {
    OPENSSL_cleanse(text_.data(), text_.size());
    text_.clear();
  }
  std::string_view View() const { return text_; }
  bool Empty() const { return text_.empty(); }

 private:
  std::string text_;
};

}  // namespace sealrun::components::certlib
