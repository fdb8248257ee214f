#include <gtest/gtest.h>

#include <functional>

#include "rtl/exceptions.h"
#include "rtl/string_list.h"

namespace qelvo::rtl {
namespace {

TEST(StringList, TextJoinsWithCrLf) {
  TStringList l;
  l.Add("GET / HTTP/1.1");
  l.Add("Host: x");
  l.Insert(1, "Accept: */*");
  EXPECT_EQ(l.Text(), "GET / HTTP/1.1\r\nAccept: */*\r\nHost: x\r\n");
  l.Clear();
  EXPECT_EQ(l.Text(), "");
}

TEST(StringList, SetTextSplitsEveryLineBreakStyle) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb\r\n", {"a", "b"}}, {"a\nb", {"a", "b"}}, {"a\rb\r", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}}, {"", {}}, {"\n", {""}},
  };
  for (const auto& c : cases) {
    TStringList l;
    l.SetText(c.text);
    EXPECT_EQ(l.Lines(), c.lines) << c.text;
  }
}

TEST(StringList, NameValueAccess) {
  TStringList l;
  l.Add("Path=/a");
  l.Add("no equals");
  l.Add("Domain=x=y");
  EXPECT_EQ(l.Values("path"), "/a");
  EXPECT_EQ(l.Values("DOMAIN"), "x=y");
  EXPECT_EQ(l.Values("missing"), "");
  EXPECT_EQ(l.Names(2), "Domain");
  EXPECT_EQ(l.Names(1), "");
  l.SetValues("Path", "/b");
  l.SetValues("New", "1");
  EXPECT_EQ(l.Text(), "Path=/b\r\nno equals\r\nDomain=x=y\r\nNew=1\r\n");
  l.SetValues("Path", "");
  EXPECT_EQ(l.IndexOfName("Path"), -1);
}

TEST(StringList, IndexErrorsNameTheIndex) {
  TStringList l;
  l.Add("a");
  struct Case {
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {[&] { (void)l.Strings(1); }, "List index out of bounds (1)"},
      {[&] { (void)l.Strings(-1); }, "List index out of bounds (-1)"},
      {[&] { l.Insert(3, "x"); }, "List index out of bounds (3)"},
      {[&] { l.Delete(5); }, "List index out of bounds (5)"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.message;
    } catch (const EListError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  l.Insert(1, "end");  // inserting at Count appends
  EXPECT_EQ(l.Strings(1), "end");
}

}  // namespace
}  // namespace qelvo::rtl
