// Where the fields of a PE32 image lie: the MS-DOS header's e_lfanew, the
// COFF file header, the PE32 optional header with its data directories,
// the section headers and the resource directory tables. Offsets are in
// bytes from the start of the structure they belong to (named below), all
// fields little-endian; sizes are in bytes. The installer's walk, the
// header fields a finished image may change, the packer's stub reader and
// assembly, the image writer and the checksum all take them from here.
//
// Plain constants and two byte checks only: the installer compiles this
// too, and it carries no Win32 header.
#pragma once

#include <cstdint>

namespace format::pe_layout {

// MS-DOS header, from the file's first byte: "MZ", then at 0x3C the u32
// file offset of the PE signature (e_lfanew).
constexpr std::uint32_t kDosHeaderSize = 64;
constexpr std::uint32_t kLfanewOffset = 0x3C;

// The PE signature "PE\0\0" at e_lfanew, then the COFF file header, then
// the optional header, then the section table.
constexpr std::uint32_t kSignatureSize = 4;
constexpr std::uint32_t kFileHeaderSize = 20;
// The PE32 optional header with 16 data directories. The installer skips
// signature, file header and optional header as one block of 248 bytes, so
// every image it reads has exactly this one.
constexpr std::uint32_t kOptionalHeaderSize = 224;
constexpr std::uint32_t kFileHeaderFromSignature = kSignatureSize;
constexpr std::uint32_t kOptionalHeaderFromSignature = kSignatureSize + kFileHeaderSize;
constexpr std::uint32_t kSectionTableFromSignature =
    kOptionalHeaderFromSignature + kOptionalHeaderSize;

// COFF file header fields.
constexpr std::uint32_t kMachine = 0;                // u16
constexpr std::uint32_t kNumberOfSections = 2;       // u16
constexpr std::uint32_t kTimeDateStamp = 4;          // u32, seconds since 1970
constexpr std::uint32_t kPointerToSymbolTable = 8;   // u32, file offset
constexpr std::uint32_t kNumberOfSymbols = 12;       // u32, 18 bytes a symbol
constexpr std::uint32_t kSizeOfOptionalHeader = 16;  // u16
constexpr std::uint32_t kCharacteristics = 18;       // u16
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint32_t kSymbolSize = 18;

// PE32 optional header fields.
constexpr std::uint32_t kMagic = 0;                         // u16
constexpr std::uint32_t kAddressOfEntryPoint = 16;          // u32, RVA
constexpr std::uint32_t kImageBase = 28;                    // u32
constexpr std::uint32_t kSectionAlignment = 32;             // u32
constexpr std::uint32_t kFileAlignment = 36;                // u32
constexpr std::uint32_t kMajorOperatingSystemVersion = 40;  // u16
constexpr std::uint32_t kMajorSubsystemVersion = 48;        // u16
constexpr std::uint32_t kSizeOfImage = 56;                  // u32
constexpr std::uint32_t kSizeOfHeaders = 60;                // u32
constexpr std::uint32_t kCheckSum = 64;                     // u32
constexpr std::uint32_t kSubsystem = 68;                    // u16
constexpr std::uint32_t kSizeOfStackReserve = 72;           // u32
constexpr std::uint32_t kSizeOfStackCommit = 76;            // u32
constexpr std::uint32_t kSizeOfHeapReserve = 80;            // u32
constexpr std::uint32_t kSizeOfHeapCommit = 84;             // u32
constexpr std::uint32_t kNumberOfRvaAndSizes = 92;          // u32
constexpr std::uint32_t kDataDirectories = 96;              // 16 entries follow
constexpr std::uint16_t kPe32Magic = 0x010B;

// A data directory entry: u32 RVA (for the certificate table, a file
// offset), then u32 size.
constexpr std::uint32_t kDataDirectoryEntrySize = 8;
constexpr std::uint32_t kDataDirectoryCount = 16;
enum DataDirectory : std::uint32_t {
  kResourceDirectory = 2,
  kSecurityDirectory = 4,  // the certificate table: a file offset, not an RVA
  kBaseRelocationDirectory = 5,
};
// The optional header offset of data directory `index`'s entry.
constexpr std::uint32_t DataDirectoryOffset(std::uint32_t index) {
  return kDataDirectories + kDataDirectoryEntrySize * index;
}

// Section header fields (one 40-byte header a section).
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kSectionName = 0;  // 8 bytes, NUL-padded, not always terminated
constexpr std::uint32_t kSectionNameSize = 8;
constexpr std::uint32_t kVirtualSize = 8;             // u32
constexpr std::uint32_t kVirtualAddress = 12;         // u32, RVA
constexpr std::uint32_t kSizeOfRawData = 16;          // u32
constexpr std::uint32_t kPointerToRawData = 20;       // u32, file offset
constexpr std::uint32_t kSectionCharacteristics = 36;  // u32
// IMAGE_SCN_MEM_DISCARDABLE: the loader may drop the section after loading
// (relocations, debug information).
constexpr std::uint32_t kSectionDiscardable = 0x02000000;

// Resource directory tables: a 16-byte header whose u16 at 12 counts the
// named entries and u16 at 14 the numbered ones, then 8-byte entries (u32
// name or id, u32 offset); 16-byte data entries (u32 RVA, u32 size, u32
// code page, u32 reserved). Offsets are from the resource section's start.
constexpr std::uint32_t kResourceDirectoryHeaderSize = 16;
constexpr std::uint32_t kNamedEntryCount = 12;
constexpr std::uint32_t kIdEntryCount = 14;
constexpr std::uint32_t kResourceEntrySize = 8;
constexpr std::uint32_t kResourceDataEntrySize = 16;
// In an entry's offset: it names a subdirectory, not a data entry.
constexpr std::uint32_t kResourceSubdirectory = 0x80000000u;
// In an entry's name: it is the offset of a name string, not an id.
constexpr std::uint32_t kResourceNameIsString = 0x80000000u;

// The signatures: "MZ" at the file's first byte, "PE\0\0" at e_lfanew.
constexpr bool IsMzSignature(const std::uint8_t* dosHeader) {
  return dosHeader[0] == 'M' && dosHeader[1] == 'Z';
}
constexpr bool IsPeSignature(const std::uint8_t* signature) {
  return signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 && signature[3] == 0;
}

}  // namespace format::pe_layout
