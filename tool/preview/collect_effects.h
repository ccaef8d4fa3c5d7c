// Gathering a run's effects from the stand-in (effects.cpp): the one place
// where effects meet the stand-in's types.
#pragma once

#include <string>

#include "hostwin/runner.h"
#include "tool/preview/effects.h"

namespace preview {

// The effects of `result`, a run over the machine at `machine`, which still
// holds what the run left (file digests and registry data are read from it,
// never through a link).
InstallationEffects CollectEffects(const std::string& machine, const hostwin::RunResult& result);

}  // namespace preview
