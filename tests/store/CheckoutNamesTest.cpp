// Which names of a revision a checkout may write: one table of names that
// must be refused, and the conflicts between names of one revision.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/Platform.h"
#include "store/CheckoutNames.h"
#include "store/uMyFS.h"

namespace pellmor {
namespace {

// Entries of one revision: name and attributes.
class Revision {
 public:
  Revision& Add(const std::string& name, uint32_t attributes = kAttrNormal) {
    TMyFile* entry = list_.Add();
    entry->SetName(name);
    entry->Attributes = attributes;
    return *this;
  }
  std::vector<TNameProblem> Problems() const {
    std::vector<const TMyFile*> entries;
    for (const auto& entry : list_) entries.push_back(entry.get());
    return FindUnsafeNames(entries);
  }

 private:
  TMyFileList list_{nullptr};
};

TEST(CheckoutNamesTest, RefusesNamesThatCouldLeaveTheFolder) {
  const struct {
    std::string name;
    std::string reason;
  } cases[] = {
      {"", "its name is empty"},
      {"\\etc\\passwd", "its name is absolute"},
      {"/etc/passwd", "its name is absolute"},
      {"..\\outside.txt", "'..' component"},
      {"a\\..\\..\\outside.txt", "'..' component"},
      {"a/../../outside.txt", "'..' component"},
      {"a\\.\\b.txt", "'.' component"},
      {"a\\\\b.txt", "empty folder component"},
      {"a\\", "empty folder component"},
      {std::string("a\0b", 3), "NUL byte"},
      {".git\\hooks\\post-checkout", "'.git' component"},
      {"sub\\.GIT\\config", "'.git' component"},
      // No file system takes a name longer than 255 bytes.
      {"dir\\" + std::string(256, 'n'), "a component of 256 bytes, more than a file name may have"},
  };
  for (const auto& c : cases) {
    const std::vector<TNameProblem> problems = Revision().Add("fine.txt").Add(c.name).Problems();
    ASSERT_EQ(problems.size(), 1u) << c.name;
    EXPECT_EQ(problems[0].Name, c.name);
    EXPECT_NE(problems[0].Reason.find(c.reason), std::string::npos)
        << c.name << ": " << problems[0].Reason;
  }
}

TEST(CheckoutNamesTest, AcceptsOrdinaryNames) {
  EXPECT_TRUE(Revision()
                  .Add("a.txt")
                  .Add("src\\main.c")
                  .Add("src/lib/x.h")
                  .Add(".hidden\\..dots..\\...")
                  .Add("gitignore\\.gitignore")
                  .Add("link", kAttrReparsePoint)
                  .Add("C:\\x")
                  .Add(std::string(255, 'n') + "\\" + std::string(255, 'm'))
                  .Problems()
                  .empty());
}

TEST(CheckoutNamesTest, RefusesANameBelowALinkOrFileOfTheSameRevisionWhateverTheOrder) {
  // Below a link: the write would follow it wherever it points.
  for (const bool linkFirst : {true, false}) {
    Revision revision;
    if (linkFirst) revision.Add("out", kAttrReparsePoint);
    revision.Add("OUT\\passwd");
    if (!linkFirst) revision.Add("out", kAttrReparsePoint);
    const std::vector<TNameProblem> problems = revision.Problems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].Name, "OUT\\passwd");
    EXPECT_EQ(problems[0].Reason, "it would pass through the symbolic link 'out'");
  }
  const std::vector<TNameProblem> below = Revision().Add("f").Add("f\\g\\h").Problems();
  ASSERT_EQ(below.size(), 1u);
  EXPECT_EQ(below[0].Reason, "it would pass through the file 'f'");
}

TEST(CheckoutNamesTest, RefusesANameThatOccursTwiceIgnoringCase) {
  const std::vector<TNameProblem> problems =
      Revision().Add("Read.me").Add("dir\\x").Add("READ.ME").Add("dir/x").Problems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].Name, "READ.ME");
  EXPECT_TRUE(problems[0].Duplicate);
  EXPECT_EQ(problems[1].Name, "dir/x") << "'/' and '\\' name the same path";
  EXPECT_TRUE(problems[1].Duplicate);
}

}  // namespace
}  // namespace pellmor
