// What the fuzz targets share: a reader that turns the fuzzer's bytes into a script, and a check
// that stops the run with a message when a property fails.
#ifndef USB1284_TESTS_FUZZ_INPUT_H
#define USB1284_TESTS_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Reads the input front to back. Once it runs out every read gives zeros, so any input is a
// complete script.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  uint16_t U16() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }

  uint32_t U32() {
    const uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
  }

  // Up to `most` bytes, fewer when the input ends first.
  std::string Bytes(size_t most) {
    const size_t n = most < size_ - pos_ ? most : size_ - pos_;
    std::string out(reinterpret_cast<const char*>(data_) + pos_, n);
    pos_ += n;
    return out;
  }

  std::string Rest() { return Bytes(size_ - pos_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

}  // namespace fuzz

// Stays in release builds, unlike assert.
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : ::fuzz::Fail(__FILE__, __LINE__, #condition))

#endif  // USB1284_TESTS_FUZZ_INPUT_H
