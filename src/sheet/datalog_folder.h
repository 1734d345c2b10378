// Where last datalogs (and the recovery journal) are written, the same for
// the window and for script runs: the folder the operator chose, or beside
// the program, falling back to the documents folder, then home, then the
// temporary folder when the program's folder cannot be written (an installed
// program). Always an absolute path.
#pragma once

#include <string>
#include <vector>

namespace eb::datalog {

// The folder of the running program (empty when it cannot be found).
std::string ProgramFolder();

struct FolderChoice {
  std::string path;   // absolute; empty when `error` is set
  std::string error;  // why a chosen folder cannot be used
};

// `chosen` when not empty (it must be a writable folder, else `error` says
// why: a chosen folder is never silently replaced), otherwise the first
// writable of the program's folder and the fallbacks.
FolderChoice ChooseDatalogFolder(const std::string& chosen, const std::string& programFolder);

// The folder to write to now: `chosen` (made absolute) when not empty,
// whether or not it can still be written (a chosen folder is not silently
// replaced), otherwise the first writable of the program's folder and the
// fallbacks.
std::string CurrentDatalogFolder(const std::string& chosen);

// The writable fallback folders in order: documents, home, temporary.
std::vector<std::string> FallbackFolders();

// True when `dir` is a folder this process may create files in.
bool WritableFolder(const std::string& dir);

}  // namespace eb::datalog
