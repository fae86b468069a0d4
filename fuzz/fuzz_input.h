// Taking typed values off the front of a fuzz input.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace kv::fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return size_ == 0; }
  uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  // A value made of the next sizeof(T) bytes (zeros past the end).
  template <typename T>
  T value() {
    unsigned char bytes[sizeof(T)] = {};
    size_t n = size_ < sizeof(T) ? size_ : sizeof(T);
    std::memcpy(bytes, data_, n);
    data_ += n;
    size_ -= n;
    T result;
    std::memcpy(&result, bytes, sizeof(T));
    return result;
  }
  // The next `n` bytes as text (fewer at the end).
  std::string_view text(size_t n) {
    if (n > size_) n = size_;
    std::string_view result(reinterpret_cast<const char*>(data_), n);
    data_ += n;
    size_ -= n;
    return result;
  }
  std::string_view rest() { return text(size_); }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace kv::fuzz
