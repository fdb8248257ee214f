#include "app/descompactar.h"

#include "platform/file_system.h"

namespace qelvo::app {

std::string ExtractFilePath(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void Descompactar(IComponentFactory& factory, const std::string& zipFile, const std::string& destination) {
  platform::ForceDirectories(destination);
  const std::unique_ptr<IUnZipper> unzipper = factory.CreateUnZipper();
  unzipper->SetExtractOptions(eoCreateDirs | eoRestorePath);
  unzipper->SetFileName(zipFile);
  unzipper->SetBaseDirectory(ExtractFilePath(destination));
  unzipper->ExtractFiles("*.*");
}

}  // namespace qelvo::app
