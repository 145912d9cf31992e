#include "verify/FingerprintLines.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "external/QpHandles.h"
#include "platform/text/CodePage.h"
#include "support/Md5.h"
#include "support/Sha1.h"
#include "verify/PdfNames.h"

namespace sealrun::verify {

namespace {

// One bit for each symbol (folded to 64): an entry can contain an identifier only if it holds all its bits.
std::uint64_t SymbolsOf(std::u16string_view text) {
  std::uint64_t symbols = 0;
  for (const char16_t unit : text) symbols |= std::uint64_t{1} << (unit & 63);
  return symbols;
}

// ASCII is the same in every ANSI code page, and most identifiers are ASCII: they skip the converter.
template <typename Text>
bool IsAscii(const Text& text) {
  return std::all_of(text.begin(), text.end(), [](auto unit) { return static_cast<unsigned>(unit) < 0x80; });
}

std::u16string FromAnsi(std::string_view bytes) {
  if (IsAscii(bytes)) return std::u16string(bytes.begin(), bytes.end());
  return platform::text::ToUtf16(bytes, platform::text::kCpAcp);
}

// The page's identifier when it is a string, read by walking the page: a page the engine has not read yet is
// then read from its source alone, where asking the engine for the entry would parse the whole page first.
// nullopt when the page holds no string under the key.
std::optional<std::string> WrittenIdentifier(qp_cos pageDict) {
  struct Found {
    std::optional<std::string> bytes;
  } found;
  const auto take = [](void* context, const qp_walk_item* item) noexcept -> int {
    if (item->depth == 0) return item->kind == QP_ITEM_DICT_BEGIN ? QP_WALK_SKIP_DATA : QP_WALK_NEXT;
    if (item->kind == QP_ITEM_STRING && item->key != nullptr &&
        std::string_view(item->key, item->key_length) == kPageIdentifierKey) {
      try {
        static_cast<Found*>(context)->bytes.emplace(reinterpret_cast<const char*>(item->bytes), item->length);
      } catch (...) {
        return QP_WALK_STOP;
      }
    }
    return QP_WALK_SKIP_ENTRIES | QP_WALK_SKIP_DATA;
  };
  if (qp_cos_walk(pageDict, take, &found, nullptr) != QP_OK) return std::nullopt;
  return found.bytes;
}

}  // namespace

std::optional<std::u16string> PageIdentifierOf(qp_document document, qp_cos pageDict) {
  using external::CosHandle;
  if (const std::optional<std::string> written = WrittenIdentifier(pageDict)) return FromAnsi(*written);
  if (const CosHandle id(qp_cos_dict_gets(pageDict, kPageIdentifierKey)); id != nullptr) {
    // An identifier that is not a string is left as it is and reads as empty.
    const char* bytes = qp_cos_to_string(id.get());
    if (bytes == nullptr) return std::u16string();
    const auto length = static_cast<std::size_t>(qp_cos_to_string_len(id.get()));
    return FromAnsi(std::string_view(bytes, length));
  }
  const std::string identifier = support::Md5Text(std::to_string(qp_cos_obj_num(pageDict)));
  {
    const CosHandle text(qp_cos_new_string(document, identifier.data(), static_cast<int>(identifier.size()), 0));
    if (text == nullptr || qp_cos_dict_puts(pageDict, kPageIdentifierKey, text.get()) != QP_OK) return std::nullopt;
  }
  qp_cos_set_modify(document, pageDict, 1);
  return std::u16string(identifier.begin(), identifier.end());
}


bool FingerprintLines::Contains(const Entry& entry, std::u16string_view identifier) {
  const std::u16string& base = *entry.identifier;
  if (base.size() + entry.counter.size() < identifier.size()) return false;
  if (base.find(identifier) != std::u16string::npos) return true;
  if (entry.counter.empty() || identifier.empty()) return false;
  // Else only an occurrence that reaches into the counter: it starts in the last characters of the identifier.
  const std::size_t overlap = std::min(base.size(), identifier.size() - 1);
  std::u16string tail = base.substr(base.size() - overlap);
  tail += entry.counter;
  return tail.find(identifier) != std::u16string::npos;
}

std::size_t FingerprintLines::CountContaining(const std::u16string& identifier, const std::u16string** kept) {
  auto [at, added] = occurrences_.try_emplace(identifier);
  *kept = &at->first;
  Occurrences& seen = at->second;
  if (added && longestEntry_ <= identifier.size()) {
    // An entry as long as a new identifier holds it only by being it; one without a counter would be an
    // identifier already seen.
    const auto found = counteredEntries_.find(identifier);
    seen.count = found == counteredEntries_.end() ? 0 : found->second;
    seen.scanned = used_.size();
    return seen.count;
  }
  const std::uint64_t symbols = SymbolsOf(identifier);
  for (; seen.scanned < used_.size(); ++seen.scanned) {
    const Entry& earlier = used_[seen.scanned];
    if ((symbols & ~earlier.symbols) == 0 && Contains(earlier, identifier)) ++seen.count;
  }
  return seen.count;
}

void FingerprintLines::Add(const std::u16string& identifier, std::string_view digestText) {
  Entry entry{};
  if (const std::size_t seen = CountContaining(identifier, &entry.identifier); seen > 0) {
    const std::string counter = std::to_string(seen);
    entry.counter.assign(counter.begin(), counter.end());
  }
  entry.symbols = SymbolsOf(identifier) | SymbolsOf(entry.counter);
  // Built in buffers kept from line to line: a long document adds one line per page.
  std::u16string& line = line_;
  line.assign(identifier);
  line += entry.counter;
  longestEntry_ = std::max(longestEntry_, line.size());
  if (!entry.counter.empty()) ++counteredEntries_[line];
  line += u'$';
  line.append(digestText.begin(), digestText.end());
  line += u"\r\n";
  // The line in the ANSI code page. The conversion has no state across lines, so converting line by line gives
  // the bytes of the whole text converted at once.
  if (IsAscii(line)) {
    ansiLine_.assign(line.begin(), line.end());
  } else {
    ansiLine_ = platform::text::FromUtf16(line, platform::text::kCpAcp);
  }
  digest_.Update(std::string_view(ansiLine_));
  if (textComplete_ && text_.size() + line.size() <= kKeptText) {
    text_ += line;
  } else {
    textComplete_ = false;
  }
  used_.push_back(std::move(entry));
}

std::u16string FingerprintLines::Fingerprint() const {
  // The whole converted text: an identifier in a double-byte code page converts to more bytes than it has
  // characters, and cutting at the character count would leave the last pages out.
  support::Sha1 whole = digest_;
  std::uint8_t fingerprint[29] = {};
  whole.Final(fingerprint, support::Sha1Output::Text);
  return std::u16string(fingerprint, fingerprint + 28);
}

}  // namespace sealrun::verify
