#include "verify/CanonicalWriter.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace sealrun::verify {
namespace {

bool StartsRegular(int kind) {
  return kind == QP_ITEM_BOOL || kind == QP_ITEM_INT || kind == QP_ITEM_REAL || kind == QP_ITEM_NULL ||
         kind == QP_ITEM_REFERENCE;
}

bool EndsRegular(int kind) { return StartsRegular(kind) || kind == QP_ITEM_NAME; }

std::string_view BytesOf(const qp_walk_item& item) {
  return item.bytes == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(item.bytes), item.length);
}

}  // namespace

void CanonicalWriter::Begin(int depth, CosLevel level) {
  base_ = depth;
  level_ = level;
  idle_ = false;
  streamOpen_ = false;
  frames_.clear();
}

void CanonicalWriter::FinishValue() { idle_ = true; }

int CanonicalWriter::OnItem(const qp_walk_item& item) {
  if (idle_ || item.depth < base_) return QP_WALK_NEXT;
  switch (item.kind) {
    case QP_ITEM_DICT_END:
    case QP_ITEM_ARRAY_END: {
      digest_.Write(item.kind == QP_ITEM_DICT_END ? ">>" : "]");
      const Frame closed = frames_.back();
      frames_.pop_back();
      if (closed.stream) {
        digest_.Write("stream\r\n");
        streamOpen_ = true;
      } else if (frames_.empty()) {
        FinishValue();
      }
      return QP_WALK_NEXT;
    }
    case QP_ITEM_STREAM_DATA:
      digest_.WriteBulk(std::span<const std::uint8_t>(item.bytes, item.length));
      return QP_WALK_NEXT;
    case QP_ITEM_STREAM_END:
      digest_.Write("\r\nendstream");
      streamOpen_ = false;
      if (frames_.empty()) FinishValue();
      return QP_WALK_NEXT;
    default:
      return OnValue(item);
  }
}

int CanonicalWriter::OnValue(const qp_walk_item& item) {
  const int kind = item.kind;
  const bool container = kind == QP_ITEM_DICT_BEGIN || kind == QP_ITEM_ARRAY_BEGIN;
  if (!frames_.empty()) {
    Frame& frame = frames_.back();
    if (frame.dict) {
      digest_.WriteName(item.key == nullptr ? std::string_view() : std::string_view(item.key, item.key_length));
      if (StartsRegular(kind)) digest_.Write(" ");
    } else {
      // An element that is a reference writes nothing itself but still ends with a regular character.
      if (!frame.first && frame.previousEndsRegular && StartsRegular(kind)) digest_.Write(" ");
      frame.first = false;
      frame.previousEndsRegular = !container && EndsRegular(kind);
    }
  } else if (kind == QP_ITEM_REFERENCE && level_ == CosLevel::Top) {
    return QP_WALK_FOLLOW;  // the target comes next, at this depth
  }
  switch (kind) {
    case QP_ITEM_NULL: digest_.Write("null"); break;
    case QP_ITEM_BOOL: digest_.Write(item.boolean ? "true" : "false"); break;
    case QP_ITEM_INT: digest_.WriteInteger(item.integer); break;
    case QP_ITEM_REAL: digest_.WriteReal(item.real); break;
    case QP_ITEM_STRING: digest_.WriteString(BytesOf(item), item.hex ? StringForm::Hex : StringForm::Literal); break;
    case QP_ITEM_NAME: digest_.WriteName(BytesOf(item)); break;
    case QP_ITEM_DICT_BEGIN:
      digest_.Write("<<");
      frames_.push_back(Frame{.dict = true, .stream = item.stream != 0});
      return QP_WALK_NEXT;
    case QP_ITEM_ARRAY_BEGIN:
      digest_.Write("[");
      frames_.push_back(Frame{});
      return QP_WALK_NEXT;
    default:
      break;  // a reference below the top level writes nothing
  }
  if (frames_.empty() && !streamOpen_) FinishValue();
  return QP_WALK_NEXT;
}

}  // namespace sealrun::verify
