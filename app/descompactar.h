#pragma once
#include <string>
#include <vector>

#include "app/components.h"

namespace qelvo::app {

// Extracts every item of the ZIP file below the destination folder, keeping stored
// paths and overwriting existing files. Items that fail are skipped by the unzip
// component and returned, in archive order; failures to open the archive or create
// folders raise.
std::vector<TItemFailure> Descompactar(IComponentFactory& factory, const std::string& zipFile,
                                       const std::string& destination);

}  // namespace qelvo::app
