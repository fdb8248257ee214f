#pragma once
// The installer's components on the system's own download manager and unzip component.
#include "app/components.h"

namespace qelvo::app {

class TRealComponentFactory : public IComponentFactory {
 public:
  std::unique_ptr<IDownloader> CreateDownloader() override;
  std::unique_ptr<IUnZipper> CreateUnZipper() override;
};

}  // namespace qelvo::app
