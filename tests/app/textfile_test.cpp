#include "app/textfile.h"

#include <gtest/gtest.h>

#include "app/sysutils.h"

namespace {

TEST(TextReader, ReadsNumbersAndLinesByTheTextFileRules) {
  struct Case {
    const char* name;
    std::string bytes;
    std::int32_t number;
    std::string line;  // the line after the number's line
  };
  const Case cases[] = {
      {"CR LF lines", "42\r\nabc\r\n", 42, "abc"},
      {"CR alone ends a line", "42\rabc\r", 42, "abc"},
      {"blanks and tabs around the number", " \t -7  rest\r\nnext\r\n", -7, "next"},
      {"plus sign", "+15\r\nx\r\n", 15, "x"},
      {"lone LF does not end a line", "42\nabc\r\ndef\r\n", 42, "def"},
      {"leading line ends are skipped before a number", "\r\n\r\n 9\r\nline\r\n", 9, "line"},
      {"Ctrl-Z ends the file", "5\r\nab\x1a" "cd\r\n", 5, "ab"},
      {"end of file gives 0 and an empty line", "", 0, ""},
      {"blank file gives 0", "  \r\n ", 0, ""},
      {"a line may hold LF characters", "1\r\na\nb\r\n", 1, "a\nb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app::TextReader in(c.bytes);
    EXPECT_EQ(in.ReadInteger(), c.number);
    in.SkipLine();
    EXPECT_EQ(in.ReadLine(), c.line);
  }
}

TEST(TextReader, RejectsWordsThatAreNotIntegers) {
  for (const char* bytes : {"abc\r\n", "12x\r\n", "-\r\n", "2147483648\r\n", "1.5\r\n", "--3\r\n",
                            "99999999999999999999999999999999999\r\n"}) {
    SCOPED_TRACE(bytes);
    app::TextReader in(bytes);
    try {
      in.ReadInteger();
      FAIL() << "no error";
    } catch (const app::EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, 106);
      EXPECT_EQ(e.Message(), "Invalid numeric input");
    }
  }
}

TEST(TextReader, TakesIntegerLimits) {
  app::TextReader in("2147483647 -2147483648");
  EXPECT_EQ(in.ReadInteger(), INT32_MAX);
  EXPECT_EQ(in.ReadInteger(), INT32_MIN);
  EXPECT_TRUE(in.Eof());
}

TEST(TextWriter, EndsEveryLineWithCrLf) {
  app::TextWriter out;
  out.WriteLine(-5);
  out.WriteLine("");
  out.WriteLine("x");
  EXPECT_EQ(out.Bytes(), "-5\r\n\r\nx\r\n");
}

}  // namespace
