// The tool's internal failures (errors::Failure and its kinds) told as the
// library's one public Error: no internal type crosses the API.
#pragma once

#include <string>
#include <utility>

#include "saverkit/error.h"

namespace saverkit {

// Runs `call`; an errors::Failure or std::bad_alloc it throws leaves as
// saverkit::Error, naming `file` when the failure names none.
[[noreturn]] void RethrowAsError(const std::string& file);

template <class Call>
auto Translated(const std::string& file, Call&& call) -> decltype(call()) {
  try {
    return std::forward<Call>(call)();
  } catch (const Error&) {
    throw;
  } catch (...) {
    RethrowAsError(file);
  }
}

}  // namespace saverkit
