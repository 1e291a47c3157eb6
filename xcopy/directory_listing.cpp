// Reads a directory with getdents64 into one block: no DIR stream, so no
// per-directory buffer stays allocated while the walk goes deeper.
#include "xcopy/directory_listing.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace xcopy {
namespace {

entry_kind kind_of(unsigned char type) {
  switch (type) {
    case DT_REG:
      return entry_kind::file;
    case DT_DIR:
      return entry_kind::directory;
    case DT_LNK:
      return entry_kind::link;
    case DT_FIFO:
    case DT_SOCK:
    case DT_CHR:
    case DT_BLK:
      return entry_kind::special;
    default:
      return entry_kind::unknown;
  }
}

}  // namespace

int directory_listing::read(int fd) {
  clear();
  // One buffer per thread, reused for every directory.
  thread_local std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t got = ::getdents64(fd, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    if (got == 0) {
      break;
    }
    for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
      const auto* d = reinterpret_cast<const dirent64*>(buffer.data() + at);
      at += d->d_reclen;
      const std::size_t length = std::strlen(d->d_name);
      if ((length == 1 && d->d_name[0] == '.') ||
          (length == 2 && d->d_name[0] == '.' && d->d_name[1] == '.')) {
        continue;
      }
      entries_.push_back(entry{static_cast<std::uint32_t>(names_.size()),
                               static_cast<std::uint16_t>(length), kind_of(d->d_type)});
      names_.append(d->d_name, length + 1);
    }
  }
  const char* block = names_.data();
  std::sort(entries_.begin(), entries_.end(), [block](const entry& a, const entry& b) {
    // string_view compares bytes as unsigned, which is the order we promise.
    return std::string_view(block + a.offset, a.length) <
           std::string_view(block + b.offset, b.length);
  });
  return 0;
}

void directory_listing::assign_single(std::string_view name) {
  clear();
  entries_.push_back(entry{0, static_cast<std::uint16_t>(name.size()), entry_kind::unknown});
  names_.assign(name);
  names_ += '\0';
}

bool directory_listing::contains(std::string_view wanted) const {
  const char* block = names_.data();
  const auto found = std::lower_bound(entries_.begin(), entries_.end(), wanted,
                                      [block](const entry& e, std::string_view n) {
                                        return std::string_view(block + e.offset, e.length) < n;
                                      });
  return found != entries_.end() &&
         std::string_view(block + found->offset, found->length) == wanted;
}

void directory_listing::clear() {
  std::string().swap(names_);
  std::vector<entry>().swap(entries_);
}

}  // namespace xcopy
