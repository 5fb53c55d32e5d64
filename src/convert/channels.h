// The program's numbered files ("channels"): record files, text input and text output,
// each opened on a fixed small number and closed by number or all at once.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "common/text_lines.h"
#include "convert/record_file.h"
#include "platform/file_system.h"

namespace velmorin {

// A text file opened for reading line by line.
class TextInput {
 public:
  explicit TextInput(std::unique_ptr<platform::RandomFile> file);
  // The next line, or nothing at the end of the file.
  std::optional<std::string> Next();
  // The next line; reading past the end is run-time error 62.
  std::string LineInput();
  bool AtEnd();

 private:
  std::unique_ptr<platform::RandomFile> file_;
  uint64_t offset_ = 0;
  LineReader reader_;
};

// A text file opened for output; each line ends with CR LF. Written out when closed.
class TextOutput {
 public:
  explicit TextOutput(std::unique_ptr<platform::RandomFile> file);
  void WriteLine(std::string_view line);
  void Flush();

 private:
  std::unique_ptr<platform::RandomFile> file_;
  std::string pending_;
  uint64_t offset_ = 0;
};

class Channels {
 public:
  static constexpr int kFirst = 1;
  static constexpr int kLast = 511;

  explicit Channels(platform::FileSystem& fs) : fs_(fs) {}

  // Each Open fails with run-time error 55 when the channel is in use, 52 when the number
  // is out of range.
  RecordFile& OpenRecords(int channel, const std::string& path, size_t slot_length, size_t data_length = 0);
  TextInput& OpenInput(int channel, const std::string& path);
  TextOutput& OpenOutput(int channel, const std::string& path);

  // The file open on a channel; run-time error 52 when none of that kind is.
  RecordFile& Records(int channel);
  TextInput& Input(int channel);
  TextOutput& Output(int channel);

  bool IsOpen(int channel) const { return open_.count(channel) != 0; }
  // Closing a channel that is not open does nothing. A record file's writes are all in the
  // file when it returns; one that failed is thrown as its run-time error, the channel
  // being closed all the same.
  void Close(int channel);
  void CloseAll();

  platform::FileSystem& fs() { return fs_; }

  // Records written into each record file closed since the last call, by path.
  std::map<std::string, int64_t> TakeRecordsWritten() { return std::exchange(written_, {}); }

 private:
  struct Entry {
    std::unique_ptr<RecordFile> records;
    std::unique_ptr<TextInput> input;
    std::unique_ptr<TextOutput> output;
  };
  void CheckFree(int channel) const;
  Entry& Find(int channel);

  platform::FileSystem& fs_;
  std::map<int, Entry> open_;
  std::map<std::string, int64_t> written_;
};

}  // namespace velmorin
