// Encrypted items through the unzip component: archives from three writers, both check
// values, and the password request and retry rules.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/errors.h"
#include "codecs/zip_decrypt.h"
#include "tests/unzip/test_support.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;

class EncryptionTest : public ::testing::Test {
 protected:
  TempFolder tmp;
  fs::path out = tmp / "out";
  fs::path src = tmp / "src";
  std::vector<TItemFailure> failures;
  int requests = 0;

  void SetUp() override {
    fs::create_directories(out);
    WriteFile(src / "secret.txt", TextBytes(70000, 11));
    WriteFile(src / "sub/raw.bin", RandomBytes(5000, 12));
  }

  // The installer's sequence with a password and an optional password handler that
  // answers with the given replies in turn (the last one repeated).
  void Extract(const std::string& zipFile, const std::string& password, std::vector<std::string> replies = {},
               int retries = -1, bool withHandler = false) {
    TArcUnZipper unzipper;
    unzipper.OnProcessItemFailure = [this](TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType type,
                                           TArcErrorClass cls, int32_t code) {
      failures.push_back({item->FileName(), type, cls, code});
    };
    if (withHandler || !replies.empty()) {
      unzipper.OnNeedPassword = [this, replies](TArcBaseBrowser*, rtl::ByteString& newPassword) {
        newPassword = replies.empty() ? newPassword : replies[std::min<size_t>(requests, replies.size() - 1)];
        ++requests;
      };
    }
    if (retries >= 0) unzipper.SetPasswordRetries(static_cast<uint8_t>(retries));
    unzipper.SetPassword(password);
    unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
    unzipper.SetFileName(zipFile);
    unzipper.SetBaseDirectory(Win(out));
    unzipper.ExtractFiles("*.*");
  }

  void ExpectSourceExtracted() {
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    EXPECT_EQ(ReadFile(out / "secret.txt"), ReadFile(src / "secret.txt"));
    EXPECT_EQ(ReadFile(out / "sub/raw.bin"), ReadFile(src / "sub/raw.bin"));
  }

  std::string InfoZipArchive() {
    if (!HaveTool("zip")) return "";
    EXPECT_EQ(ShellStatus("zip -q -r -P s3cret ../izip.zip .", src), 0);
    return Win(tmp / "izip.zip");
  }

  // The check byte lets 1 in 256 wrong passwords through, and Info-ZIP salts every
  // header at random: a fixture meant to be refused by its check is made again until
  // none of the given passwords passes any header's check.
  std::string InfoZipArchiveRefusing(const std::vector<std::string>& passwords) {
    for (int attempt = 0; attempt < 50; ++attempt) {
      fs::remove(tmp / "izip.zip");
      const std::string zipFile = InfoZipArchive();
      if (zipFile.empty()) return zipFile;
      const std::string bytes = ReadFile(tmp / "izip.zip");
      EXPECT_TRUE(AnyHeaderAccepts(bytes, {"s3cret"})) << "the header walk must see the real password pass";
      if (!AnyHeaderAccepts(bytes, passwords)) return zipFile;
    }
    ADD_FAILURE() << "no archive refused every password";
    return "";
  }

  // Tries the passwords on the encryption header of every item (the archive is written
  // without data descriptors, so the directory's CRC is the local one).
  static bool AnyHeaderAccepts(const std::string& zip, const std::vector<std::string>& passwords) {
    for (const TListedEntry& e : ReadZipEntries(zip)) {
      if ((e.LocalFlags & 1) == 0 || e.Data.size() < 12) continue;
      codecs::TArcZipEncryptHeader header;
      std::memcpy(header, e.Data.data(), 12);
      const uint32_t check = codecs::DecryptCheckValue(e.LocalFlags, e.LocalModTime, e.Crc32);
      for (const auto& password : passwords) {
        if (codecs::TArcZipDecryptEngine().VerifyHeader(header, password, check)) return true;
      }
    }
    return false;
  }
};

TEST_F(EncryptionTest, CorpusArchiveWithPasswordTest) {
  const std::string corpus = CorpusFolder();
  const std::string zipFile = Win(fs::path(corpus) / "zipcrypto.zip");
  Extract(zipFile, "test");
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
  int files = 0;
  ExpectTreeMatchesItems(zipFile, out, &files);
  EXPECT_EQ(files, 8);
  EXPECT_EQ(requests, 0);
}

TEST_F(EncryptionTest, InfoZipAndSevenZipArchives) {
  if (!HaveTool("zip") || !HaveTool("7zz")) GTEST_SKIP() << "zip or 7zz is not installed";
  ASSERT_EQ(ShellStatus("zip -q -r -P s3cret ../izip.zip .", src), 0);
  ASSERT_EQ(ShellStatus("7zz a -bd -bso0 -tzip -ps3cret -mem=ZipCrypto ../7z.zip .", src), 0);
  ASSERT_EQ(ShellStatus("7zz a -bd -bso0 -tzip -ps3cret -mem=ZipCrypto -mm=Copy ../7z-stored.zip .", src), 0);
  for (const char* name : {"izip.zip", "7z.zip", "7z-stored.zip"}) {
    SCOPED_TRACE(name);
    fs::remove_all(out);
    fs::create_directories(out);
    failures.clear();
    Extract(Win(tmp / name), "s3cret");
    ExpectSourceExtracted();
  }
}

// Info-ZIP reading standard input writes a data descriptor, so the header's check byte
// is the high byte of the modification time instead of the CRC's.
TEST_F(EncryptionTest, DataDescriptorItemsCheckAgainstTheTime) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const std::string data = TextBytes(40000, 21);
  WriteFile(tmp / "in.txt", data);
  // Several archives, so that time and CRC high bytes differ at least once.
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const std::string name = "dd" + std::to_string(i) + ".zip";
    WriteFile(tmp / "in.txt", data + std::string(static_cast<size_t>(i), 'x'));
    ASSERT_EQ(ShellStatus("zip -q -P pw " + name + " - < in.txt", tmp.Native()), 0);
    failures.clear();
    Extract(Win(tmp / name), "pw");
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    EXPECT_EQ(ReadFile(out / "-"), ReadFile(tmp / "in.txt"));
  }
}

// A wrong password is checked PasswordRetries + 1 times: once, then once after every
// request. The item fails with code 4 and leaves no file.
TEST_F(EncryptionTest, WrongPasswordIsRetriedThenRefused) {
  const std::string zipFile = InfoZipArchiveRefusing({"wrong", "still wrong"});
  if (zipFile.empty()) GTEST_SKIP() << "Info-ZIP zip is not installed";
  for (const int retries : {0, 1, 3, 5}) {
    SCOPED_TRACE(retries);
    failures.clear();
    requests = 0;
    Extract(zipFile, "wrong", {"still wrong"}, retries);
    EXPECT_EQ(requests, 2 * retries);  // two encrypted items, each asking `retries` times
    ASSERT_EQ(failures.size(), 2u);
    for (const TItemFailure& f : failures) EXPECT_EQ(f, (TItemFailure{f.Name, ptExtract, ecArchive, 4}));
    EXPECT_FALSE(fs::exists(out / "secret.txt"));
  }
  // The default is three retries; without a handler the same password is tried again.
  failures.clear();
  Extract(zipFile, "wrong");
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].ErrorCode, 4);
}

TEST_F(EncryptionTest, PasswordRequests) {
  const std::string zipFile = InfoZipArchiveRefusing({"bad"});
  if (zipFile.empty()) GTEST_SKIP() << "Info-ZIP zip is not installed";
  struct TCase {
    const char* what;
    std::string password;
    std::vector<std::string> replies;
    bool withHandler;
    int requests;
    std::vector<int32_t> codes;  // per item; none: extracted
  } cases[] = {
      {"right password, nobody asked", "s3cret", {}, false, 0, {}},
      {"no password, no handler", "", {}, false, 0, {4, 4}},
      {"no password, handler keeps it empty", "", {}, true, 2, {4, 4}},
      {"asked for a missing password", "", {"s3cret"}, false, 1, {}},
      {"wrong, then the right one", "bad", {"s3cret"}, false, 1, {}},
      // The cancelled request also empties the password, so the next item asks again
      // and, refused once more, fails as having none.
      {"wrong, then the request is cancelled", "bad", {""}, false, 2, {kArcUserAbort, kArcZipInvalidPassword}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out);
    fs::create_directories(out);
    failures.clear();
    requests = 0;
    Extract(zipFile, c.password, c.replies, -1, c.withHandler);
    EXPECT_EQ(requests, c.requests);
    if (c.codes.empty()) {
      ExpectSourceExtracted();
    } else {
      std::vector<int32_t> codes;
      for (const TItemFailure& f : failures) codes.push_back(f.ErrorCode);
      EXPECT_EQ(codes, c.codes);
      EXPECT_FALSE(fs::exists(out / "secret.txt"));
    }
  }
}

// A password found by the handler stays with the component for the next items and
// for a later archive.
TEST_F(EncryptionTest, AnsweredPasswordIsKept) {
  const std::string zipFile = InfoZipArchive();
  if (zipFile.empty()) GTEST_SKIP() << "Info-ZIP zip is not installed";
  TArcUnZipper unzipper;
  unzipper.OnNeedPassword = [this](TArcBaseBrowser*, rtl::ByteString& p) {
    ++requests;
    p = "s3cret";
  };
  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.SetFileName(zipFile);
  unzipper.SetBaseDirectory(Win(out));
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(requests, 1);
  EXPECT_EQ(unzipper.Password(), "s3cret");
  EXPECT_EQ(unzipper.ZipArchive()->Password(), "s3cret");
  EXPECT_EQ(ReadFile(out / "secret.txt"), ReadFile(src / "secret.txt"));
}

}  // namespace
}  // namespace qelvo::unzip::test
