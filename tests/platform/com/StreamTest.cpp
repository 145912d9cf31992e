#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/MemoryStream.h"

namespace sealrun::platform::com {
namespace {

LARGE_INTEGER Offset(LONGLONG value) {
  LARGE_INTEGER offset{};
  offset.QuadPart = value;
  return offset;
}

uint64_t Position(IStream* stream) {
  ULARGE_INTEGER position{};
  EXPECT_EQ(stream->Seek(Offset(0), STREAM_SEEK_CUR, &position), S_OK);
  return position.QuadPart;
}

uint64_t Size(IStream* stream) {
  STATSTG statistics{};
  EXPECT_EQ(stream->Stat(&statistics, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(statistics.type, STGTY_STREAM);
  return statistics.cbSize.QuadPart;
}

std::string ReadAll(IStream* stream) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(ReadWholeStream(stream, bytes), S_OK);
  return std::string(bytes.begin(), bytes.end());
}

TEST(StreamTest, WriteSeekAndReadFollowThePosition) {
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, 1, stream.Out()), S_OK);
  ULONG written = 0;
  ASSERT_EQ(stream->Write("sealrun", 7, &written), S_OK);
  EXPECT_EQ(written, 7u);
  EXPECT_EQ(Position(stream.Get()), 7u);
  ULARGE_INTEGER position{};
  ASSERT_EQ(stream->Seek(Offset(-3), STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 4u);
  char buffer[16] = {};
  ULONG read = 0;
  ASSERT_EQ(stream->Read(buffer, sizeof buffer, &read), S_OK) << "a short read is not an error";
  EXPECT_EQ(std::string(buffer, read), "run");
  ASSERT_EQ(stream->Read(buffer, sizeof buffer, &read), S_OK);
  EXPECT_EQ(read, 0u);
  ASSERT_EQ(stream->Seek(Offset(1), STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(stream->Seek(Offset(2), STREAM_SEEK_CUR, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 3u);
  ASSERT_EQ(stream->Write("XY", 2, nullptr), S_OK);
  EXPECT_EQ(ReadAll(stream.Get()), "seaXYun");
  EXPECT_EQ(Position(stream.Get()), 5u) << "reading the whole stream restores the position";
}

TEST(StreamTest, SeekBeforeStartFailsAndPastEndGrowsOnWrite) {
  ComPtr<IStream> stream;
  const uint8_t initial[] = {'a', 'b'};
  ASSERT_EQ(CreateMemoryStream(initial, stream.Out()), S_OK);
  EXPECT_EQ(Position(stream.Get()), 0u);
  EXPECT_EQ(stream->Seek(Offset(-1), STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream->Seek(Offset(-3), STREAM_SEEK_END, nullptr), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream->Seek(Offset(0), 7, nullptr), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(Position(stream.Get()), 0u) << "a failed seek leaves the position";
  ASSERT_EQ(stream->Seek(Offset(4), STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(Size(stream.Get()), 2u) << "seeking alone does not grow the stream";
  ASSERT_EQ(stream->Write("z", 1, nullptr), S_OK);
  EXPECT_EQ(ReadAll(stream.Get()), std::string("ab\0\0z", 5));
}

TEST(StreamTest, SetSizeTruncatesOrExtendsAndKeepsThePosition) {
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, 1, stream.Out()), S_OK);
  ASSERT_EQ(stream->Write("0123456789", 10, nullptr), S_OK);
  ULARGE_INTEGER size{};
  size.QuadPart = 4;
  ASSERT_EQ(stream->SetSize(size), S_OK);
  EXPECT_EQ(Size(stream.Get()), 4u);
  EXPECT_EQ(Position(stream.Get()), 10u);
  char buffer[4];
  ULONG read = 1;
  ASSERT_EQ(stream->Read(buffer, 4, &read), S_OK);
  EXPECT_EQ(read, 0u) << "the position is past the new end";
  size.QuadPart = 6;
  ASSERT_EQ(stream->SetSize(size), S_OK);
  EXPECT_EQ(ReadAll(stream.Get()), std::string("0123\0\0", 6));
  EXPECT_EQ(stream->Commit(STGC_DEFAULT), S_OK);
  EXPECT_EQ(stream->Revert(), S_OK);
}

TEST(StreamTest, CloneSharesBytesWithItsOwnPositionAndCopyToMovesData) {
  ComPtr<IStream> stream;
  const uint8_t initial[] = {'p', 'n', 'g'};
  ASSERT_EQ(CreateMemoryStream(initial, stream.Out()), S_OK);
  ASSERT_EQ(stream->Seek(Offset(1), STREAM_SEEK_SET, nullptr), S_OK);
  ComPtr<IStream> clone;
  ASSERT_EQ(stream->Clone(clone.Out()), S_OK);
  EXPECT_EQ(Position(clone.Get()), 1u);
  ASSERT_EQ(clone->Seek(Offset(0), STREAM_SEEK_END, nullptr), S_OK);
  ASSERT_EQ(clone->Write("!", 1, nullptr), S_OK);
  EXPECT_EQ(Size(stream.Get()), 4u) << "the clone writes into the same bytes";
  EXPECT_EQ(Position(stream.Get()), 1u);

  ComPtr<IStream> target;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, 1, target.Out()), S_OK);
  ULARGE_INTEGER count{};
  count.QuadPart = 100;
  ULARGE_INTEGER read{};
  ULARGE_INTEGER written{};
  ASSERT_EQ(stream->CopyTo(target.Get(), count, &read, &written), S_OK);
  EXPECT_EQ(read.QuadPart, 3u);
  EXPECT_EQ(written.QuadPart, 3u);
  EXPECT_EQ(ReadAll(target.Get()), "ng!");

  ComPtr<ISequentialStream> sequential;
  EXPECT_EQ(stream.As(sequential), S_OK) << "IStream answers the interface it extends";
  EXPECT_EQ(CreateStreamOnHGlobal(reinterpret_cast<void*>(1), 1, target.Out()), E_INVALIDARG);
}

}  // namespace
}  // namespace sealrun::platform::com
