// The Python module `saverkit` over libsaverkit: open an image, read its
// texts and entries, decode an entry, identify a file. One translation unit
// (pybind11 compiles slowly). Texts from the image are Windows-1252 and are
// returned as str; damage raises saverkit.ImageError (a ValueError), a file
// that cannot be read OSError with its errno.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>

#include "saverkit/identify.h"
#include "saverkit/image.h"
#include "saverkit/text.h"

namespace py = pybind11;

namespace {

// The module's ImageError, made once at import.
PyObject* imageErrorType = nullptr;

py::str Text(const std::string& windows1252) { return py::str(saverkit::Windows1252ToUtf8(windows1252)); }

py::object OptionalText(const std::optional<std::string>& text) {
  if (!text) return py::none();
  return Text(*text);
}

// Sets ImageError(message) with `partial` (bytes decoded before the
// damaged spot) as an attribute.
void SetImageError(const std::string& message, const py::bytes& partial) {
  py::object error = py::reinterpret_borrow<py::object>(imageErrorType)(message);
  error.attr("partial") = partial;
  PyErr_SetObject(imageErrorType, error.ptr());
}

[[noreturn]] void RaiseImageError(const std::string& message, const py::bytes& partial) {
  SetImageError(message, partial);
  throw py::error_already_set();
}

// A str or os.PathLike argument as a path.
std::string PathOf(const py::object& path) {
  return py::str(py::module_::import("os").attr("fspath")(path)).cast<std::string>();
}

void TranslateError(const saverkit::Error& error) {
  const std::string message = error.file().empty() ? error.what() : error.file() + ": " + error.what();
  switch (error.kind()) {
    case saverkit::ErrorKind::kIo: {
      // OSError(errno, text, filename) picks its subclass by errno
      // (FileNotFoundError, IsADirectoryError, ...).
      py::object os = py::reinterpret_borrow<py::object>(PyExc_OSError)(error.systemError(), error.what(),
                                                                           error.file());
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(os.ptr())), os.ptr());
      return;
    }
    case saverkit::ErrorKind::kBadArgument: PyErr_SetString(PyExc_ValueError, message.c_str()); return;
    case saverkit::ErrorKind::kDamaged: break;
  }
  SetImageError(message, py::bytes());
}

// An opened image, and one EntryReader kept for reading entries in table
// order: each read decodes only the compressed entries between the last
// one read and this one (see saverkit::EntryReader).
class PyImage {
 public:
  explicit PyImage(saverkit::Image image) : image_(std::move(image)) {}

  const saverkit::Image& image() const { return image_; }

  py::bytes Read(std::uint32_t position) {
    const saverkit::Entry& entry = image_.entries().at(position);
    if (!entry.installed())
      RaiseImageError(image_.name() + ": entry " + std::to_string(position) + ": " + saverkit::RefusalText(entry.refusal),
                      py::bytes());
    if (!reader_) reader_ = std::make_unique<saverkit::EntryReader>(image_);
    saverkit::EntryResult result;
    // Bounded by the entry's installed size; the decoder stops where the
    // stored bytes end, so a small entry declaring gigabytes costs its
    // stored bytes.
    const std::vector<std::uint8_t> bytes = reader_->Read(position, entry.size, &result);
    py::bytes out(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (result.status != saverkit::EntryStatus::kOk)
      RaiseImageError(image_.name() + ": entry " + std::to_string(position) + ": " +
                          saverkit::EntryStatusText(result.status),
                      out);
    return out;
  }

 private:
  saverkit::Image image_;
  std::unique_ptr<saverkit::EntryReader> reader_;
};

// One entry, holding its image alive.
struct PyEntry {
  std::shared_ptr<PyImage> image;
  std::uint32_t position;
  const saverkit::Entry& entry() const { return image->image().entries()[position]; }
};

py::object Identify(const py::object& pathArgument) {
  const std::string path = PathOf(pathArgument);
  const saverkit::Identification found = saverkit::Identify(path);
  if (found.kind == saverkit::FileKind::kNotInstaller) return py::none();
  py::dict result;
  result["path"] = path;
  result["kind"] = saverkit::FileKindName(found.kind);
  result["title"] = Text(found.title);
  result["entries"] = found.entries;
  result["install_total"] = found.installTotal;
  result["signed"] = found.isSigned;
  result["publisher"] = OptionalText(found.publisher);
  result["version"] = OptionalText(found.version);
  result["installer_program"] =
      found.installerProgram == saverkit::InstallerProgram::kOurs ? found.installerIdentity : std::string("other");
  result["damage"] = found.damage.empty() ? py::object(py::none()) : py::object(py::str(found.damage));
  return std::move(result);
}

}  // namespace

PYBIND11_MODULE(saverkit, m) {
  m.doc() = "Read, decode and identify screen saver installer images (libsaverkit).";
  imageErrorType = PyErr_NewExceptionWithDoc("saverkit.ImageError",
                                             "The image is damaged or hostile; `partial` holds the bytes decoded "
                                             "before the damaged spot, when an entry was being read.",
                                             PyExc_ValueError, nullptr);
  m.attr("ImageError") = py::reinterpret_borrow<py::object>(imageErrorType);
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const saverkit::Error& error) {
      TranslateError(error);
    }
  });

  py::class_<PyEntry>(m, "Entry", "One entry of an image's table.")
      .def_property_readonly("position", [](const PyEntry& e) { return e.position; })
      .def_property_readonly("path", [](const PyEntry& e) { return Text(e.entry().path); },
                             "Installed path relative to the Windows directory.")
      .def_property_readonly("role", [](const PyEntry& e) { return saverkit::RoleName(e.entry().role); },
                             "'saver', 'data', 'uninstaller' or 'media'.")
      .def_property_readonly("size", [](const PyEntry& e) { return e.entry().size; }, "Installed size in bytes.")
      .def_property_readonly("stored_size", [](const PyEntry& e) { return e.entry().storedSize; })
      .def_property_readonly("compressed", [](const PyEntry& e) { return e.entry().compressed; })
      .def_property_readonly("installed", [](const PyEntry& e) { return e.entry().installed(); },
                             "Whether the installer writes this entry.")
      .def("read", [](const PyEntry& e) { return e.image->Read(e.position); },
           "The entry's bytes as the installer writes them (earlier compressed entries are decoded first). "
           "Raises ImageError for a damaged entry, with the bytes before the damage as `partial`.")
      .def("__repr__", [](const PyEntry& e) {
        return "<saverkit.Entry " + std::to_string(e.position) + " " + saverkit::RoleName(e.entry().role) + ">";
      });

  py::class_<PyImage, std::shared_ptr<PyImage>>(m, "Image", "An opened installer image.")
      .def_property_readonly("name", [](const PyImage& i) { return i.image().name(); })
      .def_property_readonly("title", [](const PyImage& i) { return Text(i.image().title()); })
      .def_property_readonly("licence", [](const PyImage& i) {
        return i.image().licence().empty() ? py::object(py::none()) : py::object(Text(i.image().licence()));
      })
      .def_property_readonly("publisher", [](const PyImage& i) { return OptionalText(i.image().publisher()); })
      .def_property_readonly("version", [](const PyImage& i) { return OptionalText(i.image().version()); })
      .def_property_readonly("signed", [](const PyImage& i) {
        return i.image().signature().state == saverkit::SignatureState::kSigned;
      })
      .def_property_readonly("installer_program", [](const PyImage& i) {
        return i.image().installerProgram() == saverkit::InstallerProgram::kOurs ? i.image().installerIdentity()
                                                                                 : std::string("other");
      })
      .def_property_readonly("entries", [](const std::shared_ptr<PyImage>& i) {
        py::list entries;
        for (std::uint32_t k = 0; k < i->image().entries().size(); ++k) entries.append(PyEntry{i, k});
        return entries;
      });

  m.def("open", [](const py::object& path) { return std::make_shared<PyImage>(saverkit::Image::Open(PathOf(path))); },
        py::arg("path"), "Opens the installer image at `path`.");
  m.def("identify", &Identify, py::arg("path"),
        "A dict describing the installer at `path` (kind 'installer' or 'damaged'), or None for a file that is "
        "not an installer.");
}
