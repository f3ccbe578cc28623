// quarv verify on a whole store and on stores that the tests damage, one
// kind of damage per case: each must be reported with the file it is in,
// and only a whole store may pass.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "cli/CheckoutCommand.h"
#include "cli/VerifyCommand.h"
#include "foundation/Platform.h"
#include "foundation/uMyStreamUtils.h"
#include "store/uMyFS.h"
#include "tests/support/ErrorText.h"
#include "tests/support/RunProgram.h"
#include "tests/support/StoreWriter.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;

// The sample history in a folder of its own, and ways to damage it.
class SampleStore {
 public:
  SampleStore() { test::RecordSampleHistory(writer_); }

  // Runs verify; returns the number of problems, the lines in out.
  int Verify(std::string& out) {
    std::ostringstream text;
    const int problems = RunVerify({dir_.Path(), false}, text);
    out = text.str();
    return problems;
  }

  // Records one more revision; returns its number.
  int Record(const test::SampleChanges& changes) { return writer_.Record(changes); }

  const std::string& Root() const { return dir_.Path(); }
  std::string Store(const std::string& relative) const { return dir_ / (".Quarv/" + relative); }
  std::string Container(int number) const {
    return Store("Objects/" + std::to_string(number) + ".dat");
  }

  // Inverts one byte of a file's content block (offset counted after the
  // block's 4-byte length).
  void FlipContentByte(int number, const std::string& name, int64_t offset) {
    TMyContaner records;
    records.LoadFromFile(Container(number), lpRecords);
    TFileStream file(Container(number), TFileStream::Mode::OpenReadWrite);
    file.SetPosition(records.Files.FindByName(name)->ContentOffset + 4 + offset);
    const uint8_t flipped = static_cast<uint8_t>(~ReadByte(file));
    file.SetPosition(file.Position() - 1);
    WriteByte(file, flipped);
  }

  // Reads a container whole, lets change edit it, and writes it back.
  void Rewrite(int number, const std::function<void(TMyContaner&)>& change) {
    TMyContaner container;
    container.LoadFromFile(Container(number));
    change(container);
    container.SaveToFile(Container(number));
  }

  test::TempDir dir_;
  test::StoreWriter writer_{dir_.Path()};
};

TEST(VerifyCommandTest, AWholeStorePasses) {
  SampleStore store;
  std::string out;
  EXPECT_EQ(store.Verify(out), 0);
  EXPECT_EQ(out, "Checked 3 revisions: the store is whole\n");
}

TEST(VerifyCommandTest, EveryKindOfDamageIsReportedWithItsFile) {
  const struct {
    const char* what;
    std::function<void(SampleStore&)> damage;
    std::string file;  // relative to .Quarv
    std::string text;  // part of the problem's line
  } cases[] = {
      {"a flipped byte in a stored block", [](SampleStore& s) { s.FlipContentByte(2, "a.txt", 3); },
       "Objects/2.dat", "the bytes of 'a.txt' do not match its digest"},
      {"a flipped byte in a compressed block",
       [](SampleStore& s) { s.FlipContentByte(1, "data.bin", 20); }, "Objects/1.dat",
       "is damaged: the content of 'data.bin' is not valid compressed data"},
      {"a truncated container", [](SampleStore& s) { fs::resize_file(s.Container(3), 150); },
       "Objects/3.dat", "is damaged"},
      {"a missing container", [](SampleStore& s) { fs::remove(s.Container(2)); }, "Objects/2.dat",
       "the container of revision 2 is missing"},
      {"bytes in a missing container", [](SampleStore& s) { fs::remove(s.Container(2)); },
       "Objects/3.dat", "the bytes of 2 files are in revision 2, which could not be read"},
      {"a history that skips a number",
       [](SampleStore& s) { test::WriteFile(s.Store("History.txt"), "1.dat\r\n3.dat\r\n"); },
       "History.txt", "it skips revision 2"},
      {"a history that reaches the last revision number there is",
       [](SampleStore& s) {
         test::WriteFile(s.Store("History.txt"), "1.dat\r\n2.dat\r\n3.dat\r\n2147483647.dat\r\n");
       },
       "History.txt", "it skips revisions 4 to 2147483646"},
      {"a history line that names another file",
       [](SampleStore& s) {
         test::WriteFile(s.Store("History.txt"), "1.dat\r\n02.dat\r\n3.dat\r\n");
       },
       "History.txt", "the line '02.dat' should read '2.dat'"},
      {"a history line that names no revision",
       [](SampleStore& s) {
         test::WriteFile(s.Store("History.txt"), "1.dat\r\nnotes\r\n2.dat\r\n3.dat\r\n");
       },
       "History.txt", "the line 'notes' names no revision"},
      {"a history of junk, beside every container",
       [](SampleStore& s) { test::WriteFile(s.Store("History.txt"), "\x01\x02Quarv\x7f\r\n"); },
       "History.txt", "the line '\"\\001\\002Quarv\\177\"' names no revision"},
      {"an entry whose bytes are nowhere",
       [](SampleStore& s) {
         s.Rewrite(3, [](TMyContaner& c) { c.Files.FindByName("c.txt")->DataRevision = 2; });
       },
       "Objects/3.dat", "the bytes of 'c.txt' are nowhere: revision 2 holds none under that name"},
      {"a broken forward link",
       [](SampleStore& s) { s.Rewrite(2, [](TMyContaner& c) { c.NextNumber = 5; }); },
       "Objects/2.dat", "its NextNumber is 5 where the history makes it 3"},
      {"a broken backward link",
       [](SampleStore& s) { s.Rewrite(3, [](TMyContaner& c) { c.PreviousNumber = 1; }); },
       "Objects/3.dat", "its PreviousNumber is 1 where the history makes it 2"},
      {"a container of another revision",
       [](SampleStore& s) {
         fs::copy_file(s.Container(1), s.Container(2), fs::copy_options::overwrite_existing);
       },
       "Objects/2.dat", "it holds revision 1 where 2 was expected"},
      {"a name twice in one revision",
       [](SampleStore& s) {
         s.Rewrite(3, [](TMyContaner& c) {
           c.Files.AddCopy(*c.Files.FindByName("a.txt"))->SetName("A.TXT");
         });
       },
       "Objects/3.dat", "the name 'A.TXT' occurs twice"},
      {"a name that leaves the checkout folder",
       [](SampleStore& s) {
         s.Rewrite(3, [](TMyContaner& c) { c.Files.FindByName("c.txt")->SetName("..\\c.txt"); });
       },
       "Objects/3.dat", "'..\\c.txt' cannot be checked out: its name holds a '..' component"},
      {"a container the history does not list, below its newest revision",
       [](SampleStore& s) { test::WriteFile(s.Store("History.txt"), "2.dat\r\n3.dat\r\n"); },
       "Objects/1.dat", "History.txt does not list this revision"},
      {"a damaged index", [](SampleStore& s) { test::WriteFile(s.Store("Index.dat"), "\x05"); },
       "Index.dat", "is damaged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SampleStore store;
    c.damage(store);
    std::string out;
    EXPECT_GT(store.Verify(out), 0) << out;
    const std::string expected = store.Store(c.file) + ": ";
    bool found = false;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
      found |= line.rfind(expected, 0) == 0 && line.find(c.text) != std::string::npos;
    EXPECT_TRUE(found) << "expected a line " << expected << "..." << c.text << " in\n" << out;
    EXPECT_EQ(out.find("the store is whole"), std::string::npos);
  }
}

// Verify and checkout judge a store by the same rules: a revision that
// checkout refuses is one that verify reports, with the reason checkout
// gives, and a revision verify passes checks out. A link's target is judged
// whether the revision holds its bytes or carries them from an older one.
TEST(VerifyCommandTest, VerifyReportsWhatCheckoutRefuses) {
  using namespace std::string_literals;
  const std::string longName = "dir\\" + std::string(300, 'n');
  const struct {
    const char* what;
    test::SampleChanges changes;
    std::string problem;  // part of verify's line; "" for a store that is whole
  } cases[] = {
      {"a sound revision", {.Written = {{"fine.txt", {"ok"}}}}, ""},
      {"a link whose target holds a NUL byte",
       {.Written = {{"bad", {"a\0b"s, kAttrReparsePoint}}}},
       "'bad' cannot be checked out: its target holds a NUL byte"},
      {"a link whose target is empty",
       {.Written = {{"bad", {"", kAttrReparsePoint}}}},
       "'bad' cannot be checked out: its target is empty"},
      {"a link whose target is longer than a path may be",
       {.Written = {{"bad", {std::string(5000, 't'), kAttrReparsePoint}}}},
       "'bad' cannot be checked out: its target is longer than 4095 bytes"},
      {"a 300-byte name",
       {.Written = {{longName, {"x"}}}},
       "cannot be checked out: its name has a component of 300 bytes"},
      {"one path under two spellings",
       {.Written = {{"a\\b", {"1"}}, {"a/b", {"2"}}}},
       "'a\\b' cannot be checked out: its name occurs twice in the revision"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const bool carried : {false, true}) {
      SCOPED_TRACE(carried ? "carried into a later revision" : "in its own revision");
      SampleStore store;
      int newest = store.Record(c.changes);
      if (carried) newest = store.Record({.Written = {{"later.txt", {"later"}}}});
      std::string out;
      const int problems = store.Verify(out);
      const std::string checkoutError = test::ErrorOf([&] {
        std::ostringstream ignored;
        test::TempDir dest;
        RunCheckout({store.Root(), newest, dest / "out", false}, ignored);
      });
      if (c.problem.empty()) {
        EXPECT_EQ(problems, 0) << out;
        EXPECT_EQ(checkoutError, "");
        continue;
      }
      EXPECT_NE(out.find(store.Container(newest) + ": "), std::string::npos) << out;
      EXPECT_NE(out.find(c.problem), std::string::npos) << out;
      EXPECT_NE(checkoutError, "") << "checkout wrote a revision that verify refused";
    }
  }
}

TEST(VerifyCommandTest, TheToolsExitStatusSaysWhetherTheStoreIsWhole) {
  SampleStore store;
  const std::string quarv = test::BuiltProgram("quarv");
  std::string out, err;
  EXPECT_EQ(test::RunProgram({quarv, "verify", store.Root()}, "/", {}, out, err), 0) << err;
  fs::remove(store.Container(1));
  EXPECT_EQ(test::RunProgram({quarv, "verify", store.Root()}, "/", {}, out, err), 1);
  EXPECT_NE(out.find(store.Container(1) + ": the container of revision 1 is missing"),
            std::string::npos)
      << out;
  EXPECT_EQ(test::RunProgram({quarv, "verify", store.Root() + "nowhere"}, "/", {}, out, err), 1);
  EXPECT_EQ(err, "No Quarv store in '" + store.Root() + "nowhere/'\n");
}

}  // namespace
}  // namespace pellmor
