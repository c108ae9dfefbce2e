#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>

#include "metrics_file.h"

namespace brisakett {
namespace {

bool WriteAll(int file, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(file, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A new file beside `path`, on the same file system so that the rename
// cannot be a copy. O_EXCL: never a file or link found there under the
// name; mode 0666 less the umask, as any program's output gets.
int CreateBeside(const std::string& path, std::string& temporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    temporary = path + suffix;
    const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file >= 0 || errno != EEXIST) return file;
  }
  return -1;
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, const std::string& text, std::string& problem) {
  std::string temporary;
  const int file = CreateBeside(path, temporary);
  if (file < 0) {
    problem = std::strerror(errno);
    return false;
  }
  // On the disk before it takes the name, so that a crash leaves the old
  // file or the new one.
  bool done = WriteAll(file, text) && ::fsync(file) == 0;
  int error = errno;
  if (::close(file) != 0 && done) {
    done = false;
    error = errno;
  }
  if (done && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  if (done) error = errno;
  ::unlink(temporary.c_str());
  problem = std::strerror(error);
  return false;
}

}  // namespace brisakett
