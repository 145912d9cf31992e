// Runs without the PDF engine: the engine's digest functions are a counting fake defined here.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "external/qp.h"
#include "support/EngineHash.h"
#include "support/Sha1.h"

struct qp_hash_s {
  std::string fed;
};

namespace {
struct FakeEngine {
  std::deque<qp_hash_s> hashes;
  int creates = 0, calls = 0, destroys = 0;
  bool failCreate = false;
} fake;
}  // namespace

extern "C" {
int qp_hash_create(qp_hash* hash, int) {
  ++fake.creates;
  *hash = fake.failCreate ? nullptr : &fake.hashes.emplace_back();
  return fake.failCreate ? 1 : 0;
}
int qp_hash_update(qp_hash hash, const void* data, size_t length) {
  ++fake.calls;
  hash->fed.append(static_cast<const char*>(data), length);
  return 0;
}
int qp_hash_final(qp_hash hash, unsigned char* out, size_t* length) {
  ++fake.calls;
  if (*length < 20) return 2;
  const auto digest = sealrun::support::Sha1Digest(
      {reinterpret_cast<const std::uint8_t*>(hash->fed.data()), hash->fed.size()});
  std::copy(digest.begin(), digest.end(), out);
  *length = digest.size();
  return 0;
}
void qp_hash_destroy(qp_hash) { ++fake.destroys; }
}

namespace sealrun::support {
namespace {

class EngineHashTest : public ::testing::Test {
 protected:
  void SetUp() override { fake = FakeEngine{}; }
  static std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }
};

TEST_F(EngineHashTest, ForwardsToTheEngineAndReleasesExactlyOnce) {
  {
    EngineHash moved = EngineHash::Create(QP_HASH_SHA1);
    EngineHash hash;
    hash = std::move(moved);
    EXPECT_EQ(hash.Update(Bytes("ab")), 0);
    EXPECT_EQ(hash.Update(Bytes("c")), 0);
    std::vector<std::uint8_t> tooSmall(10);
    std::size_t length = 99;
    EXPECT_NE(hash.Final(tooSmall, length), 0);
    EXPECT_EQ(length, 0u) << "a failed final reports no digest";
    const auto abc = Sha1Digest(Bytes("abc"));
    EXPECT_EQ(hash.Final(), std::vector<std::uint8_t>(abc.begin(), abc.end()));
    hash.Destroy();
    EXPECT_TRUE(hash.IsNull());
  }
  EXPECT_EQ(fake.calls, 4);
  EXPECT_EQ(fake.destroys, 1) << "moved-from holders and the destructor after Destroy release nothing";
}

TEST_F(EngineHashTest, NullHandleForwardsNothing) {
  fake.failCreate = true;
  {
    EngineHash hash = EngineHash::Create(QP_HASH_SHA1);
    EXPECT_TRUE(hash.IsNull());
    EXPECT_EQ(hash.Update(Bytes("abc")), EngineHash::kNoHash);
    std::vector<std::uint8_t> out(20, 0xAA);
    std::size_t length = 99;
    EXPECT_EQ(hash.Final(out, length), EngineHash::kNoHash);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(out, std::vector<std::uint8_t>(20, 0xAA));
  }
  EXPECT_EQ(fake.creates, 1);
  EXPECT_EQ(fake.calls + fake.destroys, 0);
}

}  // namespace
}  // namespace sealrun::support
