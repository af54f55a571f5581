// A temporary folder used as $HOME for the length of a test, removed afterwards.
#pragma once

#include <string>

namespace corvane::test {

class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string saved_home_;
  bool had_home_ = false;
};

}  // namespace corvane::test
