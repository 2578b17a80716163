#pragma once
// Byte stores behind the AVI service: a file (positioned reads and writes, never the
// whole file in memory) or a memory block (the fuzz target, tests that simulate a full
// disk). Reads at an offset may come from several threads at once.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace movara {

class TAviIO {
 public:
  virtual ~TAviIO() = default;
  virtual uint64_t Size() const = 0;
  // Reads up to n bytes at offset; returns the bytes read (fewer at the end, 0 on error).
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
  // Reads na bytes at offset into a and the nb bytes after them into b, in one request
  // where the store can (a chunk's header and its data); returns the bytes read.
  virtual size_t ReadAt2(uint64_t offset, void* a, size_t na, void* b, size_t nb);
  // Writes all n bytes at offset; false when they could not all be written.
  virtual bool WriteAt(uint64_t offset, const void* data, size_t n) = 0;
  // Writes the na bytes of a, the nb bytes of b after them and the nc bytes of c after
  // those, in one request where the store can (a chunk's header, its data and its pad
  // byte, with no copy of the data); false when they could not all be written.
  virtual bool WriteAt3(uint64_t offset, const void* a, size_t na, const void* b, size_t nb, const void* c,
                        size_t nc);
  // Cuts (or extends) the store to size bytes.
  virtual bool Truncate(uint64_t size) = 0;
  virtual bool Flush() { return true; }
  // The system's error (errno) of the last write, cut or flush that failed; 0 when none
  // did or the store is no file.
  virtual int LastError() const { return 0; }
};

// Opens a regular file for reading, or creates (emptying) one for reading and writing.
// nullptr when that is not possible.
std::unique_ptr<TAviIO> OpenAviFileIO(const std::string& fileName, bool create);

// A store in memory. A read-only view of outside bytes, or an owned, growing block
// whose capacity can be capped to act like a full disk.
class TMemoryAviIO : public TAviIO {
 public:
  // Owned, empty, growing up to capacity bytes.
  explicit TMemoryAviIO(uint64_t capacity = UINT64_MAX) : capacity_(capacity) {}
  // Owned copy of bytes.
  explicit TMemoryAviIO(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
  // Read-only view; the bytes must outlive the object.
  TMemoryAviIO(const uint8_t* view, size_t size) : view_(view), viewSize_(size) {}

  uint64_t Size() const override;
  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override;
  bool WriteAt(uint64_t offset, const void* data, size_t n) override;
  bool Truncate(uint64_t size) override;

  void SetCapacity(uint64_t capacity);
  // The bytes (of an owned store).
  std::vector<uint8_t> Bytes() const;

 private:
  mutable std::mutex mutex_;
  std::vector<uint8_t> data_;
  const uint8_t* view_ = nullptr;
  size_t viewSize_ = 0;
  uint64_t capacity_ = UINT64_MAX;
};

}  // namespace movara
