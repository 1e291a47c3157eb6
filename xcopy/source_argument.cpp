// Telling a folder, a file and a pattern apart.
#include "xcopy/source_argument.h"

#include <sys/stat.h>

#include <cerrno>

#include "xcopy/paths.h"
#include "xcopy/wildcard.h"

namespace xcopy {
namespace {

void as_file_in_folder(const std::string& source, source_argument::kind what,
                       source_argument& out) {
  out.what = what;
  out.shown_base = directory_part(source);
  out.folder = out.shown_base.empty() ? "." : out.shown_base;
  out.name = last_component(source);
}

}  // namespace

int resolve_source(const std::string& source, symlinks links, source_argument& out) {
  struct stat st {};
  if (::stat(source.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      out.what = source_argument::kind::directory;
      out.folder = source;
      out.shown_base = source;
      out.name.clear();
      return 0;
    }
    as_file_in_folder(source, source_argument::kind::file, out);
    return 0;
  }
  const int error = errno;
  struct stat link {};
  if (links == symlinks::copy_as_links && ::lstat(source.c_str(), &link) == 0 &&
      S_ISLNK(link.st_mode) && !source.ends_with('/')) {
    as_file_in_folder(source, source_argument::kind::file, out);
    return 0;
  }
  if ((error != ENOENT && error != ENOTDIR) || !has_wildcards(last_component(source))) {
    return error;
  }
  as_file_in_folder(source, source_argument::kind::pattern, out);
  struct stat folder {};
  if (::stat(out.folder.c_str(), &folder) != 0) {
    return errno == ENOTDIR ? ENOENT : errno;
  }
  return S_ISDIR(folder.st_mode) ? 0 : ENOENT;
}

}  // namespace xcopy
