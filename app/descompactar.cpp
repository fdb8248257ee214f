#include "app/descompactar.h"

#include "platform/file_system.h"
#include "rtl/file_path.h"

namespace qelvo::app {

std::vector<TItemFailure> Descompactar(IComponentFactory& factory, const std::string& zipFile,
                                       const std::string& destination) {
  platform::ForceDirectories(destination);
  const std::unique_ptr<IUnZipper> unzipper = factory.CreateUnZipper();
  std::vector<TItemFailure> failures;
  unzipper->SetOnItemFailure([&failures](const TItemFailure& f) { failures.push_back(f); });
  unzipper->SetExtractOptions(eoCreateDirs | eoRestorePath);
  unzipper->SetFileName(zipFile);
  unzipper->SetBaseDirectory(rtl::ExtractFilePath(destination));
  unzipper->ExtractFiles("*.*");
  return failures;
}

}  // namespace qelvo::app
