// Fuzz target: the staging container Index.dat, as a conversion meets it:
// loaded by a store engine over a store of three revisions (with a pending
// rename) and recorded by Commit. Whatever Commit records must load back in
// a new engine as the newest revision, holding every staged name and the
// bytes staged under it.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "foundation/Exception.h"
#include "fuzz/FuzzCheck.h"
#include "store/uQuarvEngine.h"
#include "tests/support/StoreWriter.h"

namespace {

using namespace pellmor;
namespace fs = std::filesystem;

// A store made once, and the bytes of its files, to put it back before each
// input; removed with the folder it lies in when the program ends.
struct TPristineStore {
  TPristineStore() = default;
  TPristineStore(const TPristineStore&) = delete;
  TPristineStore& operator=(const TPristineStore&) = delete;
  ~TPristineStore() {
    std::error_code ignored;
    if (!Root.empty()) fs::remove_all(Root, ignored);
  }

  std::string Root;                          // ends in '/'
  std::map<std::string, std::string> Files;  // path below .Quarv -> bytes
};

std::string ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

// A folder on a memory file system when there is one: Commit syncs its writes.
std::string WorkFolder() {
  const char* chosen = std::getenv("PELLMOR_FUZZ_DIR");
  std::string base = chosen != nullptr              ? chosen
                     : fs::is_directory("/dev/shm") ? "/dev/shm"
                                                    : "/tmp";
  std::string pattern = base + "/pellmor-fuzz-index-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  return pattern + "/";
}

const TPristineStore& Pristine() {
  static TPristineStore store;
  if (store.Root.empty()) {
    store.Root = WorkFolder();
    test::StoreWriter writer(store.Root);
    test::RecordSampleHistory(writer);
    WriteBytes(store.Root + ".Quarv/Rename.txt", "\"c.txt\"->\"d.txt\"\r\n");
    for (const auto& entry : fs::recursive_directory_iterator(store.Root + ".Quarv"))
      if (entry.is_regular_file())
        store.Files[fs::relative(entry.path(), store.Root + ".Quarv").string()] =
            ReadBytes(entry.path());
  }
  return store;
}

void Restore(const TPristineStore& store) {
  const fs::path folder = store.Root + ".Quarv";
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && !store.Files.count(fs::relative(entry.path(), folder).string()))
      fs::remove(entry.path());
  for (const auto& [name, bytes] : store.Files) WriteBytes(folder / name, bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TPristineStore& store = Pristine();
  Restore(store);
  WriteBytes(store.Root + ".Quarv/Index.dat",
             std::string(reinterpret_cast<const char*>(data), size));

  TQuarv_Engine engine(store.Root);
  try {
    engine.Load();
  } catch (const Exception&) {
    return 0;  // a damaged index is refused, naming it
  }
  const int32_t number = engine.FileSystem->NextFreeNumber();
  // The first entry of each staged name and the digest of its bytes.
  std::map<std::string, TContentDigest> staged;
  for (const auto& entry : engine.Index->Files) {
    TContentDigest digest;
    ContentDigest(entry->Content, digest);
    staged.emplace(entry->UpperName(), digest);
  }
  try {
    engine.CommitUtc("fuzz", "", 1, "");
  } catch (const Exception&) {
    return 0;  // refused before anything was written
  }

  TQuarv_Engine after(store.Root);
  after.Load();
  const TMyContaner* newest = after.FileSystem->Containers.Last();
  FUZZ_CHECK(newest != nullptr && newest->Loaded);
  FUZZ_CHECK(newest->Number == (staged.empty() ? number - 1 : number));
  if (staged.empty()) return 0;
  for (const auto& [name, digest] : staged) {
    const TMyFile* entry = newest->Files.FindByName(name);
    FUZZ_CHECK(entry != nullptr && entry->DataRevision == number);
    TContentDigest recorded;
    ContentDigest(entry->Content, recorded);
    FUZZ_CHECK(recorded == digest && entry->Hash == digest);
  }
  return 0;
}
