#include "tests/support/GitRepoBuilder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/support/RunProgram.h"

namespace pellmor::test {

namespace {

std::string GitDate(int64_t seconds, int offset_minutes) {
  const int magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  char text[64];
  std::snprintf(text, sizeof text, "@%lld %c%02d%02d", static_cast<long long>(seconds),
                offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return text;
}

}  // namespace

GitRepoBuilder::GitRepoBuilder(std::string folder) : folder_(std::move(folder)) {
  if (folder_.empty() || folder_.back() != '/') folder_ += '/';
  std::filesystem::create_directories(folder_);
  Git({"init", "-q", "-b", "main", "."});
}

void GitRepoBuilder::WriteFile(const std::string& relative, const std::string& bytes) {
  const std::filesystem::path path = folder_ + relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

void GitRepoBuilder::RemoveFile(const std::string& relative) {
  if (::unlink((folder_ + relative).c_str()) != 0)
    throw std::runtime_error("cannot delete " + relative + ": " + std::strerror(errno));
}

void GitRepoBuilder::Symlink(const std::string& relative, const std::string& target) {
  const std::filesystem::path path = folder_ + relative;
  std::filesystem::create_directories(path.parent_path());
  if (::symlink(target.c_str(), path.c_str()) != 0)
    throw std::runtime_error("cannot link " + relative + ": " + std::strerror(errno));
}

void GitRepoBuilder::SetExecutable(const std::string& relative, bool executable) {
  const std::string path = folder_ + relative;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + relative);
  const mode_t mode = executable ? (st.st_mode | 0111) : (st.st_mode & ~mode_t{0111});
  if (::chmod(path.c_str(), mode) != 0) throw std::runtime_error("cannot chmod " + relative);
}

void GitRepoBuilder::Move(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(folder_ + to).parent_path());
  Git({"mv", from, to});
}

std::vector<std::string> GitRepoBuilder::SignatureEnvironment(const CommitOptions& options) {
  clock_ += 60;
  const int64_t author_time = options.Author.Seconds.value_or(clock_);
  const GitSignature& committer = options.Committer ? *options.Committer : options.Author;
  const int64_t committer_time = committer.Seconds.value_or(author_time);
  return {"GIT_AUTHOR_NAME=" + options.Author.Name,
          "GIT_AUTHOR_EMAIL=" + options.Author.Email,
          "GIT_AUTHOR_DATE=" + GitDate(author_time, options.Author.OffsetMinutes),
          "GIT_COMMITTER_NAME=" + committer.Name,
          "GIT_COMMITTER_EMAIL=" + committer.Email,
          "GIT_COMMITTER_DATE=" + GitDate(committer_time, committer.OffsetMinutes)};
}

std::string GitRepoBuilder::Commit(const std::string& message, const CommitOptions& options) {
  Git({"add", "-A"});
  const std::string message_file = ScratchFile(message);
  std::vector<std::string> args = {
      "-c",
      "i18n.commitEncoding=" + (options.Encoding.empty() ? "UTF-8" : options.Encoding),
      "commit",
      "-q",
      "--allow-empty",
      "--allow-empty-message",
      "--no-verify",
      "--cleanup=verbatim",
      "-F",
      message_file};
  Git(args, SignatureEnvironment(options));
  std::filesystem::remove(message_file);
  return RevParse("HEAD");
}

std::string GitRepoBuilder::CommitRawMessage(const std::string& message,
                                             const CommitOptions& options) {
  Git({"add", "-A"});
  std::string tree = Git({"write-tree"});
  tree.resize(40);
  std::string object = "tree " + tree + "\n";
  // An empty repository has no HEAD commit yet: the first commit has no parent.
  std::string parent;
  if (TryGit({"rev-parse", "-q", "--verify", "HEAD"}, parent))
    object += "parent " + parent.substr(0, 40) + "\n";
  const std::vector<std::string> env = SignatureEnvironment(options);
  // env holds NAME, EMAIL and "@seconds zone" for the author, then the committer.
  const auto value = [&](size_t i) { return env[i].substr(env[i].find('=') + 1); };
  object += "author " + value(0) + " <" + value(1) + "> " + value(2).substr(1) + "\n";
  object += "committer " + value(3) + " <" + value(4) + "> " + value(5).substr(1) + "\n";
  if (!options.Encoding.empty()) object += "encoding " + options.Encoding + "\n";
  object += "\n" + message;
  std::string id = Git({"hash-object", "-t", "commit", "-w", "--literally", ScratchFile(object)});
  id.resize(40);
  Git({"update-ref", "HEAD", id});
  std::filesystem::remove(folder_ + ".git/TEST_SCRATCH");
  return id;
}

void GitRepoBuilder::Tag(const std::string& name, const std::string& revision, bool annotated) {
  if (annotated)
    Git({"tag", "-a", "-m", "Tag " + name, name, revision}, SignatureEnvironment({}));
  else
    Git({"tag", name, revision});
}

void GitRepoBuilder::Branch(const std::string& name) { Git({"branch", name}); }

void GitRepoBuilder::Switch(const std::string& name) { Git({"checkout", "-q", name}); }

std::string GitRepoBuilder::Merge(const std::string& branch, const std::string& message,
                                  const CommitOptions& options) {
  Git({"merge", "-q", "--no-ff", "--no-edit", "-m", message, branch},
      SignatureEnvironment(options));
  return RevParse("HEAD");
}

std::string GitRepoBuilder::WriteBlob(const std::string& bytes) {
  std::string id = Git({"hash-object", "-w", ScratchFile(bytes)});
  id.resize(40);
  return id;
}

std::string GitRepoBuilder::MakeTree(const std::string& listing) {
  std::string id = Git({"mktree"}, {}, ScratchFile(listing));
  id.resize(40);
  return id;
}

std::string GitRepoBuilder::WriteTree(const std::vector<RawTreeEntry>& entries) {
  std::string object;
  for (const RawTreeEntry& entry : entries) {
    object += entry.Mode + " " + entry.Name + '\0';
    for (size_t i = 0; i + 1 < entry.Id.size(); i += 2)
      object += static_cast<char>(std::stoi(entry.Id.substr(i, 2), nullptr, 16));
  }
  std::string id = Git({"hash-object", "-t", "tree", "-w", "--literally", ScratchFile(object)});
  id.resize(40);
  return id;
}

std::string GitRepoBuilder::CommitTree(const std::string& tree, const std::string& message,
                                       const CommitOptions& options) {
  std::vector<std::string> args = {"commit-tree", tree, "-m", message};
  std::string parent;
  if (TryGit({"rev-parse", "-q", "--verify", "HEAD"}, parent))
    args.insert(args.end(), {"-p", parent.substr(0, 40)});
  std::string id = Git(args, SignatureEnvironment(options));
  id.resize(40);
  Git({"update-ref", "HEAD", id});
  return id;
}

std::string GitRepoBuilder::ScratchFile(const std::string& bytes) {
  // Inside .git: no byte passes the command line, and the working tree stays clean.
  const std::string path = folder_ + ".git/TEST_SCRATCH";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string GitRepoBuilder::RevParse(const std::string& revision) {
  std::string id = Git({"rev-parse", "--verify", revision + "^{commit}"});
  while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
  return id;
}

bool GitRepoBuilder::TryGit(const std::vector<std::string>& args, std::string& out,
                            const std::vector<std::string>& environment, std::string* err,
                            const std::string& inputFile) {
  // Standard input is /dev/null unless a shell redirects it from inputFile.
  std::vector<std::string> argv = {"git"};
  if (!inputFile.empty()) argv = {"sh", "-c", "exec git \"$@\" < \"$0\"", inputFile};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env = {"GIT_CONFIG_NOSYSTEM=1", "GIT_CONFIG_GLOBAL=/dev/null",
                                  "GIT_TERMINAL_PROMPT=0", "LC_ALL=C"};
  env.insert(env.end(), environment.begin(), environment.end());
  std::string errors;
  out.clear();
  const int status = RunProgram(argv, folder_, env, out, errors);
  if (err != nullptr) *err = errors;
  return status == 0;
}

std::string GitRepoBuilder::Git(const std::vector<std::string>& args,
                                const std::vector<std::string>& environment,
                                const std::string& inputFile) {
  std::string out, err;
  if (!TryGit(args, out, environment, &err, inputFile)) {
    std::string command = "git";
    for (const std::string& a : args) command += " " + a;
    throw std::runtime_error("'" + command + "' in " + folder_ + " failed: " + err + out);
  }
  return out;
}

}  // namespace pellmor::test
