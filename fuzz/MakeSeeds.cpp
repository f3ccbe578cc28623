// Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/) from
// a real store: the sample history the tests record (three revisions with a
// compressed file, a symbolic link, an executable, a deletion and a rename),
// an index staged over it, its text files, the compressed blocks its
// containers hold, and commit messages in the encodings Git meets.
//
//   fuzz_seeds FOLDER   (FOLDER: fuzz/corpus of the source tree)
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/uMyStreamUtils.h"
#include "store/uMyFS.h"
#include "store/uQuarvEngine.h"
#include "tests/support/StoreWriter.h"
#include "tests/support/TempDir.h"

namespace {

using namespace pellmor;
namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void Seed(const fs::path& corpus, const std::string& target, const std::string& name,
          const std::string& bytes) {
  fs::create_directories(corpus / target);
  std::ofstream(corpus / target / name, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The compressed blocks of a container, each as the compressed_block target
// takes it: a byte that chooses the bound, then the zlib data.
void SeedBlocks(const fs::path& corpus, const std::string& path, int number) {
  const std::string bytes = ReadBytes(path);
  TMyContaner records;
  records.LoadFromFile(path, lpRecords);
  for (const auto& entry : records.Files) {
    if (!entry->Compressed) continue;
    int32_t length = 0;
    std::memcpy(&length, bytes.data() + entry->ContentOffset, 4);
    Seed(corpus, "compressed_block", "rev" + std::to_string(number) + "-" + entry->UpperName(),
         '\0' + bytes.substr(static_cast<size_t>(entry->ContentOffset) + 4,
                             static_cast<size_t>(length)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS-FOLDER\n");
    return 2;
  }
  const fs::path corpus = argv[1];
  test::TempDir dir;
  test::StoreWriter writer(dir.Path());
  test::RecordSampleHistory(writer);
  const std::string store = dir / ".Quarv/";

  for (int number = 1; number <= 3; ++number) {
    const std::string path = store + "Objects/" + std::to_string(number) + ".dat";
    Seed(corpus, "container", std::to_string(number) + ".dat", ReadBytes(path));
    SeedBlocks(corpus, path, number);
  }
  Seed(corpus, "history", "History.txt", ReadBytes(store + "History.txt"));
  Seed(corpus, "history", "mixed-line-ends.txt", "1.dat\r\n2.dat\n3\rnotes.txt\r\n-4.dat\r\n");

  // An index as the change loader leaves it: a change, an addition, a
  // deletion and a rename pair, with its record in Rename.txt.
  {
    TQuarv_Engine engine(dir.Path());
    engine.Load();
    TMyFileList& index = engine.Index->Files;
    TMyFile* changed = index.FindOrAdd("a.txt");
    changed->ChangeKind = ckModified;
    changed->Content.Assign("alpha three\n", 12);
    TMyFile* added = index.FindOrAdd("big.bin");
    added->ChangeKind = ckAdded;
    const std::string big = test::PatternBytes(4000);
    added->Content.Assign(big.data(), big.size());
    index.FindOrAdd("data.bin")->Deleted = true;
    TMyFile* to = index.FindOrAdd("d.txt");
    to->IsLink = true;
    to->LinkName = "c.txt";
    to->Content.Assign("sea\n", 4);
    TMyFile* from = index.FindOrAdd("c.txt");
    from->IsLink = true;
    from->Deleted = true;
    from->LinkName = "d.txt";
    engine.SaveIndex();
  }
  Seed(corpus, "index", "Index.dat", ReadBytes(store + "Index.dat"));
  Seed(corpus, "rename", "Rename.txt",
       "\"c.txt\"->\"d.txt\"\r\n  \"src\\a.pas\"->\"src\\b.pas\"  \n\"\"->\"\"\rno record\r\n");
  Seed(corpus, "ignore", "Ignore.txt",
       "docs\\notes.txt\r\nbuild\\out.bin\nDOCS\\NOTES.TXT\r\n\r\n");

  {
    TMemoryStream text, packed;
    const std::string words = "The quick brown fox jumps over the lazy dog.\n";
    std::string many;
    for (int i = 0; i < 40; ++i) many += words;
    text.Assign(many.data(), many.size());
    CompressMemoryStream(text, packed);
    Seed(corpus, "compressed_block", "text",
         '\0' + std::string(reinterpret_cast<const char*>(packed.Memory()), packed.Size()));
    TMemoryStream empty, emptyPacked;
    CompressMemoryStream(empty, emptyPacked);
    Seed(corpus, "compressed_block", "empty-bound-255",
         '\3' +
             std::string(reinterpret_cast<const char*>(emptyPacked.Memory()), emptyPacked.Size()));
  }

  // The first byte chooses the encoding (see CommitMessageFuzzer.cpp).
  Seed(corpus, "commit_message", "utf8",
       std::string(1, '\0') + "Fix the \xC3\xA9t\xC3\xA9 bug\n\nDetails.\n");
  Seed(corpus, "commit_message", "latin1-named", std::string(1, '\2') + "Caf\xE9 cr\xE8me\n");
  Seed(corpus, "commit_message", "cp1252-unnamed",
       std::string(1, '\0') + "\x93quoted\x94 \x80 5\n");
  Seed(corpus, "commit_message", "shift-jis", std::string(1, '\4') + "\x93\xfa\x96\x7b\x8c\xea\n");
  Seed(corpus, "commit_message", "bogus-encoding",
       std::string(1, '\12') +
           "a\xFF"
           "b\n");
  std::printf("seeds written into %s\n", corpus.c_str());
  return 0;
}
