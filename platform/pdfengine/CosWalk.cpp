// qp_cos_walk: one object reported item by item, the engine's object and the file's source side by side. The
// engine's object says what each value is (and gives decrypted string bytes); the source, once it has been
// matched with the engine's object node for node, gives the key order, the string forms and the real digits.
// An object whose source does not match is reported from the engine's object alone, never half and half.
#include <cfloat>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <memory>
#include <utility>
#include <vector>

#include "platform/pdfengine/FileStream.h"
#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/ObjectSources.h"
#include "platform/pdfengine/SourceTree.h"
#include "platform/pdfengine/UnloadedSource.h"

using namespace sealrun::platform::pdfengine;

namespace {

constexpr int kMaxDepth = 256;
// References to references are followed as far as the engine follows them.
constexpr int kMaxChain = 10;
// Stream data goes to the callback in pieces of at most this many bytes.
constexpr std::size_t kPieceSize = 64 * 1024;

using ObjHolder = std::unique_ptr<pdf_obj, ObjDrop>;

struct StreamDrop {
  fz_context* ctx;
  void operator()(fz_stream* stream) const { fz_drop_stream(ctx, stream); }
};

// The source of one object matched with the engine's object: the engine's value for every node.
// Without engine values (`engine` empty) the source stands alone: the engine has not read the object.
struct MatchedSource {
  std::shared_ptr<const SourceTree> tree;
  std::vector<pdf_obj*> engine;
  int root = -1;  // the node of the walked value
  pdf_document* doc = nullptr;  // whose objects the source's references name
  pdf_obj* Engine(int node) const { return engine.empty() ? nullptr : engine[static_cast<std::size_t>(node)]; }
};

// The key an item is reported under: none (text null) outside a dictionary.
struct Key {
  const char* text = nullptr;
  std::size_t length = 0;
};

class Walker {
 public:
  Walker(qp_document document, qp_walk_callback callback, void* context)
      : document_(document), ctx_(document->ctx), callback_(callback), context_(context) {}

  void Walk(pdf_obj* object) {
    if (pdf_is_indirect(ctx_, object)) {
      WalkTarget(object, 0, Key{});
      return;
    }
    pdf_document* doc = pdf_get_bound_document(ctx_, object);
    const int parent = pdf_obj_parent_num(ctx_, object);
    const bool container = pdf_is_dict(ctx_, object) || pdf_is_array(ctx_, object);
    if (!container || doc == nullptr || parent <= 0) {
      EmitRoot(object, 0, Key{}, nullptr, 0, [](MatchedSource&) { return false; });
      return;
    }
    const ObjHolder parentValue(Mu(ctx_, [&] { return pdf_load_object(ctx_, doc, parent); }), ObjDrop{ctx_});
    const WalkingScope scope(*this, doc, parent);
    if (parentValue.get() == object) {
      const bool stream = Mu(ctx_, [&] { return pdf_obj_num_is_stream(ctx_, doc, parent); }) != 0;
      WalkWhole(doc, parent, object, stream, 0, Key{});
      return;
    }
    // A direct dictionary or array inside another object: its source is found inside that object's.
    EmitRoot(object, 0, Key{}, nullptr, 0, [&](MatchedSource& source) {
      source.tree = Sources(doc).Load(parent);
      if (source.tree == nullptr) return false;
      source.engine.assign(source.tree->Nodes().size(), nullptr);
      source.root = Locate(*source.tree, 0, parentValue.get(), object);
      return source.root >= 0;
    });
  }

  int Fallbacks() const { return fallbacks_; }

 private:
  // The object numbers being walked, so that a followed reference cannot lead back into one of them.
  class WalkingScope {
   public:
    WalkingScope(Walker& walker, pdf_document* doc, int number) : walker_(walker) {
      for (const auto& [walkedDoc, walkedNumber] : walker_.walking_) {
        if (walkedDoc == doc && walkedNumber == number) Fail(QP_ERR_UNSUPPORTED, "a reference leads back into an object being walked");
      }
      walker_.walking_.emplace_back(doc, number);
    }
    ~WalkingScope() { walker_.walking_.pop_back(); }
    WalkingScope(const WalkingScope&) = delete;
    WalkingScope& operator=(const WalkingScope&) = delete;

   private:
    Walker& walker_;
  };

  ObjectSources& Sources(pdf_document* doc) {
    if (doc == document_->doc) return SourcesOf(document_);
    if (otherSources_ == nullptr || otherSources_->Document() != doc) otherSources_ = std::make_unique<ObjectSources>(ctx_, doc);
    return *otherSources_;
  }

  int Report(qp_walk_item& item) {
    const int answer = callback_(context_, &item);
    if ((answer & QP_WALK_STOP) != 0) Fail(QP_ERR_STOPPED, "the caller stopped the walk");
    return answer;
  }

  static qp_walk_item Item(int kind, int depth, Key key) {
    qp_walk_item item{};
    item.kind = kind;
    item.depth = depth;
    item.key = key.text;
    item.key_length = key.length;
    return item;
  }

  void CheckDepth(int depth) const {
    if (depth > kMaxDepth) Fail(QP_ERR_UNSUPPORTED, "objects nest too deep");
  }

  // The object a reference points to, through references to references as the engine resolves them (a
  // missing object, or a chain longer than the engine follows, reads as null).
  void WalkTarget(pdf_obj* reference, int depth, Key key, bool sourceTried = false) {
    CheckDepth(depth);
    CheckBudget(ctx_);
    if (!sourceTried && pdf_is_indirect(ctx_, reference) &&
        WalkFromSource(pdf_get_indirect_document(ctx_, reference), pdf_to_num(ctx_, reference), depth, key)) {
      return;
    }
    pdf_document* doc = nullptr;
    int number = 0;
    bool stream = false;
    ObjHolder value(nullptr, ObjDrop{ctx_});
    for (int sanity = kMaxChain; pdf_is_indirect(ctx_, reference);) {
      if (--sanity == 0) {
        value.reset();
        break;
      }
      doc = pdf_get_indirect_document(ctx_, reference);
      number = pdf_to_num(ctx_, reference);
      pdf_obj* resolved = Mu(ctx_, [&] {
        pdf_obj* target = pdf_keep_obj(ctx_, pdf_resolve_indirect(ctx_, reference));
        // Resolved, the object's entry is loaded: whether it is a stream is known without another lookup.
        const pdf_xref_entry* entry = target != nullptr ? pdf_get_xref_entry(ctx_, doc, number) : nullptr;
        stream = entry != nullptr && (entry->stm_ofs != 0 || entry->stm_buf != nullptr);
        return target;
      });
      value.reset(resolved);
      reference = resolved;
    }
    if (doc == nullptr || value == nullptr) {
      qp_walk_item item = Item(QP_ITEM_NULL, depth, key);
      Report(item);
      return;
    }
    const WalkingScope scope(*this, doc, number);
    WalkWhole(doc, number, value.get(), stream, depth, key);
  }

  // The target of a reference the source gives: from the source alone when it can be, else as the engine
  // resolves it.
  void WalkNumber(pdf_document* doc, int number, int generation, int depth, Key key) {
    CheckDepth(depth);
    CheckBudget(ctx_);
    if (WalkFromSource(doc, number, depth, key)) return;
    const ObjHolder reference(Mu(ctx_, [&] { return pdf_new_indirect(ctx_, doc, number, generation); }), ObjDrop{ctx_});
    WalkTarget(reference.get(), depth, key, true);
  }

  // An object of a file without encryption that the engine has not loaded (so nothing in memory differs from
  // the file) and whose source stands alone is reported from its source, without the engine parsing it: the
  // same items the engine's object matched with that source would give. False, with nothing reported, for
  // any other object.
  bool WalkFromSource(pdf_document* doc, int number, int depth, Key key) {
    if (!EngineHasNotLoaded(ctx_, doc, number)) return false;
    std::shared_ptr<const SourceTree> tree = Sources(doc).Load(number);
    if (tree == nullptr || !tree->StandsAlone()) return false;
    const SourceNode& root = tree->Nodes()[0];
    // An object that is itself a reference is left to the engine, which follows such chains its own way.
    if (root.kind == SourceKind::Reference) return false;
    const bool stream = tree->EndsWith() == SourceTree::Ending::Stream;
    if (tree->EndsWith() == SourceTree::Ending::Other || (stream && root.kind != SourceKind::Dict)) return false;
    std::int64_t dataStart = 0;
    int dataLength = 0;
    if (stream && !StreamPlace(doc, *tree, &dataStart, &dataLength)) return false;

    const WalkingScope scope(*this, doc, number);
    MatchedSource source;
    source.tree = std::move(tree);
    source.root = 0;
    source.doc = doc;
    if (root.kind != SourceKind::Dict && root.kind != SourceKind::Array) {
      EmitSource(source, 0, depth, key);
      return true;
    }
    const bool dict = root.kind == SourceKind::Dict;
    qp_walk_item begin = Item(dict ? QP_ITEM_DICT_BEGIN : QP_ITEM_ARRAY_BEGIN, depth, key);
    begin.stream = stream ? 1 : 0;
    const int answer = Report(begin);
    if ((answer & QP_WALK_SKIP_ENTRIES) == 0) EmitSourceEntries(source, 0, depth);
    qp_walk_item end = Item(dict ? QP_ITEM_DICT_END : QP_ITEM_ARRAY_END, depth, key);
    end.stream = begin.stream;
    Report(end);
    if (stream && (answer & QP_WALK_SKIP_DATA) == 0 && !EmitFileRange(doc, dataStart, dataLength, depth, key)) {
      EmitData(doc, number, depth, key);
    }
    return true;
  }

  // Where a stream's data starts in the file and the length its dictionary gives, as the engine takes them:
  // a direct integer, or the integer an indirect /Length resolves to. False for anything else.
  bool StreamPlace(pdf_document* doc, const SourceTree& tree, std::int64_t* start, int* length) {
    if (tree.FileOffset() <= 0) return false;
    *start = tree.FileOffset() + static_cast<std::int64_t>(tree.StreamDataStart());
    const SourceNode& root = tree.Nodes()[0];
    int child = 1;
    for (std::uint32_t k = 0; k < root.count; ++k) {
      const SourceNode& entry = tree.Nodes()[static_cast<std::size_t>(child)];
      if (tree.Text(entry.key) == "Length") {
        if (entry.kind == SourceKind::Int) {
          *length = static_cast<int>(entry.integer);
          return true;
        }
        if (entry.kind != SourceKind::Reference) return false;
        Mu(ctx_, [&] {
          pdf_obj* reference = pdf_new_indirect(ctx_, doc, static_cast<int>(entry.integer), entry.generation);
          fz_try(ctx_) { *length = pdf_to_int(ctx_, pdf_resolve_indirect(ctx_, reference)); }
          fz_always(ctx_) { pdf_drop_obj(ctx_, reference); }
          fz_catch(ctx_) { fz_rethrow(ctx_); }
        });
        return true;
      }
      child += static_cast<int>(entry.size);
    }
    *length = 0;  // no /Length: the engine reads no data before "endstream"
    return true;
  }

  void WalkWhole(pdf_document* doc, int number, pdf_obj* value, bool stream, int depth, Key key) {
    EmitRoot(value, depth, key, stream ? doc : nullptr, number, [&](MatchedSource& source) {
      source.tree = Sources(doc).Load(number);
      if (source.tree == nullptr) return false;
      source.engine.assign(source.tree->Nodes().size(), nullptr);
      source.root = 0;
      return true;
    });
  }

  // The walked value: a container is announced before its source is read, so a caller that skips its
  // entries costs no reading at all. streamDoc: the document of a stream object (its data follows).
  void EmitRoot(pdf_obj* value, int depth, Key key, pdf_document* streamDoc, int number,
                const std::function<bool(MatchedSource&)>& findSource) {
    CheckDepth(depth);
    const bool dict = pdf_is_dict(ctx_, value) != 0;
    const bool container = dict || pdf_is_array(ctx_, value) != 0;
    if (!container && pdf_is_null(ctx_, value)) {
      qp_walk_item item = Item(QP_ITEM_NULL, depth, key);
      Report(item);
      return;
    }
    int answer = QP_WALK_NEXT;
    if (container) {
      qp_walk_item begin = Item(dict ? QP_ITEM_DICT_BEGIN : QP_ITEM_ARRAY_BEGIN, depth, key);
      begin.stream = streamDoc != nullptr;
      answer = Report(begin);
      if ((answer & QP_WALK_SKIP_ENTRIES) == 0) {
        MatchedSource source;
        if (findSource(source) && Match(source, source.root, value)) {
          EmitSourceEntries(source, source.root, depth);
        } else {
          ++fallbacks_;
          EmitEngineEntries(value, depth);
        }
      }
      qp_walk_item end = Item(dict ? QP_ITEM_DICT_END : QP_ITEM_ARRAY_END, depth, key);
      end.stream = begin.stream;
      Report(end);
    } else {
      MatchedSource source;
      if (findSource(source) && Match(source, source.root, value)) {
        EmitSource(source, source.root, depth, key);
      } else {
        ++fallbacks_;
        EmitEngine(value, depth, key);
      }
    }
    if (streamDoc != nullptr && (answer & QP_WALK_SKIP_DATA) == 0 && !EmitFileData(streamDoc, number, value, depth, key)) {
      EmitData(streamDoc, number, depth, key);
    }
  }

  // A stream of an unencrypted file whose /Length ends where "endstream" begins is read straight from the file:
  // exactly the bytes the engine's stream gives then, without its copies. False, with nothing reported, for
  // any other stream.
  bool EmitFileData(pdf_document* doc, int number, pdf_obj* dict, int depth, Key key) {
    if (doc->crypt != nullptr) return false;
    std::int64_t start = 0;
    int length = 0;
    bool inMemory = true;
    Mu(ctx_, [&] {
      const pdf_xref_entry* entry = pdf_get_xref_entry_no_null(ctx_, doc, number);
      inMemory = entry->stm_buf != nullptr;
      start = entry->stm_ofs;
      length = pdf_dict_get_int(ctx_, dict, PDF_NAME(Length));
    });
    return !inMemory && EmitFileRange(doc, start, length, depth, key);
  }

  // The data at `start` of the file for `length` bytes (none when negative), when "endstream" follows it.
  bool EmitFileRange(pdf_document* doc, std::int64_t start, int length, int depth, Key key) {
    const std::int64_t fileSize = FileSizeOf(doc->file);
    const std::int64_t end = start + (length < 0 ? 0 : length);
    if (start <= 0 || fileSize < 0 || end > fileSize) return false;
    const std::span<const unsigned char> whole = Sources(doc).WholeFile();
    const bool resident = whole.size() == static_cast<std::size_t>(fileSize);
    unsigned char after[11];
    std::string_view following;
    if (resident) {
      following = std::string_view(reinterpret_cast<const char*>(whole.data()) + end,
                                   static_cast<std::size_t>(std::min<std::int64_t>(sizeof after, fileSize - end)));
    } else {
      const std::int64_t got = ReadFileAt(doc->file, end, after, sizeof after);
      if (got < 0) return false;
      following = std::string_view(reinterpret_cast<const char*>(after), static_cast<std::size_t>(got));
    }
    if (!EndstreamFollows(following)) return false;
    unsigned char* buffer = resident ? nullptr : Sources(doc).DataBuffer(kPieceSize);
    for (std::int64_t at = start; at < end;) {
      const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(kPieceSize, end - at));
      const unsigned char* bytes = buffer;
      if (resident) {
        bytes = whole.data() + at;
      } else if (ReadFileAt(doc->file, at, buffer, wanted) != static_cast<std::int64_t>(wanted)) {
        Fail(QP_ERR_ENGINE, "stream data cannot be read in full");
      }
      qp_walk_item piece = Item(QP_ITEM_STREAM_DATA, depth, key);
      piece.bytes = bytes;
      piece.length = wanted;
      Report(piece);
      at += static_cast<std::int64_t>(wanted);
    }
    qp_walk_item endItem = Item(QP_ITEM_STREAM_END, depth, key);
    Report(endItem);
    return true;
  }

  // The engine's stream ends at /Length exactly when "endstream" follows at once or after one end of line.
  static bool EndstreamFollows(std::string_view after) {
    if (after.starts_with('\r')) after.remove_prefix(1);
    if (after.starts_with('\n')) after.remove_prefix(1);
    return after.starts_with("endstream");
  }

  // Stored bytes as qp_cos_stream_raw_to_buffer gives them, piece by piece straight from the engine's
  // stream buffer; a stream that cannot be read in full fails the walk.
  void EmitData(pdf_document* doc, int number, int depth, Key key) {
    const std::unique_ptr<fz_stream, StreamDrop> data(Mu(ctx_, [&] {
      // A stream made or changed since opening lives in memory.
      fz_buffer* inMemory = pdf_get_xref_entry_no_null(ctx_, doc, number)->stm_buf;
      return inMemory != nullptr ? fz_open_buffer(ctx_, inMemory) : pdf_open_raw_stream_number(ctx_, doc, number);
    }), StreamDrop{ctx_});
    for (;;) {
      fz_stream* stream = data.get();
      const std::size_t available = Mu(ctx_, [&] { return fz_available(ctx_, stream, kPieceSize); });
      if (available == 0) break;
      qp_walk_item piece = Item(QP_ITEM_STREAM_DATA, depth, key);
      piece.bytes = stream->rp;
      piece.length = available;
      stream->rp += available;
      Report(piece);
    }
    if (data->error) Fail(QP_ERR_ENGINE, "stream data cannot be read in full");
    qp_walk_item end = Item(QP_ITEM_STREAM_END, depth, key);
    Report(end);
  }

  // ---- Source and engine side by side --------------------------------------------------------

  // The node of `tree` under `node` whose engine value is `target`, found by following the source's keys and
  // indices through the engine's object. The object around the target may have changed in memory (a page
  // given its identifier), so only the way down needs to agree; the target itself is matched in full later.
  int Locate(const SourceTree& tree, int node, pdf_obj* engine, pdf_obj* target) {
    if (engine == target) return node;
    const SourceNode& here = tree.Nodes()[node];
    const bool dict = here.kind == SourceKind::Dict && pdf_is_dict(ctx_, engine);
    const bool array = here.kind == SourceKind::Array && pdf_is_array(ctx_, engine);
    if (pdf_is_indirect(ctx_, engine) || (!dict && !array)) return -1;
    int child = node + 1;
    for (std::uint32_t k = 0; k < here.count; ++k) {
      pdf_obj* value = nullptr;
      if (dict) {
        value = pdf_dict_gets(ctx_, engine, tree.Text(tree.Nodes()[child].key).data());
      } else if (static_cast<int>(k) < pdf_array_len(ctx_, engine)) {
        value = pdf_array_get(ctx_, engine, static_cast<int>(k));
      }
      if (value != nullptr && !pdf_is_indirect(ctx_, value)) {
        if (const int found = Locate(tree, child, value, target); found >= 0) return found;
      }
      child += static_cast<int>(tree.Nodes()[child].size);
    }
    return -1;
  }

  // The entry of an engine dictionary with this key: where the source has it if the order agrees there,
  // else looked up (an entry whose value is null is found only by looking at every key).
  bool EngineEntry(pdf_obj* dict, int index, std::string_view key, pdf_obj** value) const {
    if (index < pdf_dict_len(ctx_, dict)) {
      pdf_obj* name = pdf_dict_get_key(ctx_, dict, index);
      if (pdf_is_name(ctx_, name) && key == pdf_to_name(ctx_, name)) {
        *value = pdf_dict_get_val(ctx_, dict, index);
        return true;
      }
    }
    if (pdf_obj* found = pdf_dict_gets(ctx_, dict, key.data()); found != nullptr) {
      *value = found;
      return true;
    }
    for (int i = 0; i < pdf_dict_len(ctx_, dict); ++i) {
      pdf_obj* name = pdf_dict_get_key(ctx_, dict, i);
      if (pdf_is_name(ctx_, name) && key == pdf_to_name(ctx_, name)) {
        *value = pdf_dict_get_val(ctx_, dict, i);
        return true;
      }
    }
    return false;
  }

  // Whether the source node says what the engine's value is, recording the engine's value of every node.
  bool Match(MatchedSource& source, int node, pdf_obj* engine) {
    const SourceTree& tree = *source.tree;
    const SourceNode& here = tree.Nodes()[node];
    source.engine[node] = engine;
    if (here.kind == SourceKind::Reference) {
      return pdf_is_indirect(ctx_, engine) && pdf_to_num(ctx_, engine) == here.integer &&
             pdf_to_gen(ctx_, engine) == here.generation;
    }
    if (pdf_is_indirect(ctx_, engine)) return false;
    switch (here.kind) {
      case SourceKind::Null:
        return pdf_is_null(ctx_, engine) != 0;
      case SourceKind::Bool:
        return pdf_is_bool(ctx_, engine) && (pdf_to_bool(ctx_, engine) != 0) == here.boolean;
      case SourceKind::Int:
        // The engine keeps the low 32 bits of what the file writes.
        return pdf_is_int(ctx_, engine) && !here.overflow &&
               static_cast<std::int32_t>(here.integer) == static_cast<std::int32_t>(pdf_to_int64(ctx_, engine));
      case SourceKind::Real:
        return pdf_is_real(ctx_, engine) && RealsAgree(here, pdf_to_real(ctx_, engine));
      case SourceKind::String: {
        if (!pdf_is_string(ctx_, engine)) return false;
        if (!tree.StringsKept()) return true;
        const std::string_view bytes = tree.Text(here.text);
        return pdf_to_str_len(ctx_, engine) == bytes.size() &&
               std::memcmp(pdf_to_str_buf(ctx_, engine), bytes.data(), bytes.size()) == 0;
      }
      case SourceKind::Name:
        return pdf_is_name(ctx_, engine) && tree.Text(here.text) == pdf_to_name(ctx_, engine);
      case SourceKind::Dict: {
        if (!pdf_is_dict(ctx_, engine) || pdf_dict_len(ctx_, engine) != static_cast<int>(here.count)) return false;
        int child = node + 1;
        for (std::uint32_t k = 0; k < here.count; ++k) {
          pdf_obj* value = nullptr;
          if (!EngineEntry(engine, static_cast<int>(k), tree.Text(tree.Nodes()[child].key), &value)) return false;
          if (!Match(source, child, value)) return false;
          child += static_cast<int>(tree.Nodes()[child].size);
        }
        return true;
      }
      case SourceKind::Array: {
        if (!pdf_is_array(ctx_, engine) || pdf_array_len(ctx_, engine) != static_cast<int>(here.count)) return false;
        int child = node + 1;
        for (std::uint32_t k = 0; k < here.count; ++k) {
          if (!Match(source, child, pdf_array_get(ctx_, engine, static_cast<int>(k)))) return false;
          child += static_cast<int>(tree.Nodes()[child].size);
        }
        return true;
      }
      case SourceKind::Reference:
        break;
    }
    return false;
  }

  // The engine reads reals as 32-bit values, some digits with an Acrobat-compatible routine that gives up on
  // very long ones, and out-of-range values as a stand-in: the digits agree when they are near its value.
  static bool RealsAgree(const SourceNode& node, double engine) {
    if (node.engineReadLoosely) return true;
    const double written = node.real;
    if (!std::isfinite(written) || std::fabs(written) > FLT_MAX || (written != 0.0 && std::fabs(written) < FLT_MIN)) {
      return true;
    }
    return std::fabs(engine - written) <= 1e-5 * std::fmax(1.0, std::fabs(written));
  }

  void EmitSourceEntries(const MatchedSource& source, int node, int depth) {
    const SourceTree& tree = *source.tree;
    const SourceNode& here = tree.Nodes()[node];
    int child = node + 1;
    for (std::uint32_t k = 0; k < here.count; ++k) {
      Key key;
      if (here.kind == SourceKind::Dict) {
        const std::string_view text = tree.Text(tree.Nodes()[child].key);
        key = Key{text.data(), text.size()};
      }
      EmitSource(source, child, depth + 1, key);
      child += static_cast<int>(tree.Nodes()[child].size);
    }
  }

  // Matched with the engine's object, a string takes the engine's (decrypted) bytes and a reference the
  // engine's; a source that stands alone gives them itself. Everything else is as the source writes it.
  void EmitSource(const MatchedSource& source, int node, int depth, Key key) {
    CheckDepth(depth);
    const SourceTree& tree = *source.tree;
    const SourceNode& here = tree.Nodes()[node];
    pdf_obj* engine = source.Engine(node);
    qp_walk_item item = Item(QP_ITEM_NULL, depth, key);
    switch (here.kind) {
      case SourceKind::Reference:
        if (engine != nullptr) {
          EmitReference(engine, depth, key);
          return;
        }
        item.kind = QP_ITEM_REFERENCE;
        item.integer = here.integer;
        item.generation = here.generation;
        if ((Report(item) & QP_WALK_FOLLOW) != 0) {
          WalkNumber(source.doc, static_cast<int>(here.integer), here.generation, depth, key);
        }
        return;
      case SourceKind::Dict:
      case SourceKind::Array: {
        const bool dict = here.kind == SourceKind::Dict;
        qp_walk_item begin = Item(dict ? QP_ITEM_DICT_BEGIN : QP_ITEM_ARRAY_BEGIN, depth, key);
        if ((Report(begin) & QP_WALK_SKIP_ENTRIES) == 0) EmitSourceEntries(source, node, depth);
        qp_walk_item end = Item(dict ? QP_ITEM_DICT_END : QP_ITEM_ARRAY_END, depth, key);
        Report(end);
        return;
      }
      case SourceKind::String:
        item.kind = QP_ITEM_STRING;
        if (engine != nullptr) {
          item.bytes = reinterpret_cast<const unsigned char*>(pdf_to_str_buf(ctx_, engine));
          item.length = pdf_to_str_len(ctx_, engine);
        } else {
          const std::string_view bytes = tree.Text(here.text);
          item.bytes = reinterpret_cast<const unsigned char*>(bytes.data());
          item.length = bytes.size();
        }
        item.hex = here.hex ? 1 : 0;
        break;
      case SourceKind::Real:
        item.kind = QP_ITEM_REAL;
        item.real = here.real;
        break;
      case SourceKind::Int:
        item.kind = QP_ITEM_INT;
        item.integer = here.integer;
        break;
      case SourceKind::Name: {
        // Matched: the source's name bytes are the engine's.
        const std::string_view name = tree.Text(here.text);
        item.kind = QP_ITEM_NAME;
        item.bytes = reinterpret_cast<const unsigned char*>(name.data());
        item.length = name.size();
        break;
      }
      case SourceKind::Bool:
        item.kind = QP_ITEM_BOOL;
        item.boolean = here.boolean ? 1 : 0;
        break;
      case SourceKind::Null:
        break;
    }
    Report(item);
  }

  void EmitReference(pdf_obj* reference, int depth, Key key) {
    qp_walk_item item = Item(QP_ITEM_REFERENCE, depth, key);
    item.integer = pdf_to_num(ctx_, reference);
    item.generation = pdf_to_gen(ctx_, reference);
    if ((Report(item) & QP_WALK_FOLLOW) != 0) WalkTarget(reference, depth, key);
  }

  void EmitEngineEntries(pdf_obj* container, int depth) {
    if (pdf_is_dict(ctx_, container)) {
      for (int i = 0; i < pdf_dict_len(ctx_, container); ++i) {
        pdf_obj* name = pdf_dict_get_key(ctx_, container, i);
        if (!pdf_is_name(ctx_, name)) continue;
        const char* key = pdf_to_name(ctx_, name);
        EmitEngine(pdf_dict_get_val(ctx_, container, i), depth + 1, Key{key, std::strlen(key)});
      }
      return;
    }
    for (int i = 0; i < pdf_array_len(ctx_, container); ++i) EmitEngine(pdf_array_get(ctx_, container, i), depth + 1, Key{});
  }

  // A value as the readers of qp.h see it.
  void EmitEngine(pdf_obj* value, int depth, Key key) {
    CheckDepth(depth);
    if (pdf_is_indirect(ctx_, value)) {
      EmitReference(value, depth, key);
      return;
    }
    qp_walk_item item = Item(QP_ITEM_NULL, depth, key);
    if (pdf_is_dict(ctx_, value) || pdf_is_array(ctx_, value)) {
      const bool dict = pdf_is_dict(ctx_, value) != 0;
      item.kind = dict ? QP_ITEM_DICT_BEGIN : QP_ITEM_ARRAY_BEGIN;
      if ((Report(item) & QP_WALK_SKIP_ENTRIES) == 0) EmitEngineEntries(value, depth);
      qp_walk_item end = Item(dict ? QP_ITEM_DICT_END : QP_ITEM_ARRAY_END, depth, key);
      Report(end);
      return;
    }
    if (pdf_is_bool(ctx_, value)) {
      item.kind = QP_ITEM_BOOL;
      item.boolean = pdf_to_bool(ctx_, value);
    } else if (pdf_is_int(ctx_, value)) {
      item.kind = QP_ITEM_INT;
      item.integer = pdf_to_int64(ctx_, value);
    } else if (pdf_is_real(ctx_, value)) {
      item.kind = QP_ITEM_REAL;
      item.real = FloatAsWritten(pdf_to_real(ctx_, value));
    } else if (pdf_is_string(ctx_, value)) {
      item.kind = QP_ITEM_STRING;
      item.bytes = reinterpret_cast<const unsigned char*>(pdf_to_str_buf(ctx_, value));
      item.length = pdf_to_str_len(ctx_, value);
      item.hex = StringLooksBinary(item.bytes, item.length) ? 1 : 0;
    } else if (pdf_is_name(ctx_, value)) {
      item.kind = QP_ITEM_NAME;
      item.bytes = reinterpret_cast<const unsigned char*>(pdf_to_name(ctx_, value));
      item.length = std::strlen(pdf_to_name(ctx_, value));
    }
    Report(item);
  }

  qp_document document_;
  fz_context* ctx_;
  qp_walk_callback callback_;
  void* context_;
  std::unique_ptr<ObjectSources> otherSources_;  // for objects of a document read before the last save
  std::vector<std::pair<pdf_document*, int>> walking_;
  int fallbacks_ = 0;
};

}  // namespace

extern "C" int qp_cos_walk(qp_cos object, qp_walk_callback callback, void* context, int* fallbacks) {
  if (fallbacks != nullptr) *fallbacks = 0;
  return GuardCode(__func__, [&] {
    if (object == nullptr || callback == nullptr) Fail(QP_ERR_ARGUMENT, "no object or no callback");
    Walker walker(object->document, callback, context);
    struct CountOnEveryPath {
      const Walker& walker;
      int* out;
      ~CountOnEveryPath() {
        if (out != nullptr) *out = walker.Fallbacks();
      }
    } count{walker, fallbacks};
    walker.Walk(object->obj);
    return QP_OK;
  });
}
