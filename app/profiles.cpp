#include "app/profiles.h"

namespace qelvo::app {

const std::vector<TProfile>& Profiles() {
  using S = TPackageStep;
  static const std::vector<TProfile> profiles = {
      {"QelvoPDV Completo",
       {{S::BaixarQelvoPDVFull, ""}, {S::BaixarQelvoBridge, "C:\\QelvoPDV\\"}, {S::BaixarQelvoPDV, ""}}},
      {"QelvoERP Servidor",
       {{S::BaixarQelvoERPFull, ""},
        {S::BaixarMariaDB, ""},
        {S::BaixarQelvoERP, ""},
        {S::BaixarQelvoWebServerSvc, "C:\\QelvoERP\\"},
        {S::BaixarQelvoBridge, "C:\\QelvoERP\\"},
        {S::BaixarSchemas, "C:\\QelvoERP\\"}}},
      {"QelvoERP Terminal",
       {{S::BaixarQelvoERPFull, ""}, {S::BaixarQelvoERP, ""}, {S::BaixarSchemas, "C:\\QelvoERP\\"}}},
      {"QelvoOne Servidor",
       {{S::BaixarQelvoOneFull, ""},
        {S::BaixarMariaDB, ""},
        {S::BaixarQelvoOne, ""},
        {S::BaixarQelvoWebServerSvc, "C:\\QelvoOne\\"},
        {S::BaixarQelvoBridge, "C:\\QelvoOne\\"},
        {S::BaixarSchemas, "C:\\QelvoOne\\"}}},
      {"QelvoOne Terminal",
       {{S::BaixarQelvoOneFull, ""}, {S::BaixarQelvoOne, ""}, {S::BaixarSchemas, "C:\\QelvoOne\\"}}},
      {"QelvoLoja Servidor",
       {{S::BaixarQelvoLojaFull, ""},
        {S::BaixarMariaDB, ""},
        {S::BaixarQelvoLoja, ""},
        {S::BaixarQelvoWebServerSvc, "C:\\QelvoLoja\\"},
        {S::BaixarQelvoBridge, "C:\\QelvoLoja\\"}}},
      {"QelvoLoja Terminal", {{S::BaixarQelvoLojaFull, ""}, {S::BaixarQelvoLoja, ""}}},
      {"QelvoWebServer", {{S::BaixarQelvoWebServerSvc, ""}}},
  };
  return profiles;
}

}  // namespace qelvo::app
