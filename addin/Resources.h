#pragma once
// The pictures compiled into the module, found by resource id.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/imaging/Image.h"

namespace sealrun::addin {

inline constexpr int kDefaultSealBitmap = 229;
inline constexpr int kSignButtonPng = 251;
inline constexpr int kVerifyButtonPng = 252;
inline constexpr int kRemoveButtonPng = 253;
inline constexpr int kPaneToolbarBitmap = 245;
inline constexpr int kToolboxBitmap = 108;
inline constexpr int kModuleIcon = 248;

struct ResourceEntry {
  int id;
  std::span<const unsigned char> bytes;
};

// Every resource of the module (generated at build time).
std::span<const ResourceEntry> ResourceTable();

// The encoded bytes of a resource; empty when the module has no such resource.
std::span<const unsigned char> FindResource(int id);
// A resource decoded; nullopt when it is missing or does not decode.
std::optional<platform::imaging::Image> LoadImageResource(int id);
// A command-button picture for the host: decoded, and when it carries alpha every fully transparent
// pixel becomes magenta with alpha 0, the colour the host's image lists treat as see-through.
std::optional<platform::imaging::Image> LoadButtonImage(int id);

}  // namespace sealrun::addin
