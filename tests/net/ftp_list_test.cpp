// Directory listings of the server families, line by line, with the entries they make.
#include <gtest/gtest.h>

#include "net/ftp_list.h"
#include "platform/clock.h"
#include "rtl/date_time.h"

namespace qelvo::net {
namespace {

struct ListCase {
  const char* family;
  std::string line;
  std::string next;  // the following line, for two-line formats
  std::string name;
  bool directory;
  int64_t size;
  int year, month, day, hour, minute;  // -1: not checked
  int mask;                            // 1-based mask number, 0 EPLF, -1 not checked
};

std::string Spaces(int n) { return std::string(static_cast<size_t>(n), ' '); }

const std::vector<ListCase>& Cases() {
  static const std::vector<ListCase> cases = {
      {"unix, time", "-rw-r--r--    1 0        0           6 Dec 10 16:10 a.txt", "", "a.txt", false, 6, -1, 12, 10,
       16, 10, 3},
      {"unix, year", "drwxr-xr-x    2 1000     1000     4096 Jan  5  2021 pub", "", "pub", true, 4096, 2021, 1, 5, 0,
       0, 3},
      {"unix, link", "lrwxrwxrwx    1 0        0           7 Mar  1  2020 link -> target", "", "link", true, 7, 2020,
       3, 1, -1, -1, 3},
      {"unix, full time, name with spaces", "-rw-r--r-- 1 owner group 1234 Jan 02 03:04:05 2019 full name.txt", "",
       "full name.txt", false, 1234, 2019, 1, 2, 3, 4, 1},
      {"unix, day before month", "-rw-r--r--   1 u g 10 31 Dec  2019 eu.txt", "", "eu.txt", false, 10, 2019, 12, 31,
       -1, -1, 4},
      {"unix, no group", "-rw-r--r--   1 owner     512 Feb 28  1999 nogroup.txt", "", "nogroup.txt", false, 512, 1999,
       2, 28, -1, -1, 5},
      {"unix, German month", "-rw-r--r--   1 u g 10 Okt 31  2019 de.txt", "", "de.txt", false, 10, 2019, 10, 31, -1,
       -1, 3},
      {"unix, set-id without execute", "-rwSr--r--   1 u g 99 May  4  2018 suid", "", "suid", false, 99, 2018, 5, 4,
       -1, -1, 3},
      {"novell, directory", "d [R----F--] supervisor            512       Jan 16 18:53    login", "", "login", true,
       512, -1, 1, 16, 18, 53, 7},
      {"novell, file", "- [R----F--] rhesus             214059       Oct 20 15:27    cx.exe", "", "cx.exe", false,
       214059, -1, 10, 20, 15, 27, 7},
      {"windows, directory", "01-16-02  11:14AM       <DIR>          epsgroup", "", "epsgroup", true, 0, 2002, 1, 16,
       11, 14, 9},
      {"windows, file PM", "06-05-03  03:19PM                 1786 index.txt", "", "index.txt", false, 1786, 2003, 6,
       5, 15, 19, 8},
      {"windows, four-digit year, 12 AM", "10-21-2019  12:30AM                5 y2k.txt", "", "y2k.txt", false, 5, 2019,
       10, 21, 0, 30, 10},
      {"windows, day first", "31-12-2019  10:00AM                7 eu.txt", "", "eu.txt", false, 7, 2019, 12, 31, 10,
       0, 12},
      {"vms, blocks used/allocated", "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)",
       "", "CII-MANUAL.TEX;1", false, 0, 1996, 1, 29, 3, 33, 15},
      {"vms, one block", "00README.TXT;1      2 30-DEC-1996 17:44 [SYSTEM] (RWED,RWED,RE,RE)", "", "00README.TXT;1",
       false, 0, 1996, 12, 30, 17, 44, 14},
      {"vms, directory", "TOOLS.DIR;1       1/3  15-JAN-2000 00:00:00  [SYSTEM]  (RWE,RWE,RE,RE)", "", "TOOLS.DIR;1",
       true, 0, 2000, 1, 15, 0, 0, 15},
      {"eplf, directory", "+i8388621.29609,m824255902,/,\tdev", "", "dev", true, 0, 1996, 2, 13, -1, -1, 0},
      {"eplf, file", "+i8388621.44468,m839956783,r,s10376,\tRFCEPLF", "", "RFCEPLF", false, 10376, 1996, 8, 13, -1, -1,
       0},
      {"name first, date, size", "report.txt RW    OWNER      2019/05/17 08:30 1234", "", "report.txt", false, 1234,
       2019, 5, 17, 8, 30, 16},
      {"os/2, month first", "       345 02-11-97 14:05:30  os2file.txt", "", "os2file.txt", false, 345, 1997, 2, 11, 14,
       5, 17},
      {"os/2, day first", "       345 13-11-97 14:05:30  os2file.txt", "", "os2file.txt", false, 345, 1997, 11, 13,
       14, 5, 18},
      {"name, size, date, flag", "SUBDIR 0 02-11-97 14:05:30 D", "", "SUBDIR", true, 0, 1997, 2, 11, 14, 5, 19},
      {"name, size, day-first date, flag", "SUBDIR 0 13-11-97 14:05:30 D", "", "SUBDIR", true, 0, 1997, 11, 13, 14, 5,
       20},
      {"size, month name, name, flag", "  1234    Jan 05 2001  10:20:30  sub  <D", "", "sub", true, 1234, 2001, 1, 5,
       10, 20, 21},
      {"size, month name, name", "  1234    Jan 05 2001  10:20:30  plain.txt", "", "plain.txt", false, 1234, 2001, 1, 5,
       10, 20, 22},
      {"flag, size, month name, year", "-    4096 Feb 14 2002  09:15 notes.txt", "", "notes.txt", false, 4096, 2002, 2,
       14, 9, 15, 23},
      {"flag, size, month name, time", "D    0 Mar 03 11:45 folder", "", "folder", true, 0, -1, 3, 3, 11, 45, 24},
      {"dos 8.3", "AUTOEXEC BAT          1234 10-20-97  03:04p", "", "AUTOEXEC.BAT", false, 1234, 1997, 10, 20, 15, 4,
       25},
      {"fixed columns, size first", "    12345            97-10-20 03:04:05  file.dat", "", "file.dat", false, 12345,
       1997, 10, 20, 3, 4, 26},
      {"fixed columns, blank flag", "-   00512  97-10-20 03:04:05  adir", "", "adir", true, 512, 1997, 10, 20, 3, 4,
       27},
      {"fixed columns, file flag", "- F 00512  97-10-20 03:04:05  afile", "", "afile", false, 512, 1997, 10, 20, 3, 4,
       27},
      {"mvs, one line", "MYDATASET.NAME" + Spaces(34) + "000004096 10/20/1997 03:04", "", "MYDATASET.NAME", false,
       4096, 1997, 10, 20, 3, 4, 28},
      {"mvs, name on its own line", "VERY.LONG.DATASET.NAME.THAT.WRAPS",
       Spaces(48) + "000008192 11/21/1998 13:14", "VERY.LONG.DATASET.NAME.THAT.WRAPS", false, 8192, 1998, 11, 21, 13,
       14, 29},
      {"fixed columns, flag after size", "      000000065536           D   01-02-2003   04:05  subdir", "", "subdir",
       true, 65536, 2003, 1, 2, 4, 5, 30},
      {"fixed columns, time without colon", "          99-12-31 2359                          000000100 last.txt", "",
       "last.txt", false, 100, 1999, 12, 31, 23, 59, 31},
      {"as/400", "QGPL                       0012288 16 MAY 96 10:03:49", "", "QGPL", false, 12288, 1996, 5, 16, 10,
       3, 32},
      {"fixed columns, O flag", "              2004-06-07                     00300   O org", "", "org", true, 300,
       2004, 6, 7, -1, -1, 33},
      {"size, date, attribute, name", "RW ARCH      777 03-04-05 06:07:08  A os2.cmd", "", "os2.cmd", false, 777, 2005,
       3, 4, 6, 7, 34},
      {"flag, size, date, attribute, name", "D             0 03-04-05           A os2dir", "", "os2dir", true, 0, 2005, 3,
       4, -1, -1, 35},
      {"month name, day, year, name", Spaces(41) + "Sep 09  2009 bare.txt", "", "bare.txt", false, 0, 2009, 9, 9, -1,
       -1, 36},
      {"flag and name only", "  D" + Spaces(51) + "plain dir", "", "plain dir", true, 0, -1, -1, -1, -1, -1, 37},
  };
  return cases;
}

TEST(FtpList, EachFamilyMakesItsEntry) {
  for (const ListCase& c : Cases()) {
    SCOPED_TRACE(std::string(c.family) + ": " + c.line);
    TFTPList list;
    list.Lines.Add(c.line);
    if (!c.next.empty()) list.Lines.Add(c.next);
    list.ParseLines();
    ASSERT_EQ(list.Count(), 1) << (list.UnparsedLines.Count() > 0 ? "unparsed" : "");
    EXPECT_EQ(list.UnparsedLines.Count(), 0);
    const TFTPListRec& r = list[0];
    EXPECT_EQ(r.FileName, c.name);
    EXPECT_EQ(r.Directory, c.directory);
    EXPECT_EQ(r.FileSize, c.size);
    if (c.mask == 0) {
      EXPECT_EQ(r.Mask, "EPLF");
    }
    if (c.mask > 0) {
      EXPECT_EQ(r.Mask, DefaultListMasks()[static_cast<size_t>(c.mask - 1)]);
    }
    int y, mo, d, h, mi, s, ms;
    rtl::DecodeDate(r.FileTime, y, mo, d);
    rtl::DecodeTime(r.FileTime, h, mi, s, ms);
    if (c.year >= 0) {
      EXPECT_EQ(y, c.year);
    }
    if (c.month >= 0) {
      EXPECT_EQ(mo, c.month);
    }
    if (c.day >= 0) {
      EXPECT_EQ(d, c.day);
    }
    if (c.hour >= 0) {
      EXPECT_EQ(h, c.hour);
    }
    if (c.minute >= 0) {
      EXPECT_EQ(mi, c.minute);
    }
  }
}

TEST(FtpList, DotEntriesAreDroppedAndStrangersKept) {
  TFTPList list;
  list.Lines.SetText(
      "total 12\r\n"
      "drwxr-xr-x    2 0        0            4096 Dec 10 16:10 .\r\n"
      "drwxr-xr-x    3 0        0            4096 Dec 10 16:10 ..\r\n"
      "+/,\t.\r\n"
      "-rw-r--r--    1 0        0               6 Dec 10 16:10 a.txt\r\n"
      "this is no listing line\r\n");
  list.ParseLines();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0].FileName, "a.txt");
  EXPECT_TRUE(list[0].Readable);
  EXPECT_EQ(list[0].Permission, "-rw-r--r--");
  ASSERT_EQ(list.UnparsedLines.Count(), 2);
  EXPECT_EQ(list.UnparsedLines[0], "total 12");
  EXPECT_EQ(list.UnparsedLines[1], "this is no listing line");
}

TEST(FtpList, TimeWithoutYearNeverLiesInTheFuture) {
  int y, m, d;
  rtl::DecodeDate(platform::Now() + 2, y, m, d);
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  TFTPList list;
  char line[128];
  std::snprintf(line, sizeof line, "-rw-r--r--    1 0   0   6 %s %2d 23:59 soon.txt", kMonths[m - 1], d);
  list.Lines.Add(line);
  list.ParseLines();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_LE(list[0].FileTime, platform::Now());
}

TEST(FtpList, AssignCopiesEntriesAndLines) {
  TFTPList a;
  a.Lines.Add("+r,s5,\tfive");
  a.ParseLines();
  TFTPList b;
  b.Assign(a);
  ASSERT_EQ(b.Count(), 1);
  EXPECT_EQ(b[0].FileSize, 5);
  EXPECT_TRUE(b[0].Readable);
  EXPECT_EQ(b.Lines.Count(), 1);
}

TEST(FtpList, HostileLinesAreCutAndHugeNumbersRefused) {
  TFTPList list;
  list.Lines.Add(std::string(1 << 20, 'x'));
  list.Lines.Add("-rw-r--r--    1 0 0 " + std::string(30, '9') + " Dec 10 16:10 big");
  list.Lines.Add("+s" + std::string(50, '9') + ",\thuge");
  list.Lines.Add("+s" + std::string(5000, '9') + ",\tcut");
  list.ParseLines();
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_LE(list[i].FileName.size(), TFTPList::cMaxLineLength);
    EXPECT_NE(list[i].FileName, "big") << "a size beyond 64 bits is not taken";
    if (list[i].FileName == "huge") {
      EXPECT_EQ(list[i].FileSize, 0);
    }
  }
  for (int i = 0; i < list.UnparsedLines.Count(); ++i)
    EXPECT_LE(list.UnparsedLines[i].size(), TFTPList::cMaxLineLength);
  EXPECT_EQ(list.Count() + list.UnparsedLines.Count(), 4);
}

TEST(FtpList, CallerBlockSizesScaleTheSizeWithinSixtyFourBits) {
  struct Case {
    const char* line;
    int64_t size;  // -1: the mask does not take the line
  } const cases[] = {
      {"4 blocks.dat", 2048},
      {"0 empty.dat", 0},
      {"18014398509481983 last.dat", INT64_C(18014398509481983) * 512},
      {"18014398509481984 wraps.dat", -1},
      {"999999999999999999 wraps.dat", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TFTPList list;
    list.Masks.Clear();
    list.Masks.Add("S*=512 n*");
    list.Lines.Add(c.line);
    list.ParseLines();
    if (c.size < 0) {
      EXPECT_EQ(list.Count(), 0);
      EXPECT_EQ(list.UnparsedLines.Count(), 1);
    } else {
      ASSERT_EQ(list.Count(), 1);
      EXPECT_EQ(list[0].FileSize, c.size);
    }
  }
  TFTPList huge;
  huge.Masks.Clear();
  huge.Masks.Add("S*=" + std::string(30, '9') + " n*");
  huge.Lines.Add("2 any.dat");
  huge.ParseLines();
  EXPECT_EQ(huge.Count(), 0) << "a block size beyond 64 bits is not taken";
}

TEST(FtpList, MonthNamesOfEveryLanguage) {
  struct {
    const char* name;
    int month;
  } const cases[] = {{"Jan", 1},        {"dec", 12},     {"f\xC3\xA9v", 2}, {"f\xE9v", 2}, {"aou", 8},
                     {"Okt", 10},       {"Dez", 12},     {"M\xE4r", 3},     {"mai", 5},    {"\xDAno", 2},
                     {"Z\xE1\xF8", 9},  {"xyz", 0},      {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(MonthNumber(c.name), c.month) << c.name;
  EXPECT_EQ(MonthNumber("Gen", "GenFebMarAprMagGiuLugAgoSetOttNovDic"), 1);
  EXPECT_EQ(MonthNumber("Ott", "GenFebMarAprMagGiuLugAgoSetOttNovDic"), 10);
}

TEST(FtpList, TimesOfDay) {
  EXPECT_DOUBLE_EQ(TimeOfDayFromText("12:30"), rtl::EncodeTime(12, 30, 0, 0));
  EXPECT_DOUBLE_EQ(TimeOfDayFromText("01:02:03"), rtl::EncodeTime(1, 2, 3, 0));
  EXPECT_DOUBLE_EQ(TimeOfDayFromText("16:10xyz"), rtl::EncodeTime(16, 10, 0, 0));
  for (const char* bad : {"2019", "25:00", "12:60", "a:b", ":", "1:2:3:4", "123:00"})
    EXPECT_LT(TimeOfDayFromText(bad), 0) << bad;
}

}  // namespace
}  // namespace qelvo::net
