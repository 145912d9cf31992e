// qp_cos_walk: an object as the file writes it (key order, string forms, real digits), from files written byte
// for byte here, from object streams, from encrypted files; the engine's object where the file has no source
// that reads; and hostile files giving a result code.
#include <charconv>
#include <functional>

#include "tests/platform/pdfengine/EngineFixture.h"
#include "tests/platform/pdfengine/HandWrittenPdf.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

using sealrun::testing::WriteFileBytes;

// The items of a walk as one line of text: "<<" ">>" "[" "]", "/key=" before an entry, integers as written,
// reals as the shortest text of their double ("r0.5"), strings as "(bytes)" or "<hex>", names "/bytes",
// references "R12", null, true, false, "endstream"; stream data gathered apart.
struct Walked {
  int result = -1;
  int fallbacks = -1;
  std::string text;
  std::string data;
  int pieces = 0;
  std::function<int(const qp_walk_item&)> answer;
};

int Record(void* context, const qp_walk_item* item) {
  auto* walked = static_cast<Walked*>(context);
  std::string& text = walked->text;
  if (item->kind == QP_ITEM_STREAM_DATA) {
    walked->data.append(reinterpret_cast<const char*>(item->bytes), item->length);
    ++walked->pieces;
    return walked->answer ? walked->answer(*item) : QP_WALK_NEXT;
  }
  if (!text.empty()) text += ' ';
  const bool closing = item->kind == QP_ITEM_DICT_END || item->kind == QP_ITEM_ARRAY_END || item->kind == QP_ITEM_STREAM_END;
  if (item->key != nullptr && !closing) text += "/" + std::string(item->key) + "=";
  const std::string bytes = item->bytes == nullptr ? "" : std::string(reinterpret_cast<const char*>(item->bytes), item->length);
  switch (item->kind) {
    case QP_ITEM_NULL: text += "null"; break;
    case QP_ITEM_BOOL: text += item->boolean ? "true" : "false"; break;
    case QP_ITEM_INT: text += std::to_string(item->integer); break;
    case QP_ITEM_REAL: {
      char digits[64];
      const auto end = std::to_chars(digits, digits + sizeof digits, item->real).ptr;
      text += "r" + std::string(digits, end);
      break;
    }
    case QP_ITEM_STRING:
      if (item->hex) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        text += "<";
        for (const unsigned char byte : bytes) text += std::string{kHex[byte >> 4], kHex[byte & 15]};
        text += ">";
      } else {
        text += "(" + bytes + ")";
      }
      break;
    case QP_ITEM_NAME: text += "/" + bytes; break;
    case QP_ITEM_REFERENCE: text += "R" + std::to_string(item->integer); break;
    case QP_ITEM_DICT_BEGIN: text += item->stream ? "<<stream" : "<<"; break;
    case QP_ITEM_DICT_END: text += ">>"; break;
    case QP_ITEM_ARRAY_BEGIN: text += "["; break;
    case QP_ITEM_ARRAY_END: text += "]"; break;
    case QP_ITEM_STREAM_END: text += "endstream"; break;
    default: text += "?"; break;
  }
  return walked->answer ? walked->answer(*item) : QP_WALK_NEXT;
}

class CosWalkTest : public EngineTest {
 protected:
  void TearDown() override {
    page_.reset();
    document_.reset();
    EngineTest::TearDown();
  }
  // Writes the file and opens it; the page dictionary is page_.
  void Load(const HandWrittenPdf& pdf) {
    const auto path = temp_ / ("walk" + std::to_string(++files_) + ".pdf");
    WriteFileBytes(path, pdf.Bytes());
    document_ = Open(path);
    ASSERT_TRUE(document_);
    ASSERT_EQ(qp_document_was_repaired(document_.get()), 0);
    page_ = LoadPage(document_.get(), 0);
    ASSERT_TRUE(page_);
  }
  qp_cos PageDict() { return qp_page_object(page_.get()); }
  qp_cos PageEntry(const char* key) { return qp_cos_dict_gets(PageDict(), key); }

  static Walked Walk(qp_cos object, std::function<int(const qp_walk_item&)> answer = {}) {
    Walked walked;
    walked.answer = std::move(answer);
    walked.result = qp_cos_walk(object, Record, &walked, &walked.fallbacks);
    return walked;
  }

  DocumentHandle document_;
  PageHandle page_;
  int files_ = 0;
};

std::string DescendingKeys(int count) {
  std::string text = "<<";
  for (int i = count - 1; i >= 0; --i) text += " /K" + std::to_string(i) + " " + std::to_string(i);
  return text + " >>";
}

TEST_F(CosWalkTest, DictionaryEntriesComeInTheFilesOrderWhereTheEngineSortsThem) {
  HandWrittenPdf pdf("/Big 4 0 R /Small 5 0 R /Long 6 0 R");
  pdf.Add(DescendingKeys(150));
  pdf.Add("<< /Zeta 1 /Alpha 2 /Mid 3 >>");
  pdf.Add(DescendingKeys(1500));  // longer than one read of the file
  Load(pdf);
  const Walked big = Walk(PageEntry("Big"));
  EXPECT_EQ(big.result, QP_OK);
  EXPECT_EQ(big.fallbacks, 0);
  std::string expected = "<<";
  for (int i = 149; i >= 0; --i) expected += " /K" + std::to_string(i) + "=" + std::to_string(i);
  EXPECT_EQ(big.text, expected + " >>");
  // The engine itself sorted them.
  EXPECT_STREQ(qp_cos_dict_get_key(PageEntry("Big"), 0), "K0");
  EXPECT_EQ(Walk(PageEntry("Small")).text, "<< /Zeta=1 /Alpha=2 /Mid=3 >>");
  const Walked longer = Walk(PageEntry("Long"));
  EXPECT_EQ(longer.fallbacks, 0);
  EXPECT_EQ(longer.text.substr(0, 22), "<< /K1499=1499 /K1498=");
  EXPECT_EQ(longer.text.substr(longer.text.size() - 8), "/K0=0 >>");
}

TEST_F(CosWalkTest, StringsKeepTheirWrittenFormAndNumbersTheirWrittenValue) {
  HandWrittenPdf pdf("/Obj 4 0 R");
  pdf.Add("<< /Hex <41 42 43> /Odd <4142F> /Binary (\\001\\377) /Escaped (a\\(b\\)\\\\\\n\\101)"
          " /Reals [0.123456789 -.5 3. 0.0000001 +1.25 12345678901.5]"
          " /Ints [-0 +7 007 2147483648 -9000000000 123456789012345678 1234567890123456789 [5]] /Names [/A#20B /#28x#29 /a#2Fb /Sharp#23]"
          " /Misc [true false null] >>");
  Load(pdf);
  qp_cos object = PageEntry("Obj");
  const Walked walked = Walk(object);
  EXPECT_EQ(walked.result, QP_OK);
  EXPECT_EQ(walked.fallbacks, 0);
  EXPECT_EQ(walked.text,
            "<< /Hex=<414243> /Odd=<4142F0> /Binary=(\x01\xFF) /Escaped=(a(b)\\\nA)"
            " /Reals=[ r0.123456789 r-0.5 r3 r1e-07 r1.25 r12345678901.5 ]"
            " /Ints=[ 0 7 7 2147483648 -9000000000 123456789012345678 1234567890123456789 [ 5 ] ] /Names=[ /A B /(x) /a/b /Sharp# ]"
            " /Misc=[ true false null ] >>");
  // What the readers give for the same values: a guessed form, 32-bit reals, 32-bit integers.
  EXPECT_EQ(qp_cos_string_is_hex(qp_cos_dict_gets(object, "Hex")), 0);
  EXPECT_EQ(qp_cos_string_is_hex(qp_cos_dict_gets(object, "Binary")), 1);
  EXPECT_NE(qp_cos_to_double(qp_cos_array_get(qp_cos_dict_gets(object, "Reals"), 0)), 0.123456789);
}

TEST_F(CosWalkTest, ReferencesAreReportedAndFollowedOnlyWhenAsked) {
  HandWrittenPdf pdf("/Obj 4 0 R /Chain 6 0 R /Gone 40 0 R");
  pdf.Add("<< /Next 5 0 R /List [5 0 R 1 2 3 R] >>");
  pdf.Add("<< /Leaf (x) >>");
  pdf.Add("7 0 R");
  pdf.Add("6 0 R");  // a chain back to itself
  Load(pdf);
  EXPECT_EQ(Walk(PageEntry("Obj")).text, "<< /Next=R5 /List=[ R5 1 R2 ] >>");
  int followedDepth = -1;
  const Walked followed = Walk(PageEntry("Obj"), [&](const qp_walk_item& item) {
    if (item.kind == QP_ITEM_DICT_BEGIN && item.key != nullptr) followedDepth = item.depth;
    return item.kind == QP_ITEM_REFERENCE && item.integer == 5 ? QP_WALK_FOLLOW : QP_WALK_NEXT;
  });
  EXPECT_EQ(followed.text, "<< /Next=R5 /Next=<< /Leaf=(x) >> /List=[ R5 << /Leaf=(x) >> 1 R2 ] >>");
  EXPECT_EQ(followedDepth, 1) << "the target has the reference's depth";
  // A walked reference is followed; a missing object and a chain the engine gives up on read as null.
  EXPECT_EQ(Walk(PageEntry("Gone")).text, "null");
  const Walked chain = Walk(PageEntry("Chain"));
  EXPECT_EQ(chain.result, QP_OK);
  EXPECT_EQ(chain.text, "null");
}

TEST_F(CosWalkTest, ObjectsInAnObjectStreamReadAsTheyAreWrittenThere) {
  HandWrittenPdf pdf("/Obj 4 0 R /Other 5 0 R");
  pdf.AddCompressed("<< /Z <41> /A 0.123456789 /M [1 2 0 R] >>");
  pdf.AddCompressed(DescendingKeys(120));
  Load(pdf);
  const Walked walked = Walk(PageEntry("Obj"));
  EXPECT_EQ(walked.fallbacks, 0);
  EXPECT_EQ(walked.text, "<< /Z=<41> /A=r0.123456789 /M=[ 1 R2 ] >>");
  const Walked big = Walk(PageEntry("Other"));
  EXPECT_EQ(big.fallbacks, 0);
  EXPECT_EQ(big.text.substr(0, 20), "<< /K119=119 /K118=1");
}

TEST_F(CosWalkTest, ADirectObjectIsFoundInTheSourceOfTheObjectHoldingItEvenAfterThatChangedInMemory) {
  Load(HandWrittenPdf("/Resources << /Zeta <41> /Alpha [0.5 (y)] >>"));
  const std::string expected = "<< /Zeta=<41> /Alpha=[ r0.5 (y) ] >>";
  Walked walked = Walk(PageEntry("Resources"));
  EXPECT_EQ(walked.text, expected);
  EXPECT_EQ(walked.fallbacks, 0);
  // The page gets an entry in memory; the resources inside it are still the file's.
  ASSERT_EQ(qp_cos_dict_puts(PageDict(), "ID", qp_cos_new_string(document_.get(), "x", 1, 0)), QP_OK);
  walked = Walk(PageEntry("Resources"));
  EXPECT_EQ(walked.text, expected);
  EXPECT_EQ(walked.fallbacks, 0);
  // Changed themselves, they no longer match their source: the engine's object is reported, and counted.
  ASSERT_EQ(qp_cos_dict_puts(PageEntry("Resources"), "New", qp_cos_new_int(document_.get(), 9)), QP_OK);
  walked = Walk(PageEntry("Resources"));
  EXPECT_EQ(walked.text, "<< /Zeta=(A) /Alpha=[ r0.5 (y) ] /New=9 >>");
  EXPECT_EQ(walked.fallbacks, 1);
}

TEST_F(CosWalkTest, ObjectsMadeInMemoryAreReportedAsTheReadersSeeThemAndCounted) {
  Load(HandWrittenPdf());
  qp_cos dict = qp_cos_new_dict(document_.get(), 2, 0);
  ASSERT_EQ(qp_cos_dict_puts(dict, "B", qp_cos_new_string(document_.get(), "\x01", 1, 0)), QP_OK);
  ASSERT_EQ(qp_cos_dict_puts(dict, "A", qp_cos_new_real(document_.get(), 0.1)), QP_OK);
  const Walked walked = Walk(dict);
  EXPECT_EQ(walked.result, QP_OK);
  EXPECT_EQ(walked.text, "<< /B=<01> /A=r0.1 >>");
  EXPECT_EQ(walked.fallbacks, 1);
}

TEST_F(CosWalkTest, StreamDataIsTheStoredBytesInPiecesAndEachPartCanBeSkipped) {
  const auto path = CopyCorpus("pdfjs-tracemonkey.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  // The largest content stream of the file's pages, larger than one piece.
  CosHandle largest;
  std::size_t largestLength = 0;
  for (int index = 0; index < qp_page_count(document.get()); ++index) {
    PageHandle page = LoadPage(document.get(), index);
    CosHandle contents(qp_cos_dict_gets(qp_page_object(page.get()), "Contents"));
    std::size_t length = 0;
    if (qp_cos_stream_raw_to_buffer(contents.get(), nullptr, &length) == QP_OK && length > largestLength) {
      largestLength = length;
      largest = std::move(contents);
    }
  }
  ASSERT_GT(largestLength, 4096u);
  std::string stored(largestLength, '\0');
  ASSERT_EQ(qp_cos_stream_raw_to_buffer(largest.get(), stored.data(), &largestLength), QP_OK);

  const Walked whole = Walk(largest.get());
  EXPECT_EQ(whole.result, QP_OK);
  EXPECT_EQ(whole.data, stored);
  EXPECT_EQ(whole.text.substr(0, 9), "<<stream ");
  EXPECT_EQ(whole.text.substr(whole.text.size() - 12), ">> endstream");

  const Walked noData = Walk(largest.get(), [](const qp_walk_item& item) {
    return item.kind == QP_ITEM_DICT_BEGIN ? QP_WALK_SKIP_DATA : QP_WALK_NEXT;
  });
  EXPECT_EQ(noData.data, "");
  EXPECT_EQ(noData.text.find("endstream"), std::string::npos);
  const Walked onlyData = Walk(largest.get(), [](const qp_walk_item& item) {
    return item.kind == QP_ITEM_DICT_BEGIN ? QP_WALK_SKIP_ENTRIES : QP_WALK_NEXT;
  });
  EXPECT_EQ(onlyData.text, "<<stream >> endstream");
  EXPECT_EQ(onlyData.data, stored);
}

// Read straight from the file when /Length ends at "endstream", through the engine's stream otherwise (a
// wrong /Length: the engine reads on to "endstream"): the same bytes as qp_cos_stream_raw_to_buffer either way.
TEST_F(CosWalkTest, StreamDataIsWhatTheEngineReadsWhateverTheLengthSays) {
  std::string data(200000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919) >> 5);
  const std::string size = std::to_string(data.size());
  HandWrittenPdf pdf("/Exact 4 0 R /CrLf 5 0 R /Short 6 0 R /Long 7 0 R");
  pdf.Add("<< /Length " + size + " >>\nstream\n" + data + "\nendstream");
  pdf.Add("<< /Length " + size + " >>\nstream\r\n" + data + "\r\nendstream");
  pdf.Add("<< /Length " + std::to_string(data.size() - 100) + " >>\nstream\n" + data + "\nendstream");
  pdf.Add("<< /Length " + std::to_string(data.size() + 3) + " >>\nstream\n" + data + "\nendstream");
  Load(pdf);
  for (const char* key : {"Exact", "CrLf", "Short", "Long"}) {
    qp_cos stream = PageEntry(key);
    std::size_t length = 0;
    ASSERT_EQ(qp_cos_stream_raw_to_buffer(stream, nullptr, &length), QP_OK) << key;
    std::string stored(length, '\0');
    ASSERT_EQ(qp_cos_stream_raw_to_buffer(stream, stored.data(), &length), QP_OK) << key;
    const Walked walked = Walk(stream);
    EXPECT_EQ(walked.result, QP_OK) << key;
    EXPECT_EQ(walked.data, stored) << key;
    EXPECT_GT(walked.pieces, 1) << key;
  }
}

TEST_F(CosWalkTest, EncryptedFilesGiveDecryptedStringsWithTheFormsTheFileWrites) {
  const auto path = CopyCorpus("derived-aes128-r4-nomodify-noform-FormTestFromOo.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  PageHandle page = LoadPage(document.get(), 0);
  int strings = 0;
  for (qp_annot annot = qp_page_load_annots(page.get()); annot != nullptr; annot = qp_annot_next(annot)) {
    CosHandle dict(qp_annot_get_cosobject(annot));
    Walked walked;
    walked.answer = [&](const qp_walk_item& item) {
      if (item.kind == QP_ITEM_STRING && item.depth == 1) {
        CosHandle value(qp_cos_dict_gets(dict.get(), item.key));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(item.bytes), item.length),
                  std::string(qp_cos_to_string(value.get()), qp_cos_to_string_len(value.get())))
            << item.key;
        ++strings;
      }
      return QP_WALK_NEXT;
    };
    ASSERT_EQ(qp_cos_walk(dict.get(), Record, &walked, &walked.fallbacks), QP_OK);
    EXPECT_EQ(walked.fallbacks, 0);
  }
  EXPECT_GT(strings, 0);
}

TEST_F(CosWalkTest, HostileObjectsGiveAResultCodeNeverACrashOrAHang) {
  HandWrittenPdf pdf("/Deep 4 0 R /Self 5 0 R /Huge 6 0 R");
  pdf.Add(std::string(300, '[') + std::string(300, ']'));
  pdf.Add("<< /Again 5 0 R >>");
  pdf.Add("[" + std::string(1000, '9') + " 1" + std::string(500, '0') + ".5 -" + std::string(400, '7') + "]");
  Load(pdf);
  // The engine's parser gives up on this nesting itself (the object reads as null); made in memory, the walk
  // refuses it.
  EXPECT_EQ(Walk(PageEntry("Deep")).text, "null");
  qp_cos deep = qp_cos_new_array(document_.get(), 1, 0);
  for (int level = 0; level < 300; ++level) {
    qp_cos outer = qp_cos_new_array(document_.get(), 1, 0);
    ASSERT_EQ(qp_cos_array_push(outer, deep), QP_OK);
    deep = outer;
  }
  EXPECT_EQ(Walk(deep).result, QP_ERR_UNSUPPORTED);
  const Walked loop = Walk(PageEntry("Self"), [](const qp_walk_item& item) {
    return item.kind == QP_ITEM_REFERENCE ? QP_WALK_FOLLOW : QP_WALK_NEXT;
  });
  EXPECT_EQ(loop.result, QP_ERR_UNSUPPORTED);
  const Walked huge = Walk(PageEntry("Huge"));
  EXPECT_EQ(huge.result, QP_OK);
  EXPECT_EQ(huge.text.substr(0, 2), "[ ");
  const Walked stopped = Walk(PageEntry("Self"), [](const qp_walk_item&) { return QP_WALK_STOP; });
  EXPECT_EQ(stopped.result, QP_ERR_STOPPED);
  EXPECT_EQ(stopped.text, "<<");
  EXPECT_EQ(qp_cos_walk(nullptr, Record, nullptr, nullptr), QP_ERR_ARGUMENT);
}

TEST_F(CosWalkTest, AnObjectStreamThatNeedsItselfToBeReadGivesNullNotALoop) {
  HandWrittenPdf pdf("/Obj 4 0 R");
  pdf.AddCompressed("<< /A 1 >>");
  pdf.PutObjectStreamLengthInsideIt();
  const auto path = temp_ / "loop.pdf";
  WriteFileBytes(path, pdf.Bytes());
  DocumentHandle document;
  if (external::OpenDocument(engine_, path.u16string(), document) != QP_OK) return;  // refused outright: fine too
  PageHandle page = external::LoadPage(document.get(), 0);
  ASSERT_TRUE(page);
  const Walked walked = Walk(qp_cos_dict_gets(qp_page_object(page.get()), "Obj"));
  EXPECT_TRUE(walked.result == QP_OK || walked.result == QP_ERR_ENGINE) << walked.result;
}

TEST_F(CosWalkTest, AnObjectCutShortReadsAsTheEngineReadsIt) {
  HandWrittenPdf pdf("/Obj 4 0 R");
  pdf.Add("<< /A [1 2 3] /B (text) /C <414243> >>");
  std::string bytes = pdf.Bytes();
  // The dictionary loses its end, the file keeps its length and cross-reference.
  const std::size_t at = bytes.find("<414243> >>");
  bytes.replace(at, 11, std::string(11, ' '));
  const auto path = temp_ / "cut.pdf";
  WriteFileBytes(path, bytes);
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  PageHandle page = external::LoadPage(document.get(), 0);
  ASSERT_TRUE(page);
  qp_cos object = qp_cos_dict_gets(qp_page_object(page.get()), "Obj");
  const Walked walked = Walk(object);
  EXPECT_EQ(walked.result, QP_OK);
  EXPECT_EQ(qp_cos_is_null(object), 1) << "the engine cannot read the object";
  EXPECT_EQ(walked.text, "null");
}

// A file of up to 32 MiB is read once when it is opened and a larger one piece by piece: both read the same
// objects, strings and stream data, also where they lie past the large file's padding. The one in memory
// stays as it was opened when the file on disk changes under it.
TEST_F(CosWalkTest, ObjectsReadTheSameFromAFileInMemoryOrReadPieceByPiece) {
  std::string data(100000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919) >> 3);
  const auto fileOf = [&](std::size_t padding) {
    HandWrittenPdf pdf("/Contents 5 0 R /Obj 6 0 R");
    pdf.Add("<< /Length " + std::to_string(padding) + " >>\nstream\n" + std::string(padding, ' ') + "\nendstream");
    pdf.Add("<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
    pdf.Add("<< /Z <00FF> /A (text) /R 0.123456789 /N [1 2 /Name#20x] >>");
    return pdf.Bytes();
  };
  const auto read = [&](const std::filesystem::path& path, const std::function<void()>& before) {
    DocumentHandle document = Open(path);
    EXPECT_TRUE(document);
    if (!document) return std::string();
    before();
    PageHandle page = external::LoadPage(document.get(), 0);
    EXPECT_TRUE(page);
    if (!page) return std::string();
    const CosHandle contents(qp_cos_dict_gets(qp_page_object(page.get()), "Contents"));
    const CosHandle object(qp_cos_dict_gets(qp_page_object(page.get()), "Obj"));
    const Walked stream = Walk(contents.get());
    const Walked dict = Walk(object.get());
    EXPECT_TRUE(stream.data == data) << "the stream data differs";
    return stream.text + " | " + dict.text + " | " + std::to_string(stream.result) + std::to_string(dict.result);
  };

  const auto small = temp_ / "small.pdf";
  const std::string smallBytes = fileOf(1000);
  WriteFileBytes(small, smallBytes);
  const std::string expected = read(small, [] {});
  EXPECT_EQ(expected, "<<stream /Length=100000 >> endstream | << /Z=<00FF> /A=(text) /R=r0.123456789 "
                      "/N=[ 1 2 /Name x ] >> | 00");

  const auto large = temp_ / "large.pdf";
  WriteFileBytes(large, fileOf(33u << 20));
  EXPECT_EQ(read(large, [] {}), expected);

  // Overwritten in place after the open, before a page is read: the document reads what it opened.
  EXPECT_EQ(read(small, [&] { WriteFileBytes(small, std::string(smallBytes.size(), '%')); }), expected);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
