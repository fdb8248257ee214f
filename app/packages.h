#pragma once
// The fixed package set: every package step's local file, server path, status text and
// product folder, and what the full steps do after unpacking.
#include <string>
#include <vector>

namespace qelvo::app {

enum class TPackageStep {
  BaixarQelvoOneFull,
  BaixarQelvoOne,
  BaixarQelvoPDVFull,
  BaixarQelvoPDV,
  BaixarQelvoERPFull,
  BaixarQelvoERP,
  BaixarQelvoLojaFull,
  BaixarQelvoLoja,
  BaixarQelvoWebServerSvc,
  BaixarSchemas,
  BaixarQelvoBridge,
  BaixarMariaDB,
  BaixarLayoutPDV,
};

struct TPackage {
  TPackageStep Step;
  const char* StepName;
  const char* LocalFile;
  const char* ServerPath;
  const char* StatusText;
  const char* ProductFolder;  // "" for the steps that take a destination argument
};

const TPackage& PackageOf(TPackageStep step);
const std::vector<TPackage>& PackageTable();

// What a full step does after unpacking, in order.
struct TAfterUnpack {
  enum TKind { Layout, Launch, Shortcut } Kind;
  const char* RelativePath;  // launch: file below the product folder; shortcut: the program
  const char* Description;   // shortcut only
};
const std::vector<TAfterUnpack>& AfterUnpackOf(TPackageStep step);

inline constexpr const char* kLayoutServerFolder = "/qelvo/public/layoutpdv/";
inline constexpr const char* kLayoutProductFolder = "C:\\QelvoPDV\\";
inline constexpr int kPackagePort = 8997;

}  // namespace qelvo::app
