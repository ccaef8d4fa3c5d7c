// What an opened Image holds: the reader's whole manifest, and where its
// bytes come from (the path, opened again by each EntryReader, or shared
// memory). Private to libsaverkit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "saverkit/image.h"
#include "tool/reader/entry_signature.h"
#include "tool/reader/image_file.h"
#include "tool/reader/payload_image.h"

namespace saverkit {

struct Image::Impl {
  std::string name;
  std::shared_ptr<const std::vector<std::uint8_t>> memory;  // null: read the file at `name`
  reader::PayloadImage payload;
  std::vector<Entry> entries;
  Signature signature;
  std::string identity;

  // A fresh handle on the image's bytes. Throws reader::ImageError.
  void OpenSource(reader::ImageFile* file) const;
};

// An Image made from a manifest read already (identify reads it from the
// file it opened for its first look).
struct ImageAccess {
  static Image FromPayload(reader::PayloadImage payload, const std::string& name);
  // Fills the API's view (entries, signature, identity) of impl->payload.
  static Image Described(std::unique_ptr<Image::Impl> impl);
};

ProgramSignature ProgramSignatureOf(reader::EntrySignatureState state);

}  // namespace saverkit
