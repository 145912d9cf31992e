#pragma once
// Writes one value reported by qp_cos_walk into the fingerprint digest as the rules spell it: a reference
// below the top level writes nothing, one at the top level is followed; a dictionary's entries as "/" key,
// one space before a value that starts with a regular character, then the value; an array's elements with a
// space only where a regular character meets one; a stream's data framed by "stream" CR LF ... CR LF
// "endstream".
#include <vector>

#include "external/qp.h"
#include "verify/FingerprintDigest.h"

namespace sealrun::verify {

// A reference met at the top level is followed and its target written; below it the reference itself
// writes nothing.
enum class CosLevel { Top, Nested };

class CanonicalWriter {
 public:
  explicit CanonicalWriter(FingerprintDigest& digest) : digest_(digest) {}

  // Starts a value whose first item comes at `depth`.
  void Begin(int depth, CosLevel level);
  // True before Begin and once the value is written in full.
  bool Idle() const { return idle_; }
  // Writes the item; the answer for the walk.
  int OnItem(const qp_walk_item& item);

 private:
  struct Frame {
    bool dict = false;
    bool stream = false;
    bool first = true;
    bool previousEndsRegular = false;
  };
  int OnValue(const qp_walk_item& item);
  void FinishValue();

  FingerprintDigest& digest_;
  std::vector<Frame> frames_;
  int base_ = 0;
  CosLevel level_ = CosLevel::Top;
  bool idle_ = true;
  bool streamOpen_ = false;
};

}  // namespace sealrun::verify
