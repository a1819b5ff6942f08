// Sends the console (std::cout) to another buffer while it lives.
#pragma once

#include <iostream>

class ConsoleCapture {
 public:
  explicit ConsoleCapture(std::streambuf* target) : saved_(std::cout.rdbuf(target)) {}
  ~ConsoleCapture() { std::cout.rdbuf(saved_); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

 private:
  std::streambuf* saved_;
};
