#include "support/replacefile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::FILE* beginReplacement(const char* path, ReplacementFile* r) {
  r->file = nullptr;
  r->target[0] = r->temporary[0] = '\0';
  const int length = std::snprintf(r->target, sizeof r->target, "%s", path);
  if (length < 0 || length + 1 > int(sizeof r->target) ||
      std::snprintf(r->temporary, sizeof r->temporary, "%s%s", path, REPLACEMENT_SUFFIX) >=
          int(sizeof r->temporary)) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  r->file = std::fopen(r->temporary, "wb");
  if (!r->file) {
    r->temporary[0] = '\0';  // nothing of ours to remove
    return nullptr;
  }
  struct stat old;
  if (stat(path, &old) == 0) fchmod(fileno(r->file), old.st_mode & 07777);
  return r->file;
}

bool closeReplacement(ReplacementFile* r) {
  if (!r->file) {
    errno = EBADF;
    return false;
  }
  bool ok = std::fflush(r->file) == 0 && !std::ferror(r->file) && fsync(fileno(r->file)) == 0;
  int error = ok ? 0 : errno;
  if (std::fclose(r->file) != 0 && ok) {
    ok = false;
    error = errno;
  }
  r->file = nullptr;
  if (!ok) {
    std::remove(r->temporary);
    r->temporary[0] = '\0';
    errno = error ? error : EIO;  // a failed write that left no errno
  }
  return ok;
}

bool commitReplacement(ReplacementFile* r) {
  if (r->file && !closeReplacement(r)) return false;
  if (!r->temporary[0]) {
    errno = EBADF;
    return false;
  }
  if (std::rename(r->temporary, r->target) != 0) {
    const int error = errno;
    std::remove(r->temporary);
    r->temporary[0] = '\0';
    errno = error;
    return false;
  }
  r->temporary[0] = '\0';
  return true;
}

void abandonReplacement(ReplacementFile* r) {
  const int error = errno;
  if (r->file) std::fclose(r->file);
  r->file = nullptr;
  if (r->temporary[0]) std::remove(r->temporary);
  r->temporary[0] = '\0';
  errno = error;
}
