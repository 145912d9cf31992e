// Stored stream bytes as the file holds them, read through the engine's windowed file stream: every stream
// reachable from the pages of a large file must match what qpdf reads, whatever window it falls into.
#include <algorithm>
#include <functional>
#include <set>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

class RawStreamTest : public EngineTest {};

TEST_F(RawStreamTest, EveryStoredStreamMatchesWhatQpdfReadsAndReportsItsLengthWhenTheBufferIsShort) {
  const auto path = CopyCorpus("pdfjs-tracemonkey.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  std::set<int> seen;
  std::vector<std::pair<int, std::string>> streams;  // number and the engine's bytes
  for (int index = 0; index < qp_page_count(document.get()); ++index) {
    PageHandle page = LoadPage(document.get(), index);
    ASSERT_TRUE(page);
    std::function<void(qp_cos, int)> read = [&](qp_cos object, int depth) {
      if (object == nullptr || depth > 12) return;
      const int number = qp_cos_obj_num(object);
      if (number > 0 && !seen.insert(number).second) return;
      if (qp_cos_is_stream(object) && number > 0) {
        std::size_t length = 0;
        ASSERT_EQ(qp_cos_stream_raw_to_buffer(object, nullptr, &length), QP_OK);
        std::string bytes(length, '\0');
        if (length > 1) {
          // One byte short: the engine says so and tells the full length.
          std::size_t shortLength = length - 1;
          EXPECT_EQ(qp_cos_stream_raw_to_buffer(object, bytes.data(), &shortLength), QP_ERR_BUFFER);
          EXPECT_EQ(shortLength, length);
        }
        std::size_t full = length;
        ASSERT_EQ(qp_cos_stream_raw_to_buffer(object, bytes.data(), &full), QP_OK);
        EXPECT_EQ(full, length);
        streams.emplace_back(number, bytes);
      }
      if (qp_cos_is_dict(object)) {
        for (int i = 0; i < qp_cos_dict_len(object); ++i) {
          const std::string key = qp_cos_dict_get_key(object, i);
          if (key == "Parent" || key == "P") continue;
          CosHandle value(qp_cos_dict_get_val(object, i));
          read(value.get(), depth + 1);
        }
      } else if (qp_cos_is_array(object)) {
        for (int i = 0; i < qp_cos_array_len(object); ++i) {
          CosHandle value(qp_cos_array_get(object, i));
          read(value.get(), depth + 1);
        }
      }
    };
    read(qp_page_object(page.get()), 0);
  }
  ASSERT_GT(streams.size(), 20u);
  std::size_t largest = 0;
  // qpdf is started once per stream: every large stream (they cross read windows) and a sample of the rest.
  std::size_t checked = 0;
  for (const auto& [number, bytes] : streams) {
    if (bytes.size() < 16 * 1024 && checked++ % 8 != 0) continue;
    const auto stored = RunTool("qpdf --show-object=" + std::to_string(number) + " --raw-stream-data " + Quote(path) + " 2>/dev/null");
    ASSERT_EQ(stored.exitCode, 0) << number;
    EXPECT_EQ(stored.output, bytes) << "object " << number;
    largest = std::max(largest, bytes.size());
  }
  // Streams larger than one read window were among them.
  EXPECT_GT(largest, 64u * 1024u);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
