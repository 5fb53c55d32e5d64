// The file system as the program sees it: Windows paths (drive letter, backslashes, any
// letter case), files opened shared and without locks, a current drive and folder.
// Failures are RuntimeErrors with the number the platform reports.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace velmorin::platform {

// An open file with positional reads and writes.
class RandomFile {
 public:
  virtual ~RandomFile() = default;
  // Reads up to out.size() bytes at offset; fewer only at the end of the file.
  virtual size_t ReadAt(uint64_t offset, std::span<char> out) = 0;
  // Writes all of data at offset, extending the file when needed.
  virtual void WriteAt(uint64_t offset, std::span<const char> data) = 0;
  virtual uint64_t Size() = 0;

  // Whether each call is a round trip to another machine (a file on a share), so that
  // overlapping calls pays.
  virtual bool Remote() { return false; }
  // Another handle on the same file, opened the same way, for use from another thread while
  // this one is in use; nothing when the file cannot give one.
  virtual std::unique_ptr<RandomFile> Reopen() { return nullptr; }
  // A hint that these bytes will be read soon.
  virtual void ReadAhead(uint64_t /*offset*/, size_t /*length*/) {}
  // Returns once every write made so far is in the file; throws the first that failed. Files
  // whose writes complete before WriteAt returns have nothing to do.
  virtual void Finish() {}
};

enum class OpenMode {
  kRandom,  // read and write, shared, no lock; created empty when missing
  kInput,   // read only, shared; a missing file is run-time error 53
  kOutput,  // write only; created, or truncated to length 0
  kNew,     // write only; created new, never an existing name or what a link under it points to
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual std::unique_ptr<RandomFile> Open(const std::string& path, OpenMode mode) = 0;
  // Creates one folder; 75 when it exists already, 76 when its parent is missing.
  virtual void MakeFolder(const std::string& path) = 0;
  // Deletes the files (never folders) matching a pattern with * and ? in its last part;
  // 53 when none matches.
  virtual void DeleteFiles(const std::string& pattern) = 0;
  // Makes the drive named by `drive`'s first letter current; 68 when there is no such drive.
  virtual void ChangeDrive(const std::string& drive) = 0;
  // Makes a folder the current one of its drive; 76 when it does not exist.
  virtual void ChangeFolder(const std::string& path) = 0;
  // Length of a file in bytes; 53 when it does not exist.
  virtual uint64_t FileLength(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Replaces `to` with `from` in one step (both in the same folder); 53 when `from` is missing.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // Removes one file; 53 when it does not exist.
  virtual void RemoveFile(const std::string& path) = 0;
};

}  // namespace velmorin::platform
