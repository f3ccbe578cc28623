#include "store/BufferedFileReader.h"

#include <algorithm>
#include <cstring>

#include "foundation/Exception.h"

namespace pellmor {

namespace {
constexpr size_t kChunk = 256 * 1024;
}

TBufferedFileReader::TBufferedFileReader(const std::string& path)
    : file_(path, TFileStream::Mode::OpenRead), size_(file_.Size()) {}

size_t TBufferedFileReader::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count && position_ < size_) {
    const int64_t offset = position_ - bufferStart_;
    if (offset >= 0 && offset < static_cast<int64_t>(bufferFill_)) {
      const size_t n = std::min(count - done, bufferFill_ - static_cast<size_t>(offset));
      std::memcpy(out + done, buffer_.data() + offset, n);
      done += n;
      position_ += static_cast<int64_t>(n);
      continue;
    }
    // Large reads (content blocks) go straight to the caller's memory.
    if (count - done >= kChunk) {
      file_.SetPosition(position_);
      const size_t n = file_.Read(out + done, count - done);
      if (n == 0) break;
      done += n;
      position_ += static_cast<int64_t>(n);
      continue;
    }
    buffer_.resize(kChunk);
    file_.SetPosition(position_);
    bufferStart_ = position_;
    bufferFill_ = file_.Read(buffer_.data(), kChunk);
    if (bufferFill_ == 0) break;
  }
  return done;
}

size_t TBufferedFileReader::Write(const void*, size_t) { return 0; }

void TBufferedFileReader::SetSize(int64_t) { throw Exception("Stream write error"); }

void TBufferedFileReader::SetPosition(int64_t position) {
  if (position < 0) throw Exception("Stream seek error");
  position_ = position;
}

}  // namespace pellmor
