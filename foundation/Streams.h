// Seekable byte streams: the in-memory buffer and the disk file that every
// binary record of the store is read from and written to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pellmor {

// A seekable byte stream. Read and Write move the position past what they
// transferred and return how many bytes that was; ReadBuffer and WriteBuffer
// insist on the whole count ("Stream read error", of kind ekDamaged: the
// bytes are not there; "Stream write error").
class TStream {
 public:
  virtual ~TStream() = default;

  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  virtual int64_t Size() const = 0;
  virtual void SetSize(int64_t size) = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t position) = 0;
  // The file the stream reads or writes, for messages; "(memory stream)"
  // for bytes held in memory.
  virtual std::string FileName() const = 0;

  // Bytes between the position and the end (0 when positioned past it).
  int64_t Remaining() const;
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count);
  // Copies count bytes from source's position into this stream.
  void CopyFrom(TStream& source, int64_t count);
};

// A growable in-memory byte buffer with direct access to its bytes.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;
  ~TMemoryStream() override;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Size() const override { return static_cast<int64_t>(size_); }
  // Grows or shrinks the buffer; new bytes are not initialised. The position is kept.
  void SetSize(int64_t size) override;
  int64_t Position() const override { return static_cast<int64_t>(position_); }
  void SetPosition(int64_t position) override;
  std::string FileName() const override { return "(memory stream)"; }

  // The buffer's first byte; valid until the next size change.
  uint8_t* Memory() { return data_; }
  const uint8_t* Memory() const { return data_; }
  void Clear();
  // Releases the buffer's spare capacity (after it was sized generously).
  void ShrinkToFit();
  // Makes the content exactly these bytes, position 0.
  void Assign(const void* bytes, size_t count);
  // Exchanges contents and positions with another memory stream (no copy).
  void Swap(TMemoryStream& other) noexcept;

 private:
  void Reserve(size_t capacity);

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t position_ = 0;
};

// The reason given when a FIFO, socket or device stands where a file is expected.
inline constexpr char kNotRegularFile[] = "It is not a regular file";

// A regular file on disk, opened for the duration of one read or write.
// Failures to open raise "Cannot open file "%s". %s" or
// "Cannot create file "%s". %s" with the system's reason; anything but a
// regular file (a folder, a FIFO, a device) is refused that way without
// waiting on it. Failures to read or write raise "Cannot read file ..." and
// "Cannot write file ...". All are of the kind ThrowSystemError gives them
// (ekNotFound or ekInputOutput).
class TFileStream : public TStream {
 public:
  enum class Mode {
    OpenRead,       // existing file, read only; other writers are kept out as far as Linux allows
    OpenReadWrite,  // existing file, read and write in place
    Create,         // created, or truncated when it exists
  };

  TFileStream(const std::string& path, Mode mode);
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  ~TFileStream() override;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Size() const override;
  void SetSize(int64_t size) override;
  int64_t Position() const override { return position_; }
  void SetPosition(int64_t position) override;
  std::string FileName() const override { return path_; }

  // Flushes the file's data to the disk ("Cannot write file" on failure).
  void Sync();

 private:
  std::string path_;
  int fd_ = -1;
  int64_t position_ = 0;
};

}  // namespace pellmor
