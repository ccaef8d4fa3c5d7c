// The decoder's buffered byte streams over C runtime file streams, and the
// entry decoder as the installer calls it.
//
// ReadPtr hands out an entry's stored bytes from a 16,384-byte buffer that it
// refills with one fread of min(remaining, 16384) bytes, so it never reads
// past the entry. WritePtr gathers decoded bytes and writes them in blocks of
// 16,384 and one block with the rest, each as soon as the byte that completes
// it arrives, so no flush call is needed; bytes beyond the entry's total never
// reach the file. Both streams are process-wide and serve one entry at a time;
// the caller resets both before each entry and opens, positions and closes
// the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace installer {

constexpr unsigned kStreamBlockSize = 16384;

// The next stored byte (0-255). `remaining` is the number of the entry's
// stored bytes still to be fetched, this one included. ReadPtr(nullptr, 0)
// resets the stream and gives 0.
int ReadPtr(std::FILE* stream, std::uint32_t remaining);

// Takes one decoded byte of an entry of `total` bytes (the same total on
// every call for one entry). WritePtr(nullptr, 0, 0) resets the stream.
// A write that comes up short ends the process through FatalError.
int WritePtr(std::FILE* stream, int byte, std::uint32_t total);

// WritePtr for `count` bytes at once, with the same blocks and effect.
void WriteBlock(std::FILE* stream, const std::uint8_t* bytes, std::size_t count, std::uint32_t total);

// Shows `message` to the user and ends the process with exit status 1.
[[noreturn]] void FatalError(const char* message);

// Decodes one entry from `input` (positioned at its first stored byte) into
// `output`, through ReadPtr and WritePtr. Returns the bytes produced, up to
// 29 more than expandedSize when a final match runs past it; the file gets
// exactly expandedSize bytes. The decoder's state is process-wide.
std::int64_t DecodeEntry(std::FILE* input, std::FILE* output, std::uint32_t expandedSize,
                         std::uint32_t storedSize);

}  // namespace installer
