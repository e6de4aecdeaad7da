// TempDir: a private directory under /tmp for one test, removed with all its
// contents when the object is destroyed. Plus the small file helpers tests
// need around it.
#ifndef NORVALEN_TESTS_SUPPORT_TEMPDIR_H_
#define NORVALEN_TESTS_SUPPORT_TEMPDIR_H_

#include <optional>
#include <string>

class TempDir {
 public:
  // Creates /tmp/norvalen-test-XXXXXX. A failure is reported as a test
  // failure and leaves path() empty.
  TempDir();
  ~TempDir();

  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, without a trailing slash.
  const std::string& path() const { return path_; }

  // path() + "/" + `name`; `name` may contain subdirectories.
  std::string file(const std::string& name) const;

  // Writes `content` to file(name), creating missing subdirectories, and
  // returns its full path; "" (and a test failure) when it cannot.
  std::string writeFile(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// The whole content of the file at `path`, or nothing when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);

#endif  // NORVALEN_TESTS_SUPPORT_TEMPDIR_H_
