#include "engine/trash.h"

#include <gio/gio.h>

#include <cerrno>
#include <cstring>

namespace relabo {

TrashResult TrashFile(const std::string& path) {
  // GIO takes an empty path for the current folder itself.
  if (path.empty()) return {false, std::strerror(ENOENT)};
  // g_file_trash only ever renames into a trash folder (the home trash, or the volume's
  // .Trash-UID); where neither is possible it fails and leaves the file alone.
  GFile* file = g_file_new_for_path(path.c_str());
  GError* error = nullptr;
  TrashResult result;
  result.trashed = g_file_trash(file, nullptr, &error);
  if (!result.trashed) result.error = error ? error->message : "Unable to trash the file";
  if (error) g_error_free(error);
  g_object_unref(file);
  return result;
}

}  // namespace relabo
