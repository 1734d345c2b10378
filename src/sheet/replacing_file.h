// A file written beside its target under a temporary name and renamed over
// the target only when it is complete and on the disk: a failed write leaves
// any earlier file as it was, and a crash leaves at most a hidden temporary
// (".eb2250-XXXXXX"), which CleanStaleTemporaries removes at the next start.
// A target that is a symbolic link is written through: the file the link
// points to is replaced and the link stays. A target that is there but is
// no regular file (a folder, a FIFO, a device) is refused.
#pragma once

#include <string>

namespace eb::datalog {

class ReplacingFile {
 public:
  // Creates the temporary beside the target; error() says why when it cannot.
  explicit ReplacingFile(const std::string& target);
  ~ReplacingFile();  // removes the temporary unless it was committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  const std::string& error() const { return error_; }
  // The file to write (empty when it could not be created).
  const std::string& temporary() const { return temporary_; }
  // The file that will be replaced: the target, or where its link points.
  const std::string& target() const { return target_; }

  // Makes the temporary durable and renames it over the target. Returns an
  // empty text, or why it failed (the temporary is then removed): a sync
  // that fails is a failed save.
  std::string Commit();
  // Gives up: removes the temporary.
  void Discard();

 private:
  std::string target_;
  std::string temporary_;
  std::string error_;
  int fd_ = -1;  // the temporary, locked while it is written
};

// The mode of an empty file that reserves a name (see ReservedNames): no
// file this program saves, and no file an editor makes, looks like it.
constexpr unsigned kPlaceholderMode = 0200;

// Removes what this program's writers left in `folder` when they died, and
// that no running program holds any more: temporaries (".eb2250-" and six
// letters or digits) and empty name reservations (kPlaceholderMode), both
// regular files owned by this user whose lock is free. Anything else is
// left alone. Returns how many went.
int CleanStaleTemporaries(const std::string& folder);

// The call that makes a written file durable (fsync). Tests put a failing
// one in its place; returns the one it replaces.
using SyncFunction = int (*)(int fd);
SyncFunction ReplaceSyncFunction(SyncFunction sync);

}  // namespace eb::datalog
