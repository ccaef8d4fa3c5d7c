// Making and verifying an installer image.
#include "tool/packer/packer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

#include "core/codec/entry_encoder.h"
#include "core/codec/memory_streams.h"
#include "tool/packer/installer_assembly.h"
#include "core/format/install_names.h"
#include "core/format/memory_source.h"
#include "core/format/version_info.h"
#include "tool/reader/payload_image.h"
#include "core/format/title_rule.h"

using codec::CompressEntry;
using codec::CompressionLevel;
using codec::DecodeOutcome;
using codec::DecodeToBuffer;
using codec::DecoderState;
using format::BuildInstalledPath;
using format::BuildMediaFileName;
using format::BuildTitleDirectory;
using format::CheckTitle;
using format::IsCompressed;
using format::IsSafeFileName;
using format::ManifestHeaderSize;
using format::PayloadEntry;
using format::TitleFault;
using format::kDataFilePosition;
using format::kEntryNameSize;
using format::kEntrySize;
using format::kFirstMediaPosition;
using format::kInstallLogName;
using format::kKindJukUnderscore;
using format::kKindJuke;
using format::kMaxLicenseLength;
using format::kPathBufferSize;
using format::kReferenceWinDir;
using format::kReservedNameCharacters;
using format::kScreenSaverPosition;
using format::kUninstallerPosition;

namespace packer {

using imagewriter::EntryContents;
using imagewriter::ManifestContents;
using imagewriter::ResourceItem;
using reader::ImageError;
using reader::LoadPayloadImage;
using reader::PayloadImage;

namespace {

// Entries 0 to 2 carry a Name and Kind that no reader uses; these are the
// values installer images have always carried there.
constexpr char kUnusedEntryName[] = ".TMP";
constexpr std::uint8_t kUnusedEntryKind = 0x20;
// A five-digit media number is written whole; six digits would not be.
constexpr std::uint32_t kMaxMediaNumber = 99999;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const PackInput& InputAt(const PackRequest& request, std::size_t position) {
  switch (position) {
    case kScreenSaverPosition: return request.saver;
    case kDataFilePosition: return request.data;
    case kUninstallerPosition: return request.uninstaller;
    default: return request.media[position - kFirstMediaPosition];
  }
}

std::size_t EntryCount(const PackRequest& request) { return kFirstMediaPosition + request.media.size(); }

// The entry as the installer will see it, without data placement.
PayloadEntry EntryFields(const PackRequest& request, std::size_t position) {
  PayloadEntry entry{};
  std::memset(entry.Name, ' ', kEntryNameSize);
  if (position < kFirstMediaPosition) {
    std::memcpy(entry.Name, kUnusedEntryName, std::strlen(kUnusedEntryName));
    entry.Kind = kUnusedEntryKind;
  } else {
    const std::string name = MediaEntryName(InputAt(request, position).path);
    std::memcpy(entry.Name, name.data(), name.size());
    entry.Kind = KindByte(request.kind);
  }
  return entry;
}

std::string InstalledPath(const PackRequest& request, std::size_t position, const char* winDir) {
  char path[kPathBufferSize];
  const PayloadEntry entry = EntryFields(request, position);
  if (!BuildInstalledPath(path, sizeof path, winDir, request.title.c_str(),
                          static_cast<std::uint32_t>(position), entry, request.numberBase))
    return std::string();
  return path;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Thousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ",");
  return digits;
}

void CheckInput(const PackInput& input, const char* role) {
  if (input.bytes.empty())
    throw PackError(input.path, std::string("the ") + role + " is empty; an entry cannot be an empty file");
  if (input.bytes.size() > kMaxImageSize)
    throw PackError(input.path, std::string("the ") + role + " is 2 GiB or larger");
}

EntryContents EncodeEntry(const PackRequest& request, std::size_t position, PackedEntry* report) {
  const PackInput& input = InputAt(request, position);
  const PayloadEntry fields = EntryFields(request, position);
  EntryContents contents;
  contents.name.assign(fields.Name, kEntryNameSize);
  contents.kind = fields.Kind;
  if (!request.store) {
    std::vector<std::uint8_t> packed = CompressEntry(input.bytes.data(), input.bytes.size(), CompressionLevel::kBest);
    if (packed.size() < input.bytes.size()) {
      contents.stored = std::move(packed);
      contents.expandedSize = static_cast<std::uint32_t>(input.bytes.size());
    }
  }
  if (contents.expandedSize == 0) contents.stored = input.bytes;
  report->installedName = InstalledPath(request, position, "");
  report->size = static_cast<std::uint32_t>(input.bytes.size());
  report->storedSize = static_cast<std::uint32_t>(contents.stored.size());
  report->compressed = contents.expandedSize != 0;
  return contents;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PackError(path, "cannot read the written image back");
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the VERSIONINFO texts may hold: no control character (the installer
// writes them into the registry, the tool prints them), at most the 259
// characters of the installer's fields.
void CheckVersionText(const std::string& text, const char* option) {
  if (text.size() >= format::kVersionFieldSize)
    throw PackError("", std::string(option) + " has " + std::to_string(text.size()) +
                            " characters; the installer holds at most 259");
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) throw PackError("", std::string(option) + " holds a control character");
}

bool IsWebAddress(const std::string& url) {
  for (const char* scheme : {"http://", "https://"}) {
    const std::size_t length = std::strlen(scheme);
    if (url.size() > length && std::equal(scheme, scheme + length, url.begin(), [](char a, char b) {
          return a == std::tolower(static_cast<unsigned char>(b));
        }))
      return true;
  }
  return false;
}

bool SameResource(const ResourceItem& a, const ResourceItem& b) {
  return a.type.name == b.type.name && a.type.id == b.type.id && a.name.name == b.name.name &&
         a.name.id == b.name.id && a.language == b.language && a.data == b.data &&
         a.codePage == b.codePage;
}

}  // namespace

std::uint8_t KindByte(MediaKind kind) {
  switch (kind) {
    case MediaKind::kJukUnderscore: return kKindJukUnderscore;
    case MediaKind::kFile: return 0x20;
    case MediaKind::kJuke: break;
  }
  return kKindJuke;
}

std::string TitleProblem(const std::string& title) {
  if (title.size() > kMaxTitleLength)
    return "the title has " + std::to_string(title.size()) + " characters; the installer's paths hold at most " +
           std::to_string(kMaxTitleLength);
  // A NUL would end the title where the installer reads it.
  if (title.find('\0') != std::string::npos) return "the title holds a control character";
  switch (CheckTitle(title.c_str())) {
    case TitleFault::kNone: break;
    case TitleFault::kEmpty: return "the title is empty";
    case TitleFault::kControlCharacter: return "the title holds a control character";
    case TitleFault::kReservedCharacter:
      return std::string("the title holds '") + title[title.find_first_of(kReservedNameCharacters)] +
             "', which Windows file names cannot hold";
    case TitleFault::kOnlyDotsAndBlanks: return "the title is made of dots and blanks only";
    case TitleFault::kLeadingBlank: return "the title starts with a blank";
    case TitleFault::kTrailingDotOrBlank: return "the title ends in a blank or a dot";
    case TitleFault::kDeviceName: return "the title is a name Windows reserves (such as CON, NUL or COM1)";
  }
  return std::string();
}

std::string MediaEntryName(const std::string& path) {
  const std::string base = BaseName(path);
  const std::size_t dot = base.rfind('.');
  if (dot == std::string::npos || dot + 1 == base.size())
    throw PackError(path, "a media file needs an extension: the installer asks the media layer by it");
  const std::string name = Upper(base.substr(dot));
  if (name.size() > kEntryNameSize)
    throw PackError(path, "the extension is longer than the 14 characters a media entry holds");
  for (unsigned char c : name)
    if (c < 0x20 || c > 0x7E) throw PackError(path, "the extension holds a character other than printable ASCII");
  return name;
}

void CheckPackRequest(const PackRequest& request) {
  if (std::string problem = TitleProblem(request.title); !problem.empty()) throw PackError("", problem);
  CheckVersionText(request.publisher, "--publisher");
  CheckVersionText(request.version, "--version");
  CheckVersionText(request.url, "--url");
  CheckVersionText(request.copyright, "--copyright");
  std::uint16_t numbers[4];
  if (!request.version.empty() && !imagewriter::ParseVersionNumbers(request.version, numbers))
    throw PackError("", "--version \"" + request.version +
                            "\" is not 1 to 4 numbers of 0 to 65535 separated by dots (such as 1.2.3)");
  // The installer registers it as the entry's web page (URLInfoAbout).
  if (!request.url.empty() && !IsWebAddress(request.url))
    throw PackError("", "--url \"" + request.url + "\" is not a web address (http:// or https://)");
  if (!request.licensePath.empty() || !request.license.empty()) {
    if (request.license.empty()) throw PackError(request.licensePath, "the licence file is empty");
    if (request.license.size() > kMaxLicenseLength)
      throw PackError(request.licensePath, "the licence has " + Thousands(request.license.size()) +
                                               " bytes; an installer holds at most 65,535");
    // The licence dialog shows the text up to its first NUL.
    if (request.license.find('\0') != std::string::npos)
      throw PackError(request.licensePath, "the licence holds a NUL byte; the installer would show only the text before it");
  }
  CheckInput(request.saver, "screen saver");
  CheckInput(request.data, "data file");
  CheckInput(request.uninstaller, "uninstaller");
  for (const PackInput& media : request.media) CheckInput(media, "media file");
  if (!request.media.empty() &&
      std::uint32_t{request.numberBase} + request.media.size() - 1 > kMaxMediaNumber)
    throw PackError("", "the media numbers would run past 99999");
  if (request.media.size() > format::kMostUninstalledFiles - 3)
    throw PackError("", std::to_string(request.media.size()) + " media files: with the screen saver, its data file and "
                        "the uninstaller that is more than the " + std::to_string(format::kMostUninstalledFiles) +
                        " files the uninstaller removes");

  // Every installed name must be a safe file name, fit the installer's
  // paths, and differ from the others (the installer's log beside them too).
  std::set<std::string> names;
  char titleDirectory[kPathBufferSize];
  if (BuildTitleDirectory(titleDirectory, sizeof titleDirectory, "", request.title.c_str()))
    names.insert(Upper(std::string(titleDirectory) + "\\" + kInstallLogName));
  for (std::size_t position = 0; position < EntryCount(request); ++position) {
    const std::string& path = InputAt(request, position).path;
    if (position >= kFirstMediaPosition) {
      char media[kPathBufferSize];
      const PayloadEntry entry = EntryFields(request, position);
      if (!BuildMediaFileName(media, sizeof media, entry, static_cast<std::uint32_t>(position), request.numberBase) ||
          !IsSafeFileName(media))
        throw PackError(path, "would be installed under a name Windows cannot hold");
    }
    if (InstalledPath(request, position, kReferenceWinDir).empty())
      throw PackError(path, "its installed path would be longer than the installer's 259 characters");
    const std::string relative = InstalledPath(request, position, "");
    if (!names.insert(Upper(relative)).second)
      throw PackError(path, "would be installed as " + relative + ", which another file of the installer already uses");
  }
}

imagewriter::VersionInfoContents ImageVersionInfo(const PackRequest& request) {
  imagewriter::VersionInfoContents contents;
  contents.text[format::kProductName] = request.title;
  contents.text[format::kFileDescription] = request.title + " Setup";
  contents.text[format::kCompanyName] = request.publisher;
  contents.text[format::kProductVersion] = request.version;
  contents.text[format::kFileVersion] = request.version;
  contents.text[format::kUrl] = request.url;
  contents.text[format::kLegalCopyright] = request.copyright;
  if (!request.version.empty() && !imagewriter::ParseVersionNumbers(request.version, contents.fileVersion))
    throw PackError("", "--version \"" + request.version + "\" is not a version");
  std::copy(contents.fileVersion, contents.fileVersion + 4, contents.productVersion);
  return contents;
}

std::vector<ResourceItem> ImageResources(const StubImage& stub, const std::vector<std::uint8_t>& versionInfo) {
  std::vector<ResourceItem> resources;
  for (const ResourceItem& item : stub.resources)
    if (item.type.IsNamed() || item.type.id != format::kVersionResourceType) resources.push_back(item);
  ResourceItem version;
  version.type = imagewriter::ResourceKey::Number(format::kVersionResourceType);
  version.name = imagewriter::ResourceKey::Number(format::kVersionResourceId);
  version.language = 1033;
  version.data = versionInfo;
  resources.push_back(version);
  return resources;
}

PackResult PackInstaller(const StubImage& stub, const PackRequest& request) {
  CheckPackRequest(request);
  RequirePayloadResourceFirst(stub);
  ManifestContents manifest;
  manifest.title = request.title;
  manifest.license = request.license;
  manifest.numberBase = request.numberBase;
  PackResult result;
  // The image holds at most the stub, the manifest and the stored entries.
  std::uint64_t bound = stub.bytes.size() + 2 * stub.fileAlignment + ManifestHeaderSize(kMaxLicenseLength) +
                        kEntrySize * (EntryCount(request) + 1);
  for (std::size_t position = 0; position < EntryCount(request); ++position) {
    PackedEntry report;
    manifest.entries.push_back(EncodeEntry(request, position, &report));
    bound += report.storedSize;
    if (bound > kMaxImageSize)
      throw PackError(InputAt(request, position).path, "the installer would reach 2 GiB with this file");
    result.entries.push_back(report);
  }
  const std::vector<ResourceItem> resources =
      ImageResources(stub, imagewriter::BuildVersionInfo(ImageVersionInfo(request)));
  AssembledImage image = AssembleInstaller(stub, resources, manifest);
  if (image.bytes.size() > kMaxImageSize) throw PackError("", "the installer would reach 2 GiB");
  result.image = std::move(image.bytes);
  result.manifestOffset = image.manifestOffset;
  return result;
}

void VerifyPackedImage(const std::string& path, const StubImage& stub, const PackRequest& request) {
  PayloadImage image;
  try {
    image = LoadPayloadImage(path);
  } catch (const ImageError& e) {
    throw PackError(path, std::string("read back: ") + e.what());
  }
  auto fail = [&](const std::string& what) { throw PackError(path, "read back: " + what); };
  if (image.licenseText != request.license) fail("the licence differs");
  if (std::string(image.titleField) != request.title) fail("the title differs");
  if (image.numberBase != request.numberBase) fail("the number base differs");
  if (image.tableCutShort) fail("the entry table runs past the end of the file");
  if (image.entries.size() != EntryCount(request)) fail("the table holds another number of entries");

  const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  // One decoder state for all entries in table order, as the installer has.
  auto state = std::make_unique<DecoderState>();
  for (std::size_t position = 0; position < image.entries.size(); ++position) {
    const PayloadEntry& entry = image.entries[position];
    const std::vector<std::uint8_t>& input = InputAt(request, position).bytes;
    const std::string which = "entry " + std::to_string(position);
    if (!image.DataInsideFile(entry)) fail(which + " lies beyond the end of the file");
    const PayloadEntry expected = EntryFields(request, position);
    if (std::memcmp(entry.Name, expected.Name, kEntryNameSize) != 0 || entry.Kind != expected.Kind)
      fail(which + " has another name or kind");
    const std::uint8_t* stored = bytes.data() + entry.DataOffset;
    if (!IsCompressed(entry)) {
      if (entry.StoredSize != input.size() || std::memcmp(stored, input.data(), input.size()) != 0)
        fail(which + " differs from its file");
      continue;
    }
    if (entry.ExpandedSize != input.size()) fail(which + " has another expanded size");
    std::vector<std::uint8_t> decoded(input.size());
    const DecodeOutcome outcome =
        DecodeToBuffer(*state, stored, entry.StoredSize, entry.StoredSize, entry.ExpandedSize, decoded.data());
    if (outcome.produced < static_cast<std::int32_t>(entry.ExpandedSize) ||
        outcome.bitsConsumed > std::uint64_t{entry.StoredSize} * 8 || decoded != input)
      fail(which + " does not decode to its file");
  }

  // The installer's own resources must have come through unchanged, the
  // version information replaced by the author's.
  StubImage packed;
  try {
    packed = ReadStubImage(bytes);
  } catch (const StubError& e) {
    fail(e.what());
  }
  const std::vector<ResourceItem> expected =
      ImageResources(stub, imagewriter::BuildVersionInfo(ImageVersionInfo(request)));
  if (packed.resources.size() != expected.size()) fail("the resources differ from the stub's");
  for (const ResourceItem& original : expected) {
    if (IsPayloadResource(original)) continue;
    bool found = false;
    for (const ResourceItem& item : packed.resources) found = found || SameResource(item, original);
    if (!found) fail("a resource of the stub is missing or changed");
  }
  if (!IsPayloadResource(packed.resources.front())) fail("LASTRES is not the first resource");
  // And the installer's reader finds the author's identity in it.
  format::MemoryImageSource source(bytes);
  format::VersionInfoFields version;
  if (format::ReadImageVersionInfo(source, &version) != format::VersionInfoStatus::kRead ||
      std::string(version.text[format::kCompanyName]) != request.publisher ||
      std::string(version.text[format::kProductVersion]) != request.version ||
      std::string(version.text[format::kProductName]) != request.title ||
      std::string(version.text[format::kUrl]) != request.url)
    fail("the version information does not read back as given");
}

}  // namespace packer
