// A read-only file stream that reads ahead in large chunks, so that parsing a
// container field by field costs a few system calls instead of one per field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Streams.h"

namespace pellmor {

// Opens path for reading (TFileStream::Mode::OpenRead, with its open errors)
// and serves reads from a buffer. The file's size is taken at open; the file
// is closed when the reader is destroyed. Writing or resizing raises
// "Stream write error".
class TBufferedFileReader : public TStream {
 public:
  explicit TBufferedFileReader(const std::string& path);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Size() const override { return size_; }
  void SetSize(int64_t size) override;
  int64_t Position() const override { return position_; }
  void SetPosition(int64_t position) override;
  std::string FileName() const override { return file_.FileName(); }

 private:
  TFileStream file_;
  int64_t size_ = 0;
  int64_t position_ = 0;
  std::vector<uint8_t> buffer_;
  int64_t bufferStart_ = 0;  // file position of buffer_[0]
  size_t bufferFill_ = 0;    // valid bytes in buffer_
};

}  // namespace pellmor
