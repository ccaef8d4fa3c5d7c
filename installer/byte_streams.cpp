// The decoder's buffered byte streams and the installer's DecodeEntry.
#include "installer/byte_streams.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "core/codec/decoder_core.h"
#include "core/format/exit_codes.h"
#include "installer/installer_state.h"
#include "installer/prompts.h"
#include "installer/run_log.h"

namespace installer {

using codec::DecoderState;

namespace {

// Input side: bytes fetched from the image and not yet handed out.
std::uint8_t InputBuffer[kStreamBlockSize];
std::int16_t InputAvailable;  // -1 after a read that delivered nothing
std::int16_t InputPosition;   // next byte to hand out

// Output side.
std::uint8_t OutputBuffer[kStreamBlockSize];
std::int16_t OutputCount;     // bytes held, 0-16384
std::int16_t FlushThreshold;  // held bytes at which the block is written
std::uint16_t ThresholdValid;  // 0: work the threshold out at the next byte
std::uint32_t BytesFlushed;   // bytes of the current entry written so far

// The model and ring of the decoder; positions 4066-4095 of the ring carry
// over from one entry to the next.
DecoderState Decoder;

constexpr char kWriteError[] = "Write error in function WritePtr()";

struct StreamSource {
  std::FILE* stream;
  std::uint8_t Fetch(std::uint32_t remaining) {
    return static_cast<std::uint8_t>(ReadPtr(stream, remaining));
  }
};

struct StreamSink {
  std::FILE* stream;
  std::uint32_t total;
  void Write(const std::uint8_t* bytes, std::size_t count) { WriteBlock(stream, bytes, count, total); }
};

}  // namespace

int ReadPtr(std::FILE* stream, std::uint32_t remaining) {
  if (stream == nullptr) {
    std::memset(InputBuffer, 0, sizeof InputBuffer);
    InputAvailable = 0;
    InputPosition = 0;
    return 0;
  }
  if (InputAvailable < 1) {
    const std::size_t wanted = remaining < kStreamBlockSize ? remaining : kStreamBlockSize;
    // A short read is not an error here: the bytes delivered are handed out
    // and the stream is asked again after them. Nothing delivered leaves -1
    // after handing out InputBuffer[0].
    InputAvailable = static_cast<std::int16_t>(std::fread(InputBuffer, 1, wanted, stream));
    InputPosition = 0;
  }
  const int byte = InputBuffer[InputPosition];
  ++InputPosition;
  --InputAvailable;
  return byte;
}

int WritePtr(std::FILE* stream, int byte, std::uint32_t total) {
  if (stream == nullptr) {
    ThresholdValid = 0;
    std::memset(OutputBuffer, 0, sizeof OutputBuffer);
    OutputCount = 0;
    FlushThreshold = 0;
    BytesFlushed = 0;
    return 0;
  }
  const std::uint8_t one = static_cast<std::uint8_t>(byte);
  WriteBlock(stream, &one, 1, total);
  return 0;
}

void WriteBlock(std::FILE* stream, const std::uint8_t* bytes, std::size_t count, std::uint32_t total) {
  while (count > 0) {
    if (ThresholdValid == 0) {
      // Once the whole entry is in the file, anything more is the surplus of
      // a final match: it never reaches the file, whatever the entry's size.
      if (BytesFlushed >= total) return;
      const std::uint32_t left = total - BytesFlushed;
      FlushThreshold = static_cast<std::int16_t>(left < kStreamBlockSize ? left : kStreamBlockSize);
      ThresholdValid = 1;
    }
    // FlushThreshold > OutputCount here: a full block is written at once.
    const std::size_t room = static_cast<std::size_t>(FlushThreshold - OutputCount);
    const std::size_t taken = count < room ? count : room;
    std::memcpy(OutputBuffer + OutputCount, bytes, taken);
    OutputCount = static_cast<std::int16_t>(OutputCount + static_cast<std::int16_t>(taken));
    bytes += taken;
    count -= taken;
    if (OutputCount >= FlushThreshold) {
      const std::size_t block = static_cast<std::uint16_t>(OutputCount);
      if (std::fwrite(OutputBuffer, 1, block, stream) < block) FatalError(kWriteError);
      BytesFlushed += static_cast<std::uint32_t>(block);
      OutputCount = 0;
      ThresholdValid = 0;
    }
  }
}

void FatalError(const char* message) {
  const DWORD error = GetLastError();
  Tell(message, nullptr, MB_OK | MB_ICONHAND);  // not shown under /S
  LogFailure("to decode", message, error);
  // Files already not written whole outrank the short write.
  const int code = Extracted.failedFileCount > 0 ? format::kExitFilesFailed : format::kExitShortWrite;
  CloseRunLog(code);
  // The C runtime's ordinary exit: pending stream data is flushed and the
  // installation goes no further.
  std::exit(code);
}

std::int64_t DecodeEntry(std::FILE* input, std::FILE* output, std::uint32_t expandedSize,
                         std::uint32_t storedSize) {
  StreamSource source{input};
  StreamSink sink{output, expandedSize};
  return DecodeEntryWith(Decoder, source, sink, expandedSize, storedSize).produced;
}

}  // namespace installer
