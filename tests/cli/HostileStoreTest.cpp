// The reading commands on stores that someone made hostile: special files
// where the store's files should be, names and texts with control bytes and
// NULs, compressed blocks that expand to far more than they take, and
// arguments that are no numbers. Each ends in a plain answer or a clear
// error, never a hang, a cut name or unbounded memory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <sstream>
#include <string>

#include "cli/CatCommand.h"
#include "cli/LogCommand.h"
#include "cli/LsCommand.h"
#include "cli/VerifyCommand.h"
#include "foundation/Platform.h"
#include "tests/support/ErrorText.h"
#include "tests/support/RawContainer.h"
#include "tests/support/RunProgram.h"
#include "tests/support/StoreWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TimeZone.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class HostileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { test::RecordSampleHistory(writer_); }

  std::string Store(const std::string& relative) const { return dir_ / (".Quarv/" + relative); }
  std::string Container(int number) const {
    return Store("Objects/" + std::to_string(number) + ".dat");
  }
  std::string Ls(int32_t revision, bool json) {
    std::ostringstream out;
    RunLs({dir_.Path(), revision, true, json}, out);
    return out.str();
  }
  std::string Log(bool json) {
    std::ostringstream out;
    RunLog({dir_.Path(), false, json}, out);
    return out.str();
  }
  int Verify(std::string& out) {
    std::ostringstream text;
    const int problems = RunVerify({dir_.Path(), false}, text);
    out = text.str();
    return problems;
  }
  // Runs the built tool; returns its exit status.
  int Quarv(const std::vector<std::string>& args, std::string& out, std::string& err,
            long* peakKilobytes = nullptr) {
    std::vector<std::string> command = {test::BuiltProgram("quarv")};
    command.insert(command.end(), args.begin(), args.end());
    return test::RunProgram(command, "/", {}, out, err, peakKilobytes);
  }

  const test::ScopedTimeZone zone_{"UTC0"};
  test::TempDir dir_;
  test::StoreWriter writer_{dir_.Path()};
};

// Opening a FIFO for reading waits for a writer: none of the readers may.
TEST_F(HostileStoreTest, AFifoWhereAStoreFileShouldBeIsRefusedNotWaitedOn) {
  fs::remove(Container(2));
  ASSERT_EQ(::mkfifo(Container(2).c_str(), 0666), 0);
  const std::string refused = "Cannot open file \"" + Container(2) + "\". It is not a regular file";
  EXPECT_NE(test::ErrorOf([&] { Ls(2, false); }).find(refused), std::string::npos);
  EXPECT_NE(test::ErrorOf([&] { Log(false); }).find(refused), std::string::npos);
  std::string out;
  EXPECT_GT(Verify(out), 0);
  EXPECT_NE(out.find(Container(2) + ": " + refused), std::string::npos) << out;

  // An unlisted one in Objects, and the history itself.
  ASSERT_EQ(::mkfifo(Container(9).c_str(), 0666), 0);
  Verify(out);
  fs::remove(Store("History.txt"));
  ASSERT_EQ(::mkfifo(Store("History.txt").c_str(), 0666), 0);
  EXPECT_NE(test::ErrorOf([&] {
              Log(false);
            }).find("Cannot open file \"" + Store("History.txt") + "\". It is not a regular file"),
            std::string::npos);
}

TEST_F(HostileStoreTest, NamesAndTextsWithControlBytesShowOnTheirOwnLineAndJsonKeepsThem) {
  const std::string newline = "two\nlines.txt";
  const std::string nul = "nul\0name"s;
  writer_.Record({.Written = {{newline, {"x"}}, {nul, {"y"}}}}, "subject\a\r\n\r\nbody \x1b[2J\r\n",
                 133100000000000000ULL, "Eve\x1b[31m", "eve@example.com");
  const std::string ls = Ls(4, false);
  EXPECT_NE(ls.find("\"two\\nlines.txt\"  "), std::string::npos) << ls;
  EXPECT_NE(ls.find("\"nul\\000name\"  "), std::string::npos) << ls;
  EXPECT_EQ(ls.find('\x1b'), std::string::npos);
  const std::string log = Log(false);
  EXPECT_NE(log.find("Author:  \"Eve\\033[31m\" <eve@example.com>\n"), std::string::npos) << log;
  EXPECT_NE(log.find("    subject\\007\n"), std::string::npos) << log;
  EXPECT_NE(log.find("    body \\033[2J\n"), std::string::npos) << log;

  const QJsonArray files = QJsonDocument::fromJson(QByteArray::fromStdString(Ls(4, true))).array();
  QStringList names;
  for (const auto& file : files) names << file.toObject()["name"].toString();
  EXPECT_TRUE(names.contains(QString::fromStdString(newline)));
  EXPECT_TRUE(names.contains(QString::fromUtf8(nul.data(), static_cast<int>(nul.size()))));
  const QJsonArray revisions =
      QJsonDocument::fromJson(QByteArray::fromStdString(Log(true))).array();
  EXPECT_EQ(revisions[0].toObject()["author"].toString().toStdString(), "Eve\x1b[31m");
}

TEST_F(HostileStoreTest, MessagesShowANameWithANulWhole) {
  writer_.Record({.Written = {{"nul\0name"s, {"y"}}}});
  writer_.Record({.Deleted = {"nul\0name"s}});
  EXPECT_EQ(test::ErrorOf([&] {
              std::ostringstream out;
              RunCat({dir_.Path(), 5, "nul\0name"s}, out);
            }),
            "File '\"nul\\000name\"' is deleted in revision 5");
  std::string out;
  Verify(out);
  EXPECT_NE(out.find("'\"nul\\000name\"' cannot be checked out: its name holds a NUL byte"),
            std::string::npos)
      << out;
}

TEST_F(HostileStoreTest, RevisionArgumentsThatAreNoNumbersGetAPlainMessage) {
  for (const char* text : {"0", "-1", "abc", "1e3", "2147483648", "99999999999999999999"}) {
    for (const char* command : {"ls", "cat", "checkout"}) {
      std::string out, err;
      std::vector<std::string> args = {command, dir_.Path(), text};
      if (std::string(command) != "ls") args.push_back("a.txt");
      EXPECT_NE(Quarv(args, out, err), 0);
      EXPECT_EQ(err.substr(0, err.find('\n')),
                "REV: '" + std::string(text) +
                    "' is not a revision number (a whole number from 1 to "
                    "2147483647)")
          << command << " " << text;
    }
  }
  std::string out, err;
  EXPECT_EQ(Quarv({"ls", dir_.Path(), "2147483647"}, out, err), 1);
  EXPECT_EQ(err, "Revision 2147483647 does not exist in the store '" + dir_.Path() + "'\n");
}

// A file of 96 MiB of zeros takes a few hundred KiB in the store. Reading
// it back holds one piece of it at a time, never the whole.
TEST_F(HostileStoreTest, CatAndCheckoutOfAHugeFileHoldLittleMemory) {
  constexpr int64_t kMebibytes = 96;
  test::WriteFile(Container(4), test::RawContainer(4, 3, 0,
                                                   {{.Name = "zeros.bin",
                                                     .Block = test::ZerosZlibStream(kMebibytes),
                                                     .Compressed = true,
                                                     .Hash = test::ZerosDigest(kMebibytes)}}));
  test::WriteFile(Store("History.txt"), "1.dat\r\n2.dat\r\n3.dat\r\n4.dat\r\n");
  test::TempDir dest;
  std::string out, err;
  long peak = 0;
  EXPECT_EQ(Quarv({"cat", dir_.Path(), "4", "zeros.bin"}, out, err, &peak), 0) << err;
  EXPECT_EQ(out.size(), size_t{kMebibytes} << 20);
  if (test::kPeakMemoryIsTheProgramsOwn) EXPECT_LT(peak, 64 * 1024) << "kilobytes held by cat";
  // A child's peak counts what this process held when it forked it.
  std::string().swap(out);
  EXPECT_EQ(Quarv({"checkout", dir_.Path(), "4", dest.Path()}, out, err, &peak), 0) << err;
  EXPECT_EQ(fs::file_size(dest / "zeros.bin"), uintmax_t{kMebibytes} << 20);
  if (test::kPeakMemoryIsTheProgramsOwn) EXPECT_LT(peak, 64 * 1024) << "kilobytes held by checkout";
  EXPECT_EQ(Quarv({"verify", dir_.Path()}, out, err, &peak), 1) << "4.dat does not link up";
  EXPECT_EQ(out.find("zeros.bin"), std::string::npos) << out;
  if (test::kPeakMemoryIsTheProgramsOwn) EXPECT_LT(peak, 64 * 1024) << "kilobytes held by verify";
}

// Bytes that fail their digest are never written: cat writes nothing,
// checkout removes the file it began.
TEST_F(HostileStoreTest, BytesThatFailTheirDigestAreNotWritten) {
  test::WriteFile(Container(4), test::RawContainer(4, 3, 0,
                                                   {{.Name = "zeros.bin",
                                                     .Block = test::ZerosZlibStream(3),
                                                     .Compressed = true,
                                                     .Hash = test::ZerosDigest(2)}}));
  test::WriteFile(Store("History.txt"), "1.dat\r\n2.dat\r\n3.dat\r\n4.dat\r\n");
  const std::string mismatch = "The bytes of 'zeros.bin' in revision 4 do not match its digest";
  std::ostringstream out;
  EXPECT_NE(test::ErrorOf([&] {
              RunCat({dir_.Path(), 4, "zeros.bin"}, out);
            }).find(mismatch),
            std::string::npos);
  EXPECT_EQ(out.str(), "");
  test::TempDir dest;
  std::string text, err;
  EXPECT_EQ(Quarv({"checkout", dir_.Path(), "4", dest.Path()}, text, err), 1);
  EXPECT_NE(err.find(mismatch), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dest / "zeros.bin"));
}

}  // namespace
}  // namespace pellmor
