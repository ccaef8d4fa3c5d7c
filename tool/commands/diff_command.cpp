// saverkit diff: what changed between two installer images. The title, the
// licence text, the publisher and version, the signature, and each entry by
// its installed path (compared as Windows compares names): added, removed,
// changed (expanded size, SHA-256 of the bytes the installer writes, stored
// size, method, the name's spelling) or the same. The exit status follows
// diff and cmp: 0 the payloads (title, licence, entries) are the same, 1
// they differ, 2 trouble (an image that cannot be read or is damaged, bad
// arguments). Publisher, version and signature are shown but leave the
// status alone: re-signing or re-labelling an image does not change what it
// installs.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "saverkit/image.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/json_text.h"
#include "tool/commands/extract_names.h"
#include "tool/commands/sha256.h"
#include "tool/commands/side_by_side.h"
#include "tool/commands/text_output.h"

namespace commands {

using saverkit::Entry;
using saverkit::EntryResult;
using saverkit::EntryStatus;
using saverkit::Image;

namespace {

// diff's status for an image it cannot compare (kExitUsageError's value:
// cmp and diff say 2 for trouble of any kind).
constexpr int kDiffTrouble = kExitUsageError;
constexpr int kDiffDiffer = 1;

struct DiffOptions {
  std::string a;
  std::string b;
  bool json = false;
};

// What the installer leaves at one installed path.
struct PathFacts {
  const std::string* path;  // as the first entry of this path spells it (the image's own text)
  std::string folded;       // the path as Windows compares it
  std::uint32_t size = 0;
  std::uint32_t storedSize = 0;
  bool compressed = false;
  Sha256Digest sha256{};
};

struct Side {
  std::string file;
  std::unique_ptr<Image> image;
  // In order of first appearance; reserved for every entry up front, so
  // that the folded paths the index views never move.
  std::vector<PathFacts> paths;
  std::unordered_map<std::string_view, std::size_t> index;  // folded path -> paths
  std::vector<std::string> notes;
};

[[noreturn]] void Trouble(const std::string& file, const std::string& problem) {
  throw Failure{file, problem, kDiffTrouble};
}

// Opens one image and hashes every entry the installer writes, in order
// through one reader (the ring carried over). Damage of any kind is
// trouble: an image that does not decode whole cannot be compared.
Side Load(const std::string& file) {
  Side side;
  side.file = file;
  try {
    side.image = std::make_unique<Image>(Image::Open(file));
    const Image& image = *side.image;
    if (!image.damage().empty()) Trouble(file, image.damage());
    saverkit::EntryReader reader(image);
    side.index.reserve(image.entries().size());
    side.paths.reserve(image.entries().size());
    for (const Entry& entry : image.entries()) {
      if (!entry.installed() || entry.path.empty()) {
        side.notes.push_back(file + ": entry " + std::to_string(entry.position) + " is not compared: " +
                             saverkit::RefusalText(entry.refusal));
        continue;
      }
      Sha256 digest;
      const EntryResult result = reader.Decode(entry.position, [&](const std::uint8_t* data, std::size_t size) {
        digest.Update(data, size);
        return true;
      });
      if (result.status != EntryStatus::kOk)
        Trouble(file, "entry " + std::to_string(entry.position) + ": " + saverkit::EntryStatusText(result.status));
      side.paths.push_back({&entry.path, FoldedName(entry.path), entry.size, entry.storedSize, entry.compressed,
                            digest.Finish()});
      const auto [known, added] = side.index.try_emplace(side.paths.back().folded, side.paths.size() - 1);
      if (!added) {
        // A later entry of the same path replaces the earlier's bytes, and
        // the file keeps the earlier spelling, as on Windows.
        PathFacts& facts = side.paths[known->second];
        const PathFacts& later = side.paths.back();
        facts.size = later.size;
        facts.storedSize = later.storedSize;
        facts.compressed = later.compressed;
        facts.sha256 = later.sha256;
        side.paths.pop_back();
      }
    }
  } catch (const saverkit::Error& error) {
    Trouble(error.file().empty() ? file : error.file(), error.what());
  }
  return side;
}

enum class Change { kSame, kChanged, kAdded, kRemoved };

const char* ChangeName(Change change) {
  switch (change) {
    case Change::kSame: return "same";
    case Change::kChanged: return "changed";
    case Change::kAdded: return "added";
    case Change::kRemoved: break;
  }
  return "removed";
}

struct EntryChange {
  Change change = Change::kSame;
  const PathFacts* a = nullptr;
  const PathFacts* b = nullptr;
  std::vector<std::string> details;  // for kChanged: "size 272 -> 300", ...
};

const char* Method(const PathFacts& facts) { return facts.compressed ? "compressed" : "stored"; }

EntryChange Compare(const PathFacts& a, const PathFacts& b) {
  EntryChange c;
  c.a = &a;
  c.b = &b;
  // The texts are made only for what differs: most entries of two
  // releases are the same.
  const auto note = [&](const char* what, const std::string& from, const std::string& to) {
    c.details.push_back(std::string(what) + " " + from + " -> " + to);
  };
  if (*a.path != *b.path) note("name", Printable(*a.path), Printable(*b.path));
  if (a.size != b.size) note("size", std::to_string(a.size), std::to_string(b.size));
  if (a.sha256 != b.sha256) note("sha256", HexOf(a.sha256), HexOf(b.sha256));
  if (a.storedSize != b.storedSize) note("stored size", std::to_string(a.storedSize), std::to_string(b.storedSize));
  if (a.compressed != b.compressed) note("method", Method(a), Method(b));
  c.change = c.details.empty() ? Change::kSame : Change::kChanged;
  return c;
}

// A's paths in A's order (same, changed, removed), then B's new ones.
// Two releases mostly list the same paths in the same order: a path found
// at its own place on the other side needs no lookup.
std::vector<EntryChange> CompareEntries(const Side& a, const Side& b) {
  const auto atSamePlace = [](const Side& other, std::size_t i, const PathFacts& facts) {
    return i < other.paths.size() && other.paths[i].folded == facts.folded;
  };
  std::vector<EntryChange> changes;
  changes.reserve(a.paths.size());
  for (std::size_t i = 0; i < a.paths.size(); ++i) {
    const PathFacts& facts = a.paths[i];
    if (atSamePlace(b, i, facts)) {
      changes.push_back(Compare(facts, b.paths[i]));
      continue;
    }
    const auto other = b.index.find(facts.folded);
    if (other != b.index.end()) {
      changes.push_back(Compare(facts, b.paths[other->second]));
    } else {
      changes.push_back({Change::kRemoved, &facts, nullptr, {}});
    }
  }
  for (std::size_t i = 0; i < b.paths.size(); ++i) {
    const PathFacts& facts = b.paths[i];
    if (!atSamePlace(a, i, facts) && a.index.count(facts.folded) == 0)
      changes.push_back({Change::kAdded, nullptr, &facts, {}});
  }
  return changes;
}

const char* SignatureWord(const Image& image) {
  switch (image.signature().state) {
    case saverkit::SignatureState::kUnsigned: return "unsigned";
    case saverkit::SignatureState::kSigned: return "signed";
    case saverkit::SignatureState::kDamaged: break;
  }
  return "damaged";
}

// One text field of both images (nullopt: absent).
struct Field {
  const char* name;
  std::optional<std::string> a;
  std::optional<std::string> b;
  bool payload;  // a difference makes the payloads differ
  bool quoted;   // a text from the image, shown in quotes
  bool changed() const { return a != b; }
};

std::vector<Field> Fields(const Image& a, const Image& b) {
  return {{"title", a.title(), b.title(), true, true},
          {"publisher", a.publisher(), b.publisher(), false, true},
          {"version", a.version(), b.version(), false, true},
          {"signature", std::string(SignatureWord(a)), std::string(SignatureWord(b)), false, false}};
}

std::string Shown(const std::optional<std::string>& text, bool quoted) {
  if (!text) return "-";
  return quoted ? "\"" + Printable(*text) + "\"" : Printable(*text);
}

void PrintText(const Side& a, const Side& b, const std::vector<Field>& fields, const std::vector<EntryChange>& changes,
               bool same) {
  for (const Field& field : fields) {
    if (field.changed())
      std::printf("%s: %s -> %s\n", field.name, Shown(field.a, field.quoted).c_str(),
                  Shown(field.b, field.quoted).c_str());
    else
      std::printf("%s: same (%s)\n", field.name, Shown(field.a, field.quoted).c_str());
  }
  const std::string& licenceA = a.image->licence();
  const std::string& licenceB = b.image->licence();
  if (licenceA != licenceB)
    std::printf("licence: changed (%s -> %s bytes)\n", Thousands(static_cast<std::uint32_t>(licenceA.size())).c_str(),
                Thousands(static_cast<std::uint32_t>(licenceB.size())).c_str());
  else
    std::printf("licence: same (%s bytes)\n", Thousands(static_cast<std::uint32_t>(licenceA.size())).c_str());
  std::size_t counts[4] = {};
  for (const EntryChange& c : changes) {
    ++counts[static_cast<int>(c.change)];
    const PathFacts& facts = c.a ? *c.a : *c.b;
    std::string line = std::string(ChangeName(c.change)) + ": " + Printable(*facts.path);
    if (c.change == Change::kAdded || c.change == Change::kRemoved)
      line += " (" + Thousands(facts.size) + " bytes, " + Method(facts) + ")";
    for (std::size_t i = 0; i < c.details.size(); ++i) line += (i == 0 ? ": " : ", ") + c.details[i];
    std::printf("%s\n", line.c_str());
  }
  for (const std::string& note : a.notes) std::printf("note: %s\n", note.c_str());
  for (const std::string& note : b.notes) std::printf("note: %s\n", note.c_str());
  std::printf("%s -> %s: the payloads %s: %zu same, %zu changed, %zu added, %zu removed\n", a.file.c_str(),
              b.file.c_str(), same ? "are the same" : "differ", counts[0], counts[1], counts[2], counts[3]);
}

// One side's facts of an entry, written by hand into `out`: a million
// entries through a JSON library's objects take seconds.
void AppendFactsJson(std::string& out, const PathFacts* facts) {
  if (!facts) {
    out += "null";
    return;
  }
  out += "{\"path\":";
  AppendJsonString(out, *facts->path);
  out += ",\"size\":";
  out += std::to_string(facts->size);
  out += ",\"sha256\":\"";
  out += HexOf(facts->sha256);
  out += "\",\"stored_size\":";
  out += std::to_string(facts->storedSize);
  out += ",\"method\":\"";
  out += Method(*facts);
  out += "\"}";
}

// One object, its entries written one at a time so that memory stays that
// of the two entry tables however many entries the images declare.
void PrintJson(const Side& a, const Side& b, const std::vector<Field>& fields, const std::vector<EntryChange>& changes,
               bool same) {
  nlohmann::ordered_json head{{"a", a.file}, {"b", b.file}, {"same", same}};
  const auto text = [](const std::optional<std::string>& value) {
    return value ? nlohmann::ordered_json(Windows1252ToUtf8(*value)) : nlohmann::ordered_json();
  };
  for (const Field& field : fields) {
    head[field.name] = {{"a", text(field.a)}, {"b", text(field.b)}, {"changed", field.changed()}};
    if (std::string(field.name) == "title") {
      head["licence"] = {{"a", Windows1252ToUtf8(a.image->licence())},
                         {"b", Windows1252ToUtf8(b.image->licence())},
                         {"changed", a.image->licence() != b.image->licence()}};
    }
  }
  nlohmann::ordered_json notes = nlohmann::ordered_json::array();
  for (const std::string& note : a.notes) notes.push_back(note);
  for (const std::string& note : b.notes) notes.push_back(note);
  head["notes"] = notes;
  std::string opening = JsonText(head);
  opening.pop_back();  // the closing brace: the entries follow
  std::fputs(opening.c_str(), stdout);
  std::fputs(",\"entries\":[", stdout);
  std::string item;  // one entry's text, its buffer reused
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const EntryChange& c = changes[i];
    item.assign(i == 0 ? "{\"path\":" : ",{\"path\":");
    AppendJsonString(item, *(c.a ? *c.a : *c.b).path);
    item += ",\"change\":\"";
    item += ChangeName(c.change);
    item += "\",\"a\":";
    AppendFactsJson(item, c.a);
    item += ",\"b\":";
    AppendFactsJson(item, c.b);
    item += '}';
    std::fwrite(item.data(), 1, item.size(), stdout);
  }
  std::fputs("]}\n", stdout);
}

int Diff(const DiffOptions& options) {
  // The two images are read and hashed at once: they share nothing, and
  // their decoding is most of diff's time.
  Side a;
  Side b;
  RunSideBySide([&] { a = Load(options.a); }, [&] { b = Load(options.b); });
  const std::vector<Field> fields = Fields(*a.image, *b.image);
  const std::vector<EntryChange> changes = CompareEntries(a, b);
  bool same = a.image->licence() == b.image->licence();
  for (const Field& field : fields) same = same && !(field.payload && field.changed());
  for (const EntryChange& c : changes) same = same && c.change == Change::kSame;
  if (options.json)
    PrintJson(a, b, fields, changes, same);
  else
    PrintText(a, b, fields, changes, same);
  return same ? kExitOk : kDiffDiffer;
}

// Any other failure (memory, say) is trouble too, never "they differ".
int RunDiff(const DiffOptions& options) {
  try {
    return Diff(options);
  } catch (const Failure&) {
    throw;
  } catch (const std::exception& e) {
    Trouble(options.a, e.what());
  }
}

}  // namespace

void AddDiffCommand(CLI::App& app, int& exitStatus) {
  CLI::App* diff = app.add_subcommand("diff", "Compare two installer images: metadata and each entry's bytes");
  auto options = std::make_shared<DiffOptions>();
  diff->add_option("A", options->a, "The first installer image")->required();
  diff->add_option("B", options->b, "The second installer image")->required();
  diff->add_flag("--json", options->json, "Print one JSON object for scripts");
  diff->footer(
      "Entries are matched by installed path, in any case as Windows matches names, and compared by\n"
      "expanded size, the SHA-256 of the bytes the installer writes (every entry decoded in order),\n"
      "stored size and method. Publisher, version and signature are shown; only the title, the\n"
      "licence and the entries decide whether the payloads are the same.\n"
      "Exit status, as diff and cmp have it (unlike list and test, where 1 means damage): 0 the\n"
      "payloads are the same, 1 they differ, 2 an image cannot be read or is damaged, or bad arguments.\n"
      "\nExamples:\n  saverkit diff NightSky-1.0.exe NightSky-1.1.exe\n"
      "  saverkit diff --json old.exe new.exe");
  diff->callback([options, &exitStatus] {
    exitStatus = RunCommandReportingFailures(options->a, [&] { return RunDiff(*options); });
  });
}

}  // namespace commands
