// The copy of one file: open, create a temporary, copy, set bits and times, rename.
#include "xcopy/file_copier.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "xcopy/data_copy.h"
#include "xcopy/progress.h"
#include "xcopy/system_calls.h"
#include "xcopy/unique_fd.h"
#include "xcopy/write_behind.h"

namespace xcopy {
namespace {

// How often a fresh temporary name is tried when one is taken.
constexpr int name_attempts = 16;

copy_result source_failure(int error) {
  return {copy_result::outcome::source_failed, error};
}

copy_result target_failure(int error) {
  return {copy_result::outcome::target_failed, error};
}

// Removes the temporary file and forgets it.
void discard(int directory, const temp_files::name& name, temp_files::slot& slot) {
  ::unlinkat(directory, name.data(), 0);
  slot.disarm();
}

// Makes an entry under a fresh temporary name in `directory` with
// `make(name)`, which returns -1 and sets errno on failure; tries other names
// while the one drawn is taken. Returns what `make` returned, or -1 with errno.
template <typename Make>
int make_temporary(int directory, temp_files::name& name, temp_files::slot& slot, Make make) {
  for (int attempt = 0; attempt < name_attempts; ++attempt) {
    name = temp_files::new_name();
    slot.begin_create(directory, name);
    const int result = make(name.data());
    const int error = errno;
    slot.end_create();
    if (result >= 0) {
      return result;
    }
    slot.disarm();
    if (error != EEXIST) {
      errno = error;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

// Creates a temporary file with `mode` in `directory`; -1 and errno on failure.
int create_temporary(int directory, mode_t mode, int access, temp_files::name& name,
                     temp_files::slot& slot) {
  return make_temporary(directory, name, slot, [&](const char* temporary) {
    return sys::openat(directory, temporary, access | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                       mode);
  });
}

copy_result copy_link(const copy_request& request, temp_files::slot& slot, temp_files::name& name) {
  struct stat link {};
  if (sys::fstatat(request.source_directory, request.source_name, &link, AT_SYMLINK_NOFOLLOW) !=
      0) {
    return source_failure(errno);
  }
  if (!S_ISLNK(link.st_mode)) {
    return {copy_result::outcome::special, 0};
  }
  // st_size is the text's length, but the link may change meanwhile: grow until it fits.
  std::vector<char> text(static_cast<std::size_t>(link.st_size) + 2);
  for (;;) {
    const ssize_t length =
        ::readlinkat(request.source_directory, request.source_name, text.data(), text.size());
    if (length < 0) {
      return source_failure(errno);
    }
    if (static_cast<std::size_t>(length) < text.size()) {
      text[static_cast<std::size_t>(length)] = '\0';
      break;
    }
    text.resize(text.size() * 2);
  }
  if (make_temporary(request.target_directory, name, slot, [&](const char* temporary) {
        return sys::symlinkat(text.data(), request.target_directory, temporary);
      }) < 0) {
    return target_failure(errno);
  }
  const struct timespec times[2] = {link.st_atim, link.st_mtim};
  if (sys::utimensat(request.target_directory, name.data(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    const int error = errno;
    discard(request.target_directory, name, slot);
    return target_failure(error);
  }
  return {};
}

// Copies a regular file's data, bits and times into a new temporary file
// `name`; on failure removes it.
copy_result copy_to_temporary(const copy_request& request, temp_files::slot& slot,
                              temp_files::name& name) {
  // O_NONBLOCK: should the entry have been replaced by a FIFO since it was
  // looked at, opening it must not wait for a writer. O_NOFOLLOW unless the
  // entry is a link being followed: a file that became a link is not followed.
  const int follow = request.through_link ? 0 : O_NOFOLLOW;
  unique_fd in(sys::openat(request.source_directory, request.source_name,
                           O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | follow));
  if (!in) {
    return source_failure(errno);
  }
  struct stat source {};
  if (::fstat(in.get(), &source) != 0) {
    return source_failure(errno);
  }
  if (!S_ISREG(source.st_mode)) {
    return {copy_result::outcome::special, 0};
  }
  progress::file_begins(source.st_size);

  // The umask is cleared for the run, so the file is created with its final
  // bits and needs no chmod; the open descriptor may write whatever they say.
  const int access = request.verify == verification::compare ? O_RDWR : O_WRONLY;
  unique_fd out(create_temporary(request.target_directory,
                                 copy_mode(source.st_mode, request.permissions), access, name,
                                 slot));
  if (!out) {
    return target_failure(errno);
  }

  const data_result data =
      copy_data(in.get(), out.get(), source.st_size, source.st_blocks * off_t{512}, source.st_dev);
  copy_result failure{};
  if (data.ok() && source.st_size >= write_behind::from) {
    write_behind::start(out.get());
  }
  if (!data.ok()) {
    failure = data.failed == data_result::side::source ? source_failure(data.error)
                                                       : target_failure(data.error);
  } else if (request.verify == verification::compare) {
    const data_result check = compare_data(in.get(), out.get(), data.bytes);
    if (check.failed == data_result::side::source) {
      failure = source_failure(check.error);
    } else if (check.failed == data_result::side::target) {
      failure = check.error == 0 ? copy_result{copy_result::outcome::differs, 0}
                                 : target_failure(check.error);
    }
  }
  if (failure.result == copy_result::outcome::copied) {
    // The time goes on last: any write after it would change it again.
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (sys::futimens(out.get(), times) != 0) {
      failure = target_failure(errno);
    }
  }
  // close() is where some file systems (NFS, FUSE) report a failed write.
  if (sys::close(out.release()) != 0 && failure.result == copy_result::outcome::copied) {
    failure = target_failure(errno);
  }
  if (failure.result != copy_result::outcome::copied) {
    discard(request.target_directory, name, slot);
  }
  return failure;
}

}  // namespace

mode_t copy_mode(mode_t source_mode, permission_bits permissions) {
  mode_t mode = source_mode & 0777;
  if (permissions == permission_bits::add_owner_write) {
    mode |= S_IWUSR;
  }
  return mode;
}

copy_result copy_file(const copy_request& request, temp_files::slot& slot) {
  temp_files::name name{};
  copy_result result =
      request.as_link ? copy_link(request, slot, name) : copy_to_temporary(request, slot, name);
  if (result.result == copy_result::outcome::copied) {
    // Renames the finished temporary over the final name.
    if (sys::renameat(request.target_directory, name.data(), request.target_directory,
                      request.target_name) != 0) {
      const int error = errno;
      discard(request.target_directory, name, slot);
      result = target_failure(error);
    } else {
      slot.disarm();
    }
  }
  progress::file_ends(result.result == copy_result::outcome::copied);
  return result;
}

}  // namespace xcopy
