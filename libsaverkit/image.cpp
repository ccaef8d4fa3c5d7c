// Opening an image and describing it: the reader's manifest, told in the
// API's own types.
#include "saverkit/image.h"

#include <utility>

#include "core/format/install_names.h"
#include "core/format/version_info.h"
#include "libsaverkit/failures.h"
#include "libsaverkit/image_impl.h"
#include "tool/reader/entry_signature.h"
#include "tool/reader/image_entry_reader.h"

using format::InstallRefusal;
using format::PayloadEntry;

namespace saverkit {

namespace {

// Identity texts of our releases start so ("Saverkit 0.1.0").
constexpr char kOurIdentityPrefix[] = "Saverkit ";

Role RoleAt(std::uint32_t position) {
  switch (position) {
    case format::kScreenSaverPosition: return Role::kSaver;
    case format::kDataFilePosition: return Role::kData;
    case format::kUninstallerPosition: return Role::kUninstaller;
    default: return Role::kMedia;
  }
}

Refusal RefusalOf(InstallRefusal refusal) {
  switch (refusal) {
    case InstallRefusal::kNone: return Refusal::kNone;
    case InstallRefusal::kNoWindowsDirectory: return Refusal::kNoWindowsDirectory;
    case InstallRefusal::kUnsafeTitle: return Refusal::kUnsafeTitle;
    case InstallRefusal::kUnsafeName: return Refusal::kUnsafeName;
    case InstallRefusal::kPathTooLong: return Refusal::kPathTooLong;
    case InstallRefusal::kDataOutsideImage: return Refusal::kDataOutsideImage;
  }
  return Refusal::kNone;
}

// An entry's installed path (relative to the Windows directory) and file
// name, from the path the installer's rule built in the reference Windows
// directory. Its buffer is the rule's report buffer, four times the
// installer's, so that a path the installer refuses as too long is still
// shown; the longest path the fields allow (two titles of 259 characters)
// fits whole.
struct InstalledNames {
  std::string path;
  std::string fileName;
};

InstalledNames NamesOf(const reader::PayloadImage& image, const std::string& title, std::uint32_t position,
                       const char* fullPath, InstallRefusal refusal) {
  InstalledNames names;
  const std::size_t prefix = sizeof format::kReferenceWinDir - 1;
  names.path = fullPath + prefix;
  if (refusal == InstallRefusal::kNone) {
    // A written entry's title and media name are safe names (no backslash),
    // so its file name is the path's last part.
    const std::size_t slash = names.path.rfind('\\');
    names.fileName = slash == std::string::npos ? names.path : names.path.substr(slash + 1);
    return names;
  }
  char name[4 * format::kPathBufferSize];
  if (format::BuildInstalledFileName(name, sizeof name, title.c_str(), position, image.entries[position],
                                     image.numberBase))
    names.fileName = name;
  return names;
}

Signature SignatureOf(const reader::PayloadImage& image) {
  Signature signature;
  const reader::CertificateTable& table = image.certificates;
  signature.offset = table.offset;
  signature.size = table.size;
  signature.damage = table.damage;
  switch (table.state) {
    case reader::SignatureState::kUnsigned: signature.state = SignatureState::kUnsigned; break;
    case reader::SignatureState::kDamaged: signature.state = SignatureState::kDamaged; break;
    case reader::SignatureState::kSigned:
      signature.state = SignatureState::kSigned;
      signature.coversPayload = image.SignatureCoversPayload();
      signature.bytesAfter = image.BytesAfterSignature();
      break;
  }
  return signature;
}

}  // namespace

Image ImageAccess::Described(std::unique_ptr<Image::Impl> impl) {
  const reader::PayloadImage& image = impl->payload;
  const std::string title = image.Title();
  const format::InstallPlace place = image.ReferencePlace(title);
  impl->entries.reserve(image.entries.size());
  for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
    const PayloadEntry& raw = image.entries[i];
    char fullPath[4 * format::kPathBufferSize];
    const InstallRefusal refusal = format::InstallerRefusal(place, raw, i, fullPath, sizeof fullPath);
    InstalledNames names = NamesOf(image, title, i, fullPath, refusal);
    Entry entry;
    entry.position = i;
    entry.role = RoleAt(i);
    entry.path = std::move(names.path);
    entry.fileName = std::move(names.fileName);
    entry.size = format::InstalledSize(raw);
    entry.storedSize = raw.StoredSize;
    entry.dataOffset = raw.DataOffset;
    entry.compressed = format::IsCompressed(raw);
    entry.kind = raw.Kind;
    entry.refusal = RefusalOf(refusal);
    entry.dataInsideImage = image.DataInsideFile(raw);
    entry.tooLarge = format::ExpandsPastSignedRange(raw);
    impl->entries.push_back(std::move(entry));
  }
  impl->signature = SignatureOf(image);
  impl->identity = image.installerProgram;
  return Image(std::move(impl));
}

namespace {

std::optional<std::string> VersionText(const reader::PayloadImage& image, format::VersionField field) {
  const std::string text = image.VersionText(field);
  if (text.empty()) return std::nullopt;
  return text;
}


}  // namespace

ProgramSignature ProgramSignatureOf(reader::EntrySignatureState state) {
  switch (state) {
    case reader::EntrySignatureState::kNotPe: return ProgramSignature::kNotPe;
    case reader::EntrySignatureState::kNotRead: return ProgramSignature::kNotRead;
    case reader::EntrySignatureState::kTooLarge: return ProgramSignature::kTooLarge;
    case reader::EntrySignatureState::kUnsigned: return ProgramSignature::kUnsigned;
    case reader::EntrySignatureState::kSigned: return ProgramSignature::kSigned;
    case reader::EntrySignatureState::kDamaged: return ProgramSignature::kDamaged;
  }
  return ProgramSignature::kNotRead;
}

void Image::Impl::OpenSource(reader::ImageFile* file) const {
  if (memory)
    file->OpenMemory(memory);
  else
    file->Open(name);
}

const char* RoleName(Role role) {
  switch (role) {
    case Role::kSaver: return "saver";
    case Role::kData: return "data";
    case Role::kUninstaller: return "uninstaller";
    case Role::kMedia: break;
  }
  return "media";
}

const char* RefusalText(Refusal refusal) {
  switch (refusal) {
    case Refusal::kNone: return "written";
    case Refusal::kNoWindowsDirectory: return "refused: no Windows directory";
    case Refusal::kUnsafeTitle: return "refused: the title could lead outside its folder";
    case Refusal::kUnsafeName: return "refused: the name could land outside the folder";
    case Refusal::kPathTooLong: return "refused: the installed path is too long";
    case Refusal::kDataOutsideImage: return "data lies beyond the end of the file";
  }
  return "?";
}

const char* ProgramSignatureWord(ProgramSignature state) {
  switch (state) {
    case ProgramSignature::kSigned: return "signed";
    case ProgramSignature::kUnsigned: return "unsigned";
    case ProgramSignature::kDamaged: return "damaged";
    case ProgramSignature::kNotPe:
    case ProgramSignature::kNotRead:
    case ProgramSignature::kTooLarge: break;
  }
  return "-";
}

Image::Image(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Image::Image(Image&&) noexcept = default;
Image& Image::operator=(Image&&) noexcept = default;
Image::~Image() = default;

Image ImageAccess::FromPayload(reader::PayloadImage payload, const std::string& name) {
  auto impl = std::make_unique<Image::Impl>();
  impl->name = name;
  impl->payload = std::move(payload);
  return ImageAccess::Described(std::move(impl));
}

Image Image::Open(const std::string& path) {
  auto impl = std::make_unique<Impl>();
  impl->name = path;
  impl->payload = Translated(path, [&] { return reader::LoadPayloadImage(path); });
  return ImageAccess::Described(std::move(impl));
}

Image Image::OpenMemory(std::vector<std::uint8_t> bytes, const std::string& name) {
  auto impl = std::make_unique<Impl>();
  impl->name = name;
  impl->memory = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
  impl->payload = Translated(name, [&] {
    reader::ImageFile file;
    file.OpenMemory(impl->memory);
    return reader::LoadPayloadImage(file, name);
  });
  return ImageAccess::Described(std::move(impl));
}

const std::string& Image::name() const { return impl_->name; }
std::uint64_t Image::fileSize() const { return impl_->payload.fileSize; }
std::string Image::title() const { return impl_->payload.Title(); }
const std::string& Image::licence() const { return impl_->payload.licenseText; }
std::uint16_t Image::numberBase() const { return impl_->payload.numberBase; }
std::uint32_t Image::manifestOffset() const { return impl_->payload.walk.manifestOffset; }
std::optional<std::string> Image::publisher() const { return VersionText(impl_->payload, format::kCompanyName); }
std::optional<std::string> Image::version() const { return VersionText(impl_->payload, format::kProductVersion); }
std::optional<std::string> Image::url() const { return VersionText(impl_->payload, format::kUrl); }
std::optional<std::string> Image::copyright() const { return VersionText(impl_->payload, format::kLegalCopyright); }

VersionInfoState Image::versionInfoState() const {
  switch (impl_->payload.versionInfo.status) {
    case format::VersionInfoStatus::kAbsent: return VersionInfoState::kAbsent;
    case format::VersionInfoStatus::kDamaged: return VersionInfoState::kDamaged;
    case format::VersionInfoStatus::kRead: break;
  }
  return VersionInfoState::kRead;
}

InstallerProgram Image::installerProgram() const {
  return impl_->identity.rfind(kOurIdentityPrefix, 0) == 0 ? InstallerProgram::kOurs : InstallerProgram::kOther;
}
const std::string& Image::installerIdentity() const { return impl_->identity; }
const Signature& Image::signature() const { return impl_->signature; }
const std::vector<Entry>& Image::entries() const { return impl_->entries; }
bool Image::tableCutShort() const { return impl_->payload.tableCutShort; }
std::uint32_t Image::installTotal() const { return impl_->payload.InstallTotalBytes(); }

std::uint64_t Image::installTotalTrue() const {
  std::uint64_t total = 0;
  for (const Entry& entry : impl_->entries) total += entry.size;
  return total;
}

std::uint64_t Image::payloadEnd() const { return impl_->payload.PayloadEnd(); }

std::string Image::damage() const {
  for (const Entry& entry : impl_->entries)
    if (!entry.dataInsideImage)
      return "entry " + std::to_string(entry.position) + ": data lies beyond the end of the file";
  for (const Entry& entry : impl_->entries)
    if (entry.tooLarge)
      return "entry " + std::to_string(entry.position) + ": " + EntryStatusText(EntryStatus::kTooLarge);
  if (installTotalTrue() > 0xFFFFFFFFu) return "the install total passes 4 GiB, so the installer's 32-bit count wraps";
  if (tableCutShort()) return "the entry table runs past the end of the file";
  if (impl_->signature.state == SignatureState::kDamaged) return impl_->signature.damage;
  return std::string();
}

EntryResult Image::Decode(std::uint32_t position, const ByteSink& sink) const {
  EntryReader reader(*this);
  return reader.Decode(position, sink);
}

std::vector<std::uint8_t> Image::Read(std::uint32_t position, std::size_t limit, EntryResult* result) const {
  EntryReader reader(*this);
  return reader.Read(position, limit, result);
}

std::vector<std::pair<ProgramSignature, std::string>> Image::ProgramSignatures() const {
  std::vector<std::pair<ProgramSignature, std::string>> signatures(impl_->entries.size(),
                                                                   {ProgramSignature::kNotRead, std::string()});
  EntryReader reader(*this);
  DecodeOptions options;
  options.checkSignature = true;
  try {
    for (const Entry& entry : impl_->entries) {
      if (!entry.installed()) continue;
      const EntryResult result =
          reader.Decode(entry.position, [](const std::uint8_t*, std::size_t) { return true; }, options);
      signatures[entry.position] = {result.signature, result.signatureDamage};
    }
  } catch (const Error& error) {
    // Damage (the budget spent, the file cut short): the rest stay kNotRead.
    if (error.kind() == ErrorKind::kIo) throw;
  }
  return signatures;
}

}  // namespace saverkit
