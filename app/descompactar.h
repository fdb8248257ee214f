#pragma once
#include <string>

#include "app/components.h"

namespace qelvo::app {

// Extracts every item of the ZIP file below the destination folder, keeping stored
// paths and overwriting existing files. Items that fail are skipped by the unzip
// component; failures to open the archive or create folders raise.
void Descompactar(IComponentFactory& factory, const std::string& zipFile, const std::string& destination);

}  // namespace qelvo::app
