// The files of a download: the temporary file the body goes to, beside its target, and the
// ways of putting it in the target's place. The control decides when; these only do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velmorin::platform {

enum class FileError {
  kNone,
  kFolderMissing,
  kIsFolder,  // the target is a folder
  kDiskFull,
  kAccessDenied,
  kInUse,  // refused for now because a file is in use: may pass
  kOther,
};

struct FileResult {
  FileError error = FileError::kNone;
  long code = 0;  // the system's own code, for support
  bool ok() const { return error == FileError::kNone; }
};

// Held open while it lives, so that a transfer elsewhere can tell it from a stale one; closed
// and removed when destroyed, unless it has been put in the target's place.
class TemporaryFile {
 public:
  virtual ~TemporaryFile() = default;
  virtual FileResult Write(const char* data, size_t size) = 0;
  // Empties the file, so that the next write starts it again.
  virtual FileResult Truncate() = 0;
  // What was written reaches the disk.
  virtual FileResult Flush() = 0;
  // Puts the file in the target's place in one step: the target is whole before and after.
  // The file stays open until then, so that nothing can change it between the last write
  // and the rename.
  virtual FileResult Rename() = 0;
  // True when another program holds the target open, so that it cannot be replaced.
  virtual bool TargetHeldOpen() = 0;
  // The target's size (-1 when absent) and the free bytes on its drive (-1 unknown).
  virtual int64_t TargetSize() = 0;
  virtual int64_t FreeSpace() = 0;
  // Writes this file's content into the target itself, which keeps its identity and its
  // other handles; this file stays until the destructor.
  virtual FileResult CopyIntoTarget() = 0;
  virtual int64_t size() const = 0;
  // Its Windows path (CP1252), for a check that opens it by name; empty when it has none.
  virtual std::string Path() const { return {}; }
};

class DownloadFiles {
 public:
  virtual ~DownloadFiles() = default;
  // Whether `target` (a Windows path, CP1252) can receive a download: its folder exists and it
  // is not itself a folder.
  virtual FileResult CheckTarget(const std::string& target) = 0;
  // Removes the temporary files of earlier transfers to `target` that no live transfer holds
  // (left by a run that was killed); those still held are left alone.
  virtual void RemoveStaleTemporaries(const std::string& target) = 0;
  // A new temporary file beside `target`, named after it; nullptr with `error` set on failure.
  virtual std::unique_ptr<TemporaryFile> CreateTemporary(const std::string& target, FileResult& error) = 0;
};

// The part of a temporary file's name after the target's own: "VISADO75.txt.part-3fK9aZ".
inline constexpr char kTemporaryMark[] = ".part-";

}  // namespace velmorin::platform
