#include "sheet/datalog_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace eb::datalog {

namespace {

namespace fs = std::filesystem;

std::string Absolute(const std::string& dir) {
  std::error_code ec;
  fs::path p = fs::absolute(dir, ec);
  if (ec) return dir;
  return p.lexically_normal().string();
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

}  // namespace

std::string ProgramFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  return exe.parent_path().string();
}

bool WritableFolder(const std::string& dir) {
  std::error_code ec;
  return !dir.empty() && fs::is_directory(dir, ec) && access(dir.c_str(), W_OK | X_OK) == 0;
}

std::vector<std::string> FallbackFolders() {
  std::vector<std::string> folders;
  const std::string home = Env("HOME");
  std::string documents = Env("XDG_DOCUMENTS_DIR");
  if (documents.empty() && !home.empty()) documents = home + "/Documents";
  for (const std::string& dir : {documents, home, Env("TMPDIR"), std::string("/tmp")}) {
    if (WritableFolder(dir)) folders.push_back(Absolute(dir));
  }
  return folders;
}

FolderChoice ChooseDatalogFolder(const std::string& chosen, const std::string& programFolder) {
  if (!chosen.empty()) {
    std::error_code ec;
    if (!fs::exists(chosen, ec)) return {"", "the datalog folder " + chosen + " does not exist"};
    if (!fs::is_directory(chosen, ec)) return {"", chosen + " is not a folder"};
    if (!WritableFolder(chosen))
      return {"", "the datalog folder " + chosen + " cannot be written to"};
    return {Absolute(chosen), ""};
  }
  if (WritableFolder(programFolder)) return {Absolute(programFolder), ""};
  const std::vector<std::string> fallbacks = FallbackFolders();
  if (!fallbacks.empty()) return {fallbacks.front(), ""};
  return {"", "no folder can be written to for the datalog"};
}

std::string CurrentDatalogFolder(const std::string& chosen) {
  if (!chosen.empty()) return Absolute(chosen);
  const FolderChoice choice = ChooseDatalogFolder("", ProgramFolder());
  return choice.error.empty() ? choice.path : std::string("/tmp");
}

}  // namespace eb::datalog
