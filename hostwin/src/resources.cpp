// Parsing a compiled resource file and its classic dialog templates; every
// read is checked against the end of the data.
#include "hostwin/resources.h"

namespace hostwin {

namespace {

class Reader {
 public:
  Reader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  bool U16(std::uint16_t* v) {
    if (size_ - at_ < 2) return false;
    *v = static_cast<std::uint16_t>(data_[at_] | (data_[at_ + 1] << 8));
    at_ += 2;
    return true;
  }
  bool U32(std::uint32_t* v) {
    std::uint16_t lo, hi;
    if (size_ - at_ < 4 || !U16(&lo) || !U16(&hi)) return false;
    *v = lo | (static_cast<std::uint32_t>(hi) << 16);
    return true;
  }
  bool I16(std::int16_t* v) {
    std::uint16_t u;
    if (!U16(&u)) return false;
    *v = static_cast<std::int16_t>(u);
    return true;
  }
  // NUL-terminated UTF-16, narrowed: code units above 0xFF become '?'.
  bool Text(std::string* out) {
    out->clear();
    for (;;) {
      std::uint16_t c;
      if (!U16(&c)) return false;
      if (c == 0) return true;
      *out += c <= 0xFF ? static_cast<char>(c) : '?';
    }
  }
  // 0x0000: none; 0xFFFF + ordinal; otherwise a UTF-16 text.
  bool NameOrOrdinal(ResourceName* name) {
    std::uint16_t first;
    std::size_t start = at_;
    if (!U16(&first)) return false;
    if (first == 0xFFFF) {
      name->numeric = true;
      return U16(&name->number);
    }
    at_ = start;
    name->numeric = false;
    return Text(&name->text);
  }
  bool Align4(std::size_t base = 0) {
    std::size_t aligned = ((at_ - base + 3) & ~std::size_t{3}) + base;
    if (aligned > size_) return false;
    at_ = aligned;
    return true;
  }
  bool Skip(std::size_t n) {
    if (size_ - at_ < n) return false;
    at_ += n;
    return true;
  }
  std::size_t Offset() const { return at_; }
  void Seek(std::size_t at) { at_ = at; }
  std::size_t Remaining() const { return size_ - at_; }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::string Described(const ResourceName& name) {
  return name.numeric ? (name.number ? "#" + std::to_string(name.number) : "") : name.text;
}

}  // namespace

bool ParseResources(const unsigned char* bytes, std::size_t size, std::vector<Resource>* out, std::string* error) {
  out->clear();
  Reader r(bytes, size);
  while (r.Remaining() > 0) {
    const std::size_t start = r.Offset();
    std::uint32_t dataSize, headerSize;
    Resource res;
    std::uint32_t dataVersion, version, characteristics;
    std::uint16_t memoryFlags;
    if (!r.U32(&dataSize) || !r.U32(&headerSize) || headerSize < 16 || headerSize > r.Remaining() + 8 ||
        !r.NameOrOrdinal(&res.type) || !r.NameOrOrdinal(&res.name) || !r.Align4(start) || !r.U32(&dataVersion) ||
        !r.U16(&memoryFlags) || !r.U16(&res.language) || !r.U32(&version) || !r.U32(&characteristics)) {
      if (error) *error = "resource header at offset " + std::to_string(start) + " is cut short or malformed";
      return false;
    }
    r.Seek(start + headerSize);
    if (dataSize > r.Remaining()) {
      if (error) *error = "resource data at offset " + std::to_string(r.Offset()) + " runs past the end";
      return false;
    }
    res.data = bytes + r.Offset();
    res.size = dataSize;
    r.Skip(dataSize);
    if (r.Remaining() > 0 && !r.Align4()) r.Seek(size);
    if (!(res.type.numeric && res.type.number == 0)) out->push_back(res);
  }
  return true;
}

const Resource* FindResource(const std::vector<Resource>& resources, std::uint16_t type, std::uint16_t id) {
  const Resource* found = nullptr;
  for (const Resource& r : resources) {
    if (r.type.numeric && r.type.number == type && r.name.numeric && r.name.number == id) {
      if (r.language == 1033) return &r;  // English (United States) first, as the program asks for none
      if (!found) found = &r;
    }
  }
  return found;
}

bool ParseDialogTemplate(const unsigned char* data, std::size_t size, DialogTemplate* out, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  *out = DialogTemplate();
  Reader reader(data, size);
  std::uint16_t first, second;
  if (size >= 4 && (reader.U16(&first), reader.U16(&second), first == 1 && second == 0xFFFF))
    return fail("extended dialog template (DIALOGEX) is not supported");
  reader.Seek(0);
  std::uint16_t count;
  ResourceName menu, windowClass;
  if (!reader.U32(&out->style) || !reader.U32(&out->exStyle) || !reader.U16(&count) || !reader.I16(&out->x) ||
      !reader.I16(&out->y) || !reader.I16(&out->cx) || !reader.I16(&out->cy) || !reader.NameOrOrdinal(&menu) ||
      !reader.NameOrOrdinal(&windowClass) || !reader.Text(&out->caption))
    return fail("dialog template header is cut short");
  out->menu = Described(menu);
  out->windowClass = Described(windowClass);
  if (out->style & 0x40 /* DS_SETFONT */) {
    if (!reader.U16(&out->pointSize) || !reader.Text(&out->font)) return fail("dialog template font is cut short");
  }
  static const char* const kAtoms[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
  for (std::uint16_t i = 0; i < count; ++i) {
    DialogItemTemplate item;
    std::uint16_t id;
    ResourceName cls, title;
    std::uint16_t extra;
    if (!reader.Align4() || !reader.U32(&item.style) || !reader.U32(&item.exStyle) || !reader.I16(&item.x) ||
        !reader.I16(&item.y) || !reader.I16(&item.cx) || !reader.I16(&item.cy) || !reader.U16(&id) ||
        !reader.NameOrOrdinal(&cls) || !reader.NameOrOrdinal(&title) || !reader.U16(&extra) || !reader.Skip(extra))
      return fail("dialog item " + std::to_string(i + 1) + " is cut short");
    item.id = static_cast<std::int16_t>(id);
    if (cls.numeric) {
      item.className = cls.number >= 0x80 && cls.number <= 0x85 ? kAtoms[cls.number - 0x80]
                                                                 : "#" + std::to_string(cls.number);
    } else {
      item.className = cls.text;
    }
    item.text = title.numeric ? "#" + std::to_string(title.number) : title.text;
    item.extraBytes = extra;
    out->items.push_back(item);
  }
  return true;
}

}  // namespace hostwin
