#include "download/file_names.h"

#include <gtest/gtest.h>

namespace qelvo::download {
namespace {

struct NameCase {
  const char* input;
  const char* expected;
};

TEST(FileNames, LastSegmentOfUrlPath) {
  const NameCase cases[] = {
      {"/pub/file.zip", "file.zip"},
      {"/qelvo/public/QelvoERPFull.zip", "QelvoERPFull.zip"},
      {"/a/b/c.tar.gz", "c.tar.gz"},
      {"/pub/", ""},
      {"", ""},
      {"/x/..", ""},
      {"/x/.", ""},
      {"/a\\b.zip", "b.zip"},
      {"/C:evil.exe", "evil.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileNameFromUrlPath(c.input), c.expected) << c.input;
}

TEST(FileNames, FilenameParameterOfHeaderLine) {
  const NameCase cases[] = {
      {"Content-Disposition: attachment; filename=\"served name.bin\"", "served name.bin"},
      {"Content-Disposition: attachment; filename=plain.zip", "plain.zip"},
      {"Content-Disposition: attachment; filename=plain.zip; size=10", "plain.zip"},
      {"Content-Disposition: attachment; filename=\"a.zip\"; size=10", "a.zip"},
      {"Content-Disposition: inline; filename=\"a\\\"b.zip\"", "a\"b.zip"},
      // Names from the network never leave the destination folder.
      {"Content-Disposition: attachment; filename=\"../../etc/passwd\"", "passwd"},
      {"Content-Disposition: attachment; filename=\"C:\\\\Windows\\\\x.dll\"", "x.dll"},
      {"Content-Disposition: attachment; filename=\"..\"", ""},
      {"Content-Disposition: attachment; filename=\"\"", ""},
      {"Content-Disposition: attachment; filename=\"tab\there\"", ""},
      // The parameter name is matched exactly.
      {"Content-Disposition: attachment; Filename=x.zip", ""},
      {"Content-Disposition: attachment; filename*=UTF-8''x.zip", ""},
      {"Content-Type: application/zip", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileNameFromHeaderLine(c.input), c.expected) << c.input;
}

TEST(FileNames, PartSuffixIsAddedOnce) {
  const NameCase cases[] = {
      {"QelvoOne.zip", "QelvoOne.zip.part"},
      {"QelvoOne.zip.part", "QelvoOne.zip.part"},
      // Only a trailing suffix counts: a name containing ".part" elsewhere still gets
      // its own part file and keeps its name when finished.
      {"my.party.zip", "my.party.zip.part"},
      {"report.partial.pdf", "report.partial.pdf.part"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithPartSuffix(c.input), c.expected) << c.input;
}

TEST(FileNames, DestinationFolderIsTrimmedAndEndsInBackslash) {
  const NameCase cases[] = {
      {"  C:\\x\\temp  ", "C:\\x\\temp\\"},
      {"C:\\x\\temp\\", "C:\\x\\temp\\"},
      {"   ", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeFolder(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace qelvo::download
