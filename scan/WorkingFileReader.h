// Reads a known sequence of working files ahead of their use, on a few of
// the process's worker threads (TWorkerThreads): each file whole into one
// buffer, hashed in place. The caller takes the files strictly in the
// planned order and gets each file's bytes, digest and read error exactly as
// a read at that moment would have given them, so that results and errors
// keep their order. While the file it asks for is not ready, the caller
// reads the next files itself, so a busy machine costs little more than
// reading alone.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/Streams.h"
#include "foundation/WorkerThreads.h"
#include "foundation/uMyHash.h"

namespace pellmor {

class TWorkingFileReader {
 public:
  // Hands at most `threads` workers (at least one) to the worker threads, to
  // read the disk paths in order.
  // Files finished but not yet taken are kept to at most maxFilesAhead files
  // and maxBytesAhead bytes (the next file to take is always read).
  TWorkingFileReader(std::vector<std::string> paths, int threads, int maxFilesAhead,
                     int64_t maxBytesAhead);
  TWorkingFileReader(const TWorkingFileReader&) = delete;
  TWorkingFileReader& operator=(const TWorkingFileReader&) = delete;
  // Stops the workers (a read under way is finished) and waits for them;
  // workers no thread has started never run.
  ~TWorkingFileReader();

  // The next file of the sequence, which must be `path`: waits until it is
  // read, then bytes := its bytes (taken over, position 0; bytes' former
  // buffer is kept for a later file or freed) and digest := their content
  // digest. Raises the file's
  // read error (ReadFileContent's messages, naming the file).
  void Take(const std::string& path, TMemoryStream& bytes, TContentDigest& digest);

  // The number of worker threads a reader of the working folder uses.
  static int DefaultThreads();

 private:
  struct Slot {
    TMemoryStream bytes;
    TContentDigest digest{};
    std::exception_ptr error;
    bool ready = false;
  };

  void Work();
  void Stop();
  // Under the lock, released while reading: reads the next file no one has
  // picked up into its slot.
  void ReadNext(std::unique_lock<std::mutex>& lock);
  // Under the lock: whether a worker may start on the next file.
  bool HasRoom() const;

  const std::vector<std::string> paths_;
  std::vector<Slot> slots_;
  const int maxFilesAhead_;
  const int64_t maxBytesAhead_;

  std::mutex mutex_;
  std::condition_variable fileReady_;  // the caller waits on it
  std::condition_variable spaceFree_;  // workers wait on it for room
  size_t next_ = 0;                    // the next file a worker picks up
  size_t taken_ = 0;                   // the next file the caller takes
  int64_t bytesAhead_ = 0;             // bytes of files read and not yet taken
  int waitingForRoom_ = 0;             // workers waiting on spaceFree_
  bool callerWaiting_ = false;
  bool stopping_ = false;
  std::vector<std::unique_ptr<TMemoryStream>> spare_;  // buffers given back by Take
  std::vector<TWorkerTask> workers_;
};

}  // namespace pellmor
