#include "app/packages.h"

#include <stdexcept>

namespace qelvo::app {

const std::vector<TPackage>& PackageTable() {
  using S = TPackageStep;
  static const std::vector<TPackage> table = {
      {S::BaixarQelvoOneFull, "BaixarQelvoOneFull", "QelvoOneFull.zip", "/qelvo/public/qelvoonefull.zip",
       "Baixando atualização do QelvoOne...", "C:\\QelvoOne\\"},
      {S::BaixarQelvoOne, "BaixarQelvoOne", "QelvoOne.zip", "/qelvo/public/qelvoone.zip",
       "Baixando atualização do QelvoOne...", "C:\\QelvoOne\\"},
      {S::BaixarQelvoPDVFull, "BaixarQelvoPDVFull", "QelvoPDVFull.zip", "/qelvo/public/qelvopdvfull.zip",
       "Baixando QelvoPDV...", "C:\\QelvoPDV\\"},
      {S::BaixarQelvoPDV, "BaixarQelvoPDV", "QelvoPDV.zip", "/qelvo/public/qelvopdv.zip",
       "Baixando atualização do QelvoPDV...", "C:\\QelvoPDV\\"},
      {S::BaixarQelvoERPFull, "BaixarQelvoERPFull", "QelvoERPFull.zip", "/qelvo/public/qelvoERPfull.zip",
       "Baixando atualização do QelvoERP...", "C:\\QelvoERP\\"},
      {S::BaixarQelvoERP, "BaixarQelvoERP", "QelvoERP.zip", "/qelvo/public/qelvoerp.zip",
       "Baixando atualização do QelvoERP...", "C:\\QelvoERP\\"},
      {S::BaixarQelvoLojaFull, "BaixarQelvoLojaFull", "QelvoLojaFull.zip", "/qelvo/public/qelvoLojafull.zip",
       "Baixando atualização do QelvoLoja...", "C:\\QelvoLoja\\"},
      {S::BaixarQelvoLoja, "BaixarQelvoLoja", "QelvoLoja.zip", "/qelvo/public/qelvoloja.zip",
       "Baixando atualização do QelvoLoja...", "C:\\QelvoLoja\\"},
      {S::BaixarQelvoWebServerSvc, "BaixarQelvoWebServerSvc", "QelvoWebServerSvc.zip",
       "/qelvo/public/QelvoWebServerSvc.zip", "Baixando atualização do QelvoWebServerSvc...", ""},
      {S::BaixarSchemas, "BaixarSchemas", "schemas.zip", "/qelvo/public/schemas.zip",
       "Baixando atualização do schemas.zip...", ""},
      {S::BaixarQelvoBridge, "BaixarQelvoBridge", "QelvoBridge.zip", "/qelvo/public/QelvoBridge.zip",
       "Baixando atualização do QelvoBridge...", ""},
      {S::BaixarMariaDB, "BaixarMariaDB", "mariadb-10.2.32-winx64.msi", "/qelvo/public/mariadb-10.2.32-winx64.msi",
       "Baixando Banco de Dados...", ""},
      // The layout's file name and path are built from the company name.
      {S::BaixarLayoutPDV, "BaixarLayoutPDV", "", kLayoutServerFolder, "Baixando Layouts ", kLayoutProductFolder},
  };
  return table;
}

const TPackage& PackageOf(TPackageStep step) {
  for (const auto& p : PackageTable())
    if (p.Step == step) return p;
  throw std::logic_error("package step without a table row");
}

const std::vector<TAfterUnpack>& AfterUnpackOf(TPackageStep step) {
  using A = TAfterUnpack;
  static const std::vector<A> none;
  static const std::vector<A> one = {
      {A::Launch, "programas\\capicom.exe", ""},
      {A::Launch, "programas\\TeamViewer_Setup.exe", ""},
      {A::Shortcut, "QelvoOne.exe", "QelvoONE"},
      {A::Shortcut, "QelvoBoxOne.exe", "QelvoBOX"},
      {A::Shortcut, "heidisql.exe", "HeidiSQL"},
  };
  static const std::vector<A> pdv = {
      {A::Layout, "", ""},
      {A::Launch, "programas\\capicom.exe", ""},
      {A::Launch, "programas\\mariadb-10.2.32-winx64.msi", ""},
      {A::Launch, "programas\\TeamViewer_Setup.exe", ""},
      {A::Shortcut, "QelvoPDV.exe", "QelvoPDV"},
      {A::Shortcut, "heidisql.exe", "HeidiSQL"},
  };
  static const std::vector<A> erp = {
      {A::Launch, "programas\\capicom.exe", ""},
      {A::Launch, "programas\\TeamViewer_Setup.exe", ""},
      {A::Shortcut, "Vaskir2.exe", "QelvoERP"},
      {A::Shortcut, "heidisql.exe", "HeidiSQL"},
  };
  static const std::vector<A> loja = {
      {A::Launch, "programas\\capicom.exe", ""},
      {A::Launch, "programas\\TeamViewer_Setup.exe", ""},
      {A::Shortcut, "QelvoLoja.exe", "QelvoLoja"},
  };
  switch (step) {
    case TPackageStep::BaixarQelvoOneFull: return one;
    case TPackageStep::BaixarQelvoPDVFull: return pdv;
    case TPackageStep::BaixarQelvoERPFull: return erp;
    case TPackageStep::BaixarQelvoLojaFull: return loja;
    default: return none;
  }
}

}  // namespace qelvo::app
