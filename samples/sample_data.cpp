// Deterministic sample files (see sample_data.h).
#include "sample_data.h"

#include <cmath>
#include <cstring>
#include <string>

namespace samples {

namespace {

void Append(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void AppendText(std::vector<std::uint8_t>& out, const char* text) {
  out.insert(out.end(), text, text + std::strlen(text));
}

const char* const kImportNames[] = {
    "GetModuleFileNameA", "CreateFileA",       "ReadFile",        "WriteFile",
    "CloseHandle",        "GetWindowsDirectoryA", "LoadLibraryA", "GetProcAddress",
    "RegisterClassA",     "CreateWindowExA",   "DefWindowProcA",  "MessageBoxA",
    "GetMessageA",        "DispatchMessageA",  "BitBlt",          "SelectObject",
    "CreateCompatibleDC", "DeleteObject",      "SetTimer",        "KillTimer",
};

const char* const kWords[] = {
    "the",    "of",      "and",    "to",     "a",       "in",      "screen",  "saver",
    "is",     "that",    "for",    "it",     "as",      "with",    "was",     "on",
    "be",     "at",      "by",     "this",   "license", "you",     "from",    "or",
    "have",   "an",      "they",   "which",  "one",     "are",     "software", "were",
    "all",    "we",      "when",   "there",  "can",     "been",    "has",     "more",
    "will",   "if",      "no",     "out",    "so",      "said",    "what",    "up",
    "its",    "about",   "into",   "than",   "them",    "only",    "other",   "new",
    "some",   "could",   "time",   "these",  "two",     "may",     "then",    "do",
    "first",  "any",     "my",     "now",    "such",    "like",    "our",     "over",
    "man",    "me",      "even",   "most",   "made",    "after",   "also",    "did",
    "many",   "before",  "must",   "through", "back",   "years",   "where",   "much",
    "your",   "way",     "well",   "down",   "should",  "because", "each",    "just",
    "agreement", "warranty", "installation", "windows", "directory", "display", "picture",
    "aquarium", "colour", "motion", "program", "user",  "copy",    "rights",  "reserved",
};

}  // namespace

std::vector<std::uint8_t> MakeExecutableLike(std::size_t size, std::uint32_t seed) {
  SampleRandom random(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size + 256);
  // Headers: mostly zeros with a few fields.
  AppendText(out, "MZ");
  Append(out, {0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF});
  out.resize(0x80, 0);
  AppendText(out, "PE");
  out.resize(0x400, 0);

  std::uint32_t address = 0x401000;
  while (out.size() < size) {
    const std::uint32_t section = random.Below(10);
    if (section < 7) {
      // One function: prologue, a body of common instructions, epilogue.
      Append(out, {0x55, 0x8B, 0xEC});
      if (random.Below(2)) Append(out, {0x83, 0xEC, static_cast<std::uint8_t>(4 * random.Below(16))});
      const unsigned body = 4 + random.Below(40);
      for (unsigned i = 0; i < body; ++i) {
        switch (random.Below(8)) {
          case 0:  // mov eax, [ebp+disp]
            Append(out, {0x8B, 0x45, static_cast<std::uint8_t>(8 + 4 * random.Below(6))});
            break;
          case 1:  // push imm / push reg
            if (random.Below(2))
              Append(out, {0x6A, static_cast<std::uint8_t>(random.Below(4))});
            else
              out.push_back(static_cast<std::uint8_t>(0x50 + random.Below(8)));
            break;
          case 2:  // call rel32 to one of a few targets
            out.push_back(0xE8);
            AppendLe32(out, static_cast<std::uint32_t>(-static_cast<std::int32_t>(
                                0x40 * (1 + random.Below(64)) + (out.size() & 0xF))));
            break;
          case 3:  // call [import]
            Append(out, {0xFF, 0x15});
            AppendLe32(out, 0x40A000 + 4 * random.Below(20));
            break;
          case 4:  // test / jz short
            Append(out, {0x85, 0xC0, 0x74, static_cast<std::uint8_t>(random.Below(64))});
            break;
          case 5:  // mov [ebp-disp], imm32
            Append(out, {0xC7, 0x45, static_cast<std::uint8_t>(0xFC - 4 * random.Below(8))});
            AppendLe32(out, random.Below(4) == 0 ? random.Next() : random.Below(256));
            break;
          case 6:  // add esp, n
            Append(out, {0x83, 0xC4, static_cast<std::uint8_t>(4 * (1 + random.Below(4)))});
            break;
          default:  // xor eax, eax / mov ecx, eax
            Append(out, {0x33, 0xC0, 0x8B, 0xC8});
            break;
        }
      }
      Append(out, {0x8B, 0xE5, 0x5D, 0xC3});
      while (out.size() % 16) out.push_back(0xCC);
    } else if (section == 7) {
      // Import names with hints.
      for (unsigned i = 0; i < 8; ++i) {
        out.push_back(static_cast<std::uint8_t>(random.Below(256)));
        out.push_back(0);
        AppendText(out, kImportNames[random.Below(20)]);
        out.push_back(0);
        if (out.size() & 1) out.push_back(0);
      }
    } else if (section == 8) {
      // A relocation block: page, size, then ascending 12-bit offsets.
      AppendLe32(out, address);
      AppendLe32(out, 8 + 2 * 32);
      std::uint16_t at = 0;
      for (unsigned i = 0; i < 32; ++i) {
        at = static_cast<std::uint16_t>(at + 2 + random.Below(60));
        const std::uint16_t entry = static_cast<std::uint16_t>(0x3000 | (at & 0x0FFF));
        Append(out, {static_cast<std::uint8_t>(entry), static_cast<std::uint8_t>(entry >> 8)});
      }
      address += 0x1000;
    } else {
      // Zero padding up to an alignment, then a UTF-16 resource string.
      out.resize(out.size() + 16 * random.Below(24), 0);
      const char* word = kWords[random.Below(sizeof kWords / sizeof kWords[0])];
      for (const char* p = word; *p; ++p) Append(out, {static_cast<std::uint8_t>(*p), 0});
    }
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> MakeTextLike(std::size_t size, std::uint32_t seed) {
  SampleRandom random(seed);
  constexpr unsigned kWordCount = sizeof kWords / sizeof kWords[0];
  std::vector<std::uint8_t> out;
  out.reserve(size + 64);
  bool sentenceStart = true;
  unsigned column = 0;
  while (out.size() < size) {
    // Skewed choice: the product of two uniform draws favours low indices.
    const unsigned index = (random.Below(kWordCount) * random.Below(kWordCount)) / kWordCount;
    std::string word = kWords[index];
    if (sentenceStart) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    sentenceStart = false;
    AppendText(out, word.c_str());
    column += static_cast<unsigned>(word.size());
    const unsigned mark = random.Below(20);
    if (mark == 0) {
      out.push_back('.');
      sentenceStart = true;
      if (random.Below(6) == 0) {
        AppendText(out, "\r\n\r\n");
        column = 0;
        continue;
      }
    } else if (mark == 1) {
      out.push_back(',');
    }
    if (column > 68) {
      AppendText(out, "\r\n");
      column = 0;
    } else {
      out.push_back(' ');
      ++column;
    }
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> MakeWaveLike(std::size_t size, std::uint32_t seed) {
  SampleRandom random(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size + 8);
  const std::uint32_t dataBytes = size > 44 ? static_cast<std::uint32_t>(size - 44) : 0;
  AppendText(out, "RIFF");
  AppendLe32(out, dataBytes + 36);
  AppendText(out, "WAVEfmt ");
  AppendLe32(out, 16);
  Append(out, {1, 0, 2, 0});  // PCM, stereo
  AppendLe32(out, 22050);
  AppendLe32(out, 22050 * 4);
  Append(out, {4, 0, 16, 0});
  AppendText(out, "data");
  AppendLe32(out, dataBytes);
  double phase1 = 0, phase2 = 0;
  double step1 = 0.031, step2 = 0.0077;
  std::uint32_t n = 0;
  while (out.size() < size) {
    if (n++ % 4096 == 0) {  // a new note now and then
      step1 = 0.01 + random.Below(1000) / 20000.0;
      step2 = 0.002 + random.Below(1000) / 80000.0;
    }
    phase1 += step1;
    phase2 += step2;
    const double value = 6000.0 * std::sin(phase1) + 3000.0 * std::sin(phase2) +
                         static_cast<double>(random.Below(64)) - 32.0;
    const std::int16_t left = static_cast<std::int16_t>(value);
    const std::int16_t right = static_cast<std::int16_t>(value * 0.8);
    Append(out, {static_cast<std::uint8_t>(left), static_cast<std::uint8_t>(left >> 8),
                 static_cast<std::uint8_t>(right), static_cast<std::uint8_t>(right >> 8)});
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> MakeMixedSample(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> out = MakeExecutableLike(size / 3, seed);
  const std::vector<std::uint8_t> text = MakeTextLike(size / 3, seed + 1);
  out.insert(out.end(), text.begin(), text.end());
  const std::vector<std::uint8_t> wave = MakeWaveLike(size - out.size(), seed + 2);
  out.insert(out.end(), wave.begin(), wave.end());
  return out;
}

}  // namespace samples
