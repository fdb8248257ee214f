#pragma once
// Helpers of the archive tests: in-memory streams. Hand-made ZIP records, folders, files,
// tools and the corpus come from tests/support.
#include <memory>
#include <string>

#include "rtl/stream.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/zip_builder.h"

namespace qelvo::archive::testing {

std::unique_ptr<rtl::TMemoryStream> StreamOf(const std::string& bytes);

using qelvo::test::BuildZip;
using qelvo::test::CentralHeader;
using qelvo::test::SubField;
using qelvo::test::TZipEntry;
using qelvo::test::TZipLayout;
using rtl::AppendLe16;
using rtl::AppendLe32;
using rtl::AppendLe64;

}  // namespace qelvo::archive::testing
