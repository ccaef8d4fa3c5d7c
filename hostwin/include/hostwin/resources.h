// A program's compiled resources (the .res file windres writes with -O res)
// and the classic dialog templates in them, as the stand-in reads them to
// build dialogs. Public so that tests can check a program's templates.
//
// .res layout: a sequence of entries, each DWORD-aligned: DataSize (u32),
// HeaderSize (u32), TYPE and NAME (each either 0xFFFF + u16 ordinal, or a
// NUL-terminated UTF-16 name), padding to a DWORD, DataVersion (u32),
// MemoryFlags (u16), LanguageId (u16), Version (u32), Characteristics (u32),
// then DataSize bytes of data. The first entry is an empty one (type 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostwin {

struct ResourceName {
  bool numeric = true;
  std::uint16_t number = 0;
  std::string text;  // a named resource's name (UTF-16 narrowed, '?' beyond 0xFF)
};

struct Resource {
  ResourceName type;
  ResourceName name;
  std::uint16_t language = 0;
  const unsigned char* data = nullptr;  // inside the bytes given to ParseResources
  std::size_t size = 0;
};

// The entries of a .res file; false (with what is wrong) when it is not one.
bool ParseResources(const unsigned char* bytes, std::size_t size, std::vector<Resource>* out, std::string* error);

// The resource of numeric `type` whose name is the ordinal `id`, or nullptr.
const Resource* FindResource(const std::vector<Resource>& resources, std::uint16_t type, std::uint16_t id);

// A classic dialog template (DLGTEMPLATE and its DLGITEMTEMPLATEs).
struct DialogItemTemplate {
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;             // the 16-bit id read as signed: 0xFFFF is -1
  std::string className;  // BUTTON, EDIT, STATIC, LISTBOX, SCROLLBAR, COMBOBOX, or the name given
  std::string text;       // "#N" when the title is an ordinal
  std::size_t extraBytes = 0;
};

struct DialogTemplate {
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::string menu;         // "" none, "#N" an ordinal
  std::string windowClass;  // "" the dialog class
  std::string caption;
  std::uint16_t pointSize = 0;  // with DS_SETFONT
  std::string font;
  std::vector<DialogItemTemplate> items;
};

// False (with what is wrong) for cut or malformed data, and for the
// extended (DLGTEMPLATEEX) format, which the stand-in does not build.
bool ParseDialogTemplate(const unsigned char* data, std::size_t size, DialogTemplate* out, std::string* error);

}  // namespace hostwin
