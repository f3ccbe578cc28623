// Runs a program for a test and collects what it writes.
#pragma once

#include <string>
#include <vector>

namespace pellmor::test {

// Runs args[0] (looked up in PATH unless it holds a '/') with args in folder,
// standard input from /dev/null, the environment of the test plus extra
// entries (NAME=value, replacing ours of the same name). Returns the exit
// status (-1 when it did not exit normally); out and err get its standard
// output and standard error, peakKilobytes (when given) the most memory it
// held at once (its peak resident set). Throws std::runtime_error when it
// cannot start.
int RunProgram(const std::vector<std::string>& args, const std::string& folder,
               const std::vector<std::string>& extra, std::string& out, std::string& err,
               long* peakKilobytes = nullptr);

// Whether a child's peak resident set says what the program itself holds.
// Under AddressSanitizer it does not: the allocator keeps freed blocks in a
// quarantine of 256 MiB, so bounds on memory are checked by the plain build.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPeakMemoryIsTheProgramsOwn = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kPeakMemoryIsTheProgramsOwn = false;
#else
inline constexpr bool kPeakMemoryIsTheProgramsOwn = true;
#endif
#else
inline constexpr bool kPeakMemoryIsTheProgramsOwn = true;
#endif

// A program started in the background, its standard output and error going
// to files; standard input from /dev/null.
class BackgroundProgram {
 public:
  // Starts args[0] (looked up in PATH unless it holds a '/') with args.
  // Throws std::runtime_error when it cannot start.
  BackgroundProgram(const std::vector<std::string>& args, const std::string& outFile,
                    const std::string& errFile);
  // Waits for the program's end unless Wait did.
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  void Signal(int signal) const;
  // Whether the program still runs (it is reaped once it ended).
  bool Running();
  // Waits for the end; returns the status as waitpid gives it.
  int Wait();

 private:
  int pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
};

// The path of a program of this build (e.g. "quarv"): in PELLMOR_BIN when set,
// else beside the running test program (both live in the build's bin folder).
std::string BuiltProgram(const std::string& name);

}  // namespace pellmor::test
