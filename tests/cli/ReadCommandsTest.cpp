// quarv log, ls, cat and checkout on a store of three revisions written
// through the store engine: an executable, a symbolic link, a compressed
// file, a modification, a deletion and a rename; their output held against
// what each revision holds, JSON parsed back, and the errors for revisions,
// files and containers that are not there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>

#include "cli/CatCommand.h"
#include "cli/CheckoutCommand.h"
#include "cli/LogCommand.h"
#include "cli/LsCommand.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "store/uMyFS.h"
#include "tests/support/ErrorText.h"
#include "tests/support/FolderImage.h"
#include "tests/support/StoreWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TimeZone.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;

QJsonArray ParseArray(const std::string& text) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
  EXPECT_TRUE(document.isArray());
  return document.array();
}

// A revision's files as test::FolderImage shows a checkout of them.
std::map<std::string, std::string> TreeImage(const test::SampleTree& tree) {
  std::map<std::string, std::string> image;
  for (const auto& [name, file] : tree) {
    const std::string path = DiskPath("", name);
    if (file.Attributes & kAttrReparsePoint)
      image[path] = "-> " + file.Bytes;
    else
      image[path] = file.Bytes + ((file.Attributes & kAttrArchive) ? "*" : "");
  }
  return image;
}

class ReadCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { test::RecordSampleHistory(writer_); }

  std::string Log(bool reverse, bool json) {
    std::ostringstream out;
    RunLog({dir_.Path(), reverse, json}, out);
    return out.str();
  }
  std::string Ls(int32_t revision, bool all, bool json) {
    std::ostringstream out;
    RunLs({dir_.Path(), revision, all, json}, out);
    return out.str();
  }
  std::string Cat(int32_t revision, const std::string& name) {
    std::ostringstream out;
    RunCat({dir_.Path(), revision, name}, out);
    return out.str();
  }
  int Checkout(int32_t revision, const std::string& dest, bool force = false) {
    std::ostringstream out;
    return RunCheckout({dir_.Path(), revision, dest, force}, out);
  }
  // The length of a file's content block in a container, as the file holds it.
  int32_t BlockLength(int number, const std::string& name) const {
    TMyContaner records;
    records.LoadFromFile(Container(number), lpRecords);
    const std::string bytes = test::ReadFile(Container(number));
    int32_t length = -1;
    std::memcpy(&length, bytes.data() + records.Files.FindByName(name)->ContentOffset, 4);
    return length;
  }
  std::string Container(int number) const {
    return dir_ / (".Quarv/Objects/" + std::to_string(number) + ".dat");
  }

  const test::ScopedTimeZone zone_{"CET-1CEST,M3.5.0,M10.5.0/3"};
  test::TempDir dir_;
  test::TempDir out_;
  test::StoreWriter writer_{dir_.Path()};
};

TEST_F(ReadCommandsTest, LogShowsEachRevisionNewestFirstWithItsCounts) {
  EXPECT_EQ(Log(false, false),
            "revision 3\n"
            "Date:    2023-11-15T01:13:20+01:00\n"
            "Author:  Ann Author <ann@example.com>\n"
            "Changes: 1 added, 0 modified, 0 deleted, 1 renamed\n"
            "\n"
            "    add and rename\n"
            "\n"
            "revision 2\n"
            "Date:    2023-11-15T00:13:20+01:00\n"
            "Author:  Bo <bo@example.com>\n"
            "Changes: 0 added, 1 modified, 1 deleted, 0 renamed\n"
            "\n"
            "    edit and delete\n"
            "\n"
            "revision 1\n"
            "Date:    2023-11-14T23:13:20+01:00\n"
            "Author:  Ann Author <ann@example.com>\n"
            "Changes: 5 added, 0 modified, 0 deleted, 0 renamed\n"
            "\n"
            "    first\n"
            "\n"
            "    second line\n"
            "\n");
  const std::string reversed = Log(true, false);
  EXPECT_LT(reversed.find("revision 1\n"), reversed.find("revision 2\n"));
  EXPECT_LT(reversed.find("revision 2\n"), reversed.find("revision 3\n"));
}

TEST_F(ReadCommandsTest, LogJsonParsesBackToTheSameFields) {
  const QJsonArray revisions = ParseArray(Log(false, true));
  ASSERT_EQ(revisions.size(), 3);
  const QJsonObject first = revisions[2].toObject();
  EXPECT_EQ(first["revision"].toInt(), 1);
  EXPECT_EQ(first["date"].toString(), "2023-11-14T23:13:20+01:00");
  EXPECT_EQ(first["author"].toString(), "Ann Author");
  EXPECT_EQ(first["email"].toString(), "ann@example.com");
  EXPECT_EQ(first["message"].toString(), "first\r\n\r\nsecond line\r\n");
  EXPECT_EQ(first["added"].toInt(), 5);
  const QJsonObject second = revisions[1].toObject();
  EXPECT_EQ(second["modified"].toInt(), 1);
  EXPECT_EQ(second["deleted"].toInt(), 1);
  EXPECT_EQ(revisions[0].toObject()["renamed"].toInt(), 1);
  EXPECT_EQ(ParseArray(Log(true, true))[0].toObject()["revision"].toInt(), 1);
}

TEST_F(ReadCommandsTest, LsListsTheLiveFilesOfTheNewestRevision) {
  EXPECT_EQ(Ls(0, false, false),
            "a.txt                 10  unchanged  v2  r2  -\n"
            "c.txt                  4  added      v1  r3  -\n"
            "data.bin      " +
                Format("%10d", BlockLength(1, "data.bin")) +
                "  unchanged  v1  r1  z\n"
                "link                   5  unchanged  v1  r1  l\n"
                "tools\\run.sh          18  none       v0  r3  rx  renamed from run.sh\n");
  const std::string all = Ls(0, true, false);
  EXPECT_NE(all.find("run.sh                 0  none       v0  r3  dr  renamed to tools\\run.sh\n"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("sub\\b.txt              0  unchanged  v0  r2  d\n"), std::string::npos)
      << all;
  EXPECT_NE(Ls(1, false, false).find("\nsub\\b.txt  "), std::string::npos) << "revision 1 holds it";
}

TEST_F(ReadCommandsTest, LsJsonParsesBack) {
  const QJsonArray files = ParseArray(Ls(3, true, true));
  ASSERT_EQ(files.size(), 7);
  std::map<QString, QJsonObject> byName;
  for (const auto& file : files) byName[file.toObject()["name"].toString()] = file.toObject();
  const QJsonObject data = byName["data.bin"];
  EXPECT_TRUE(data["compressed"].toBool());
  EXPECT_EQ(data["data_revision"].toInt(), 1);
  EXPECT_EQ(data["change_kind"].toString(), "unchanged");
  EXPECT_GT(data["stored_size"].toInt(), 0);
  EXPECT_LT(data["stored_size"].toInt(), 300);
  EXPECT_TRUE(byName["link"]["symbolic_link"].toBool());
  EXPECT_EQ(byName["link"]["attributes"].toInt(), 0x400);
  const QJsonObject moved = byName["tools\\run.sh"];
  EXPECT_TRUE(moved["executable"].toBool());
  EXPECT_EQ(moved["renamed_from"].toString(), "run.sh");
  EXPECT_TRUE(moved["renamed_to"].isNull());
  EXPECT_TRUE(byName["run.sh"]["deleted"].toBool());
  EXPECT_EQ(byName["run.sh"]["renamed_to"].toString(), "tools\\run.sh");
  EXPECT_TRUE(byName["sub\\b.txt"]["deleted"].toBool());
  EXPECT_EQ(byName["a.txt"]["version"].toInt(), 2);
}

TEST_F(ReadCommandsTest, CatWritesTheBytesAFileHadInThatRevision) {
  const struct {
    int32_t revision;
    std::string name;
    std::string bytes;
  } cases[] = {
      {1, "a.txt", "alpha\n"},
      {2, "A.TXT", "alpha two\n"},
      {3, "data.bin", test::PatternBytes(300)},  // carried: fetched from revision 1, decompressed
      {1, "sub/b.txt", "bee\n"},
      {3, "tools\\run.sh", "#!/bin/sh\necho hi\n"},
      {3, "link", "a.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(Cat(c.revision, c.name), c.bytes) << c.name;
}

TEST_F(ReadCommandsTest, CatAndLsReportWhatIsNotThere) {
  const struct {
    std::function<void()> action;
    std::string message;
  } cases[] = {
      {[&] { Cat(9, "a.txt"); }, "Revision 9 does not exist in the store '" + dir_.Path() + "'"},
      {[&] { Ls(4, false, false); },
       "Revision 4 does not exist in the store '" + dir_.Path() + "'"},
      {[&] { Cat(1, "nope.txt"); }, "No file 'nope.txt' in revision 1"},
      {[&] { Cat(2, "sub\\b.txt"); }, "File 'sub\\b.txt' is deleted in revision 2"},
      {[&] {
         RunLs({out_ / "nothing", 0, false, false}, std::cout);
       },
       "No Quarv store in '" + out_ / "nothing/'"},
  };
  for (const auto& c : cases) EXPECT_EQ(test::ErrorOf(c.action), c.message);
}

TEST_F(ReadCommandsTest, DamagedOrMissingContainersGiveErrorsNamingTheFile) {
  // Cut revision 2 in the middle of its entry records.
  fs::resize_file(Container(2), 120);
  for (const auto& action :
       std::vector<std::function<void()>>{[&] { Ls(2, false, false); }, [&] { Cat(2, "a.txt"); },
                                          [&] { Cat(3, "a.txt"); }, [&] { Log(false, false); }}) {
    const std::string error = test::ErrorOf(action);
    EXPECT_EQ(error.rfind("Container '" + Container(2) + "' is damaged: ", 0), 0u) << error;
  }
  fs::remove(Container(1));
  const std::string missing = test::ErrorOf([&] { Cat(3, "data.bin"); });
  EXPECT_NE(missing.find(Container(1)), std::string::npos) << missing;
}

TEST_F(ReadCommandsTest, CheckoutOfEveryRevisionWritesItsFilesModesLinksAndTimes) {
  for (int revision = 1; revision <= 3; ++revision) {
    const std::string dest = out_ / ("rev" + std::to_string(revision));
    EXPECT_EQ(Checkout(revision, dest), static_cast<int>(writer_.Trees()[revision - 1].size()));
    EXPECT_EQ(test::FolderImage(dest), TreeImage(writer_.Trees()[revision - 1])) << revision;
  }
  struct stat script {};
  ASSERT_EQ(::stat((out_ / "rev3/tools/run.sh").c_str(), &script), 0);
  EXPECT_EQ(script.st_mtim.tv_sec, 1500000000);
  EXPECT_EQ(script.st_mtim.tv_nsec, 250000000);
}

TEST_F(ReadCommandsTest, CheckoutIntoAFolderThatIsNotEmptyNeedsForce) {
  const std::string dest = out_ / "dest";
  test::WriteFile(dest + "/a.txt", "mine");
  test::WriteFile(dest + "/other.txt", "keep");
  EXPECT_EQ(test::ErrorOf([&] { Checkout(1, dest); }),
            "Folder '" + dest + "' is not empty (--force writes into it)");
  EXPECT_EQ(test::ReadFile(dest + "/a.txt"), "mine");
  Checkout(1, dest, true);
  EXPECT_EQ(test::ReadFile(dest + "/a.txt"), "alpha\n");
  EXPECT_EQ(test::ReadFile(dest + "/other.txt"), "keep");
}

TEST_F(ReadCommandsTest, ForcedCheckoutNeverFollowsALinkThatTheFolderHeld) {
  const std::string dest = out_ / "dest";
  fs::create_directories(out_ / "elsewhere");
  fs::create_directories(dest);
  fs::create_directory_symlink(out_ / "elsewhere", dest + "/sub");
  const std::string error = test::ErrorOf([&] { Checkout(1, dest, true); });
  EXPECT_NE(error.find("It is a symbolic link"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_empty(out_ / "elsewhere"));
}

TEST_F(ReadCommandsTest, CheckoutRefusesUnsafeNamesBeforeWritingAnything) {
  // A fourth revision as someone might craft it: a link out of the folder and
  // a file written through it, and a name that climbs out.
  writer_.Record({.Written = {{"escape", {"/tmp", kAttrReparsePoint}},
                              {"escape\\owned.txt", {"x"}},
                              {"..\\..\\owned.txt", {"x"}}}});
  const std::string dest = out_ / "dest";
  const std::string error = test::ErrorOf([&] { Checkout(4, dest); });
  EXPECT_EQ(error,
            "Refusing to check out revision 4: '..\\..\\owned.txt' cannot be written safely (its "
            "name holds a '..' component)");
  EXPECT_FALSE(fs::exists(dest)) << "not even the destination is created";
  EXPECT_FALSE(fs::exists(out_ / "owned.txt"));
}

}  // namespace
}  // namespace pellmor
