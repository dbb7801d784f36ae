// A volume without 8.3 names, which Wine's drives never are: the test program's import of
// GetShortPathNameW answers with the long path itself, as Windows does on such a volume.
// Test-only.
#pragma once

#include <memory>

#include "support/import_swap.h"

namespace testsupport {

// The swap, for as long as it lives, when withoutShortNames; null (the volume as it is)
// otherwise.
std::unique_ptr<ImportSwap> SwapAwayShortNames(bool withoutShortNames);

}  // namespace testsupport
