// libsaverkit: reading, identifying and packing screen saver installer
// images. See docs/libsaverkit.md.
#pragma once

#include "saverkit/error.h"
#include "saverkit/identify.h"
#include "saverkit/image.h"
#include "saverkit/pack.h"
#include "saverkit/text.h"
