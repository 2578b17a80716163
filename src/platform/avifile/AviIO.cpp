#include "platform/avifile/AviIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace movara {
namespace {

class TFileAviIO : public TAviIO {
 public:
  TFileAviIO(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~TFileAviIO() override {
    if (fd_ >= 0) ::close(fd_);
  }

  uint64_t Size() const override { return size_.load(); }

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < n) {
      if (offset + done > static_cast<uint64_t>(INT64_MAX)) break;
      const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }

  size_t ReadAt2(uint64_t offset, void* a, size_t na, void* b, size_t nb) override {
    if (offset > static_cast<uint64_t>(INT64_MAX) - na - nb) return 0;
    iovec iov[2] = {{a, na}, {b, nb}};
    ssize_t r;
    do {
      r = ::preadv(fd_, iov, 2, static_cast<off_t>(offset));
    } while (r < 0 && errno == EINTR);
    if (r < 0) return 0;
    const auto got = static_cast<size_t>(r);
    if (got >= na + nb || got == 0) return got;
    // A short read (a signal, the end of the file): the rest the plain way.
    if (got < na) return got + TAviIO::ReadAt2(offset + got, static_cast<uint8_t*>(a) + got, na - got, b, nb);
    return got + ReadAt(offset + got, static_cast<uint8_t*>(b) + (got - na), nb - (got - na));
  }

  bool WriteAt(uint64_t offset, const void* data, size_t n) override {
    return WriteAt3(offset, data, n, nullptr, 0, nullptr, 0);
  }

  bool WriteAt3(uint64_t offset, const void* a, size_t na, const void* b, size_t nb, const void* c,
                size_t nc) override {
    const iovec pieces[3] = {{const_cast<void*>(a), na}, {const_cast<void*>(b), nb}, {const_cast<void*>(c), nc}};
    const size_t n = na + nb + nc;
    size_t done = 0;
    while (done < n) {
      // what is still to write (after a short write, from where it stopped)
      iovec iov[3];
      int count = 0;
      size_t skip = done;
      for (const iovec& p : pieces) {
        if (skip >= p.iov_len) {
          skip -= p.iov_len;
          continue;
        }
        iov[count++] = {static_cast<uint8_t*>(p.iov_base) + skip, p.iov_len - skip};
        skip = 0;
      }
      const ssize_t r = ::pwritev(fd_, iov, count, static_cast<off_t>(offset + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        // a write that takes nothing without an error is a full disk
        error_ = r < 0 ? errno : ENOSPC;
        return false;
      }
      done += static_cast<size_t>(r);
    }
    uint64_t end = offset + n;
    uint64_t cur = size_.load();
    while (end > cur && !size_.compare_exchange_weak(cur, end)) {
    }
    StartWriteBack(end);
    return true;
  }

  bool Truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      error_ = errno;
      return false;
    }
    size_.store(size);
    return true;
  }

  bool Flush() override {
    // what the disk has already taken makes this short (see StartWriteBack)
    if (::fsync(fd_) == 0 || errno == EINVAL) return true;
    error_ = errno;
    return false;
  }

  int LastError() const override { return error_.load(); }

 private:
  // A film is written front to back and made safe at its end (Flush before it takes
  // the place of an older one); the disk is handed each 4 MB as it is written, so the
  // final wait is for the last few megabytes only, not for the whole file. Handing
  // over does not wait for the disk.
  void StartWriteBack(uint64_t end) {
    constexpr uint64_t kStep = 4u << 20;
    uint64_t from = written_back_.load(std::memory_order_relaxed);
    if (end < from + kStep) return;
    if (!written_back_.compare_exchange_strong(from, end, std::memory_order_relaxed)) return;
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(fd_, static_cast<off_t>(from), static_cast<off_t>(end - from), SYNC_FILE_RANGE_WRITE);
#endif
  }

  int fd_;
  std::atomic<uint64_t> written_back_{0};
  std::atomic<uint64_t> size_;
  std::atomic<int> error_{0};
};

}  // namespace

size_t TAviIO::ReadAt2(uint64_t offset, void* a, size_t na, void* b, size_t nb) {
  const size_t first = ReadAt(offset, a, na);
  if (first < na) return first;
  return first + ReadAt(offset + na, b, nb);
}

bool TAviIO::WriteAt3(uint64_t offset, const void* a, size_t na, const void* b, size_t nb, const void* c,
                      size_t nc) {
  return WriteAt(offset, a, na) && WriteAt(offset + na, b, nb) && (nc == 0 || WriteAt(offset + na + nb, c, nc));
}

std::unique_ptr<TAviIO> OpenAviFileIO(const std::string& fileName, bool create) {
  // a pipe put where a file was expected must not wait for a writer: it is refused below
  const int flags = create ? (O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC) : (O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const int fd = ::open(fileName.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<TFileAviIO>(fd, static_cast<uint64_t>(st.st_size));
}

uint64_t TMemoryAviIO::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return view_ ? viewSize_ : data_.size();
}

size_t TMemoryAviIO::ReadAt(uint64_t offset, void* buffer, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint8_t* src = view_ ? view_ : data_.data();
  const uint64_t size = view_ ? viewSize_ : data_.size();
  if (offset >= size) return 0;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(n, size - offset));
  if (count > 0) std::memcpy(buffer, src + offset, count);
  return count;
}

bool TMemoryAviIO::WriteAt(uint64_t offset, const void* data, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (view_) return false;
  if (offset > capacity_ || n > capacity_ - offset) {
    // A full disk takes what fits, as a real one does.
    if (offset < capacity_) {
      const size_t part = static_cast<size_t>(capacity_ - offset);
      if (data_.size() < offset + part) data_.resize(static_cast<size_t>(offset + part));
      std::memcpy(data_.data() + offset, data, part);
    }
    return false;
  }
  if (data_.size() < offset + n) data_.resize(static_cast<size_t>(offset + n));
  if (n > 0) std::memcpy(data_.data() + offset, data, n);
  return true;
}

bool TMemoryAviIO::Truncate(uint64_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (view_ || size > capacity_) return false;
  data_.resize(static_cast<size_t>(size));
  return true;
}

void TMemoryAviIO::SetCapacity(uint64_t capacity) {
  std::lock_guard<std::mutex> lock(mutex_);
  capacity_ = capacity;
}

std::vector<uint8_t> TMemoryAviIO::Bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (view_) return std::vector<uint8_t>(view_, view_ + viewSize_);
  return data_;
}

}  // namespace movara
