// Channels: the table of numbered open files.
#include "convert/channels.h"

#include <exception>

#include "common/runtime_error.h"
#include "convert/shared_drive_file.h"

namespace velmorin {

TextInput::TextInput(std::unique_ptr<platform::RandomFile> file)
    : file_(std::move(file)), reader_([this](std::span<char> buffer) {
        const size_t n = file_->ReadAt(offset_, buffer);
        offset_ += n;
        return n;
      }) {}

std::optional<std::string> TextInput::Next() { return reader_.Next(); }

std::string TextInput::LineInput() {
  auto line = reader_.Next();
  if (!line) throw RuntimeError(err::kInputPastEnd);
  return std::move(*line);
}

bool TextInput::AtEnd() { return reader_.AtEnd(); }

TextOutput::TextOutput(std::unique_ptr<platform::RandomFile> file) : file_(std::move(file)) {}

void TextOutput::WriteLine(std::string_view line) {
  pending_.append(line);
  pending_.append("\r\n");
}

void TextOutput::Flush() {
  if (pending_.empty()) return;
  file_->WriteAt(offset_, pending_);
  offset_ += pending_.size();
  pending_.clear();
}

void Channels::CheckFree(int channel) const {
  if (channel < kFirst || channel > kLast) throw RuntimeError(err::kBadFileNameOrNumber);
  if (IsOpen(channel)) throw RuntimeError(err::kFileAlreadyOpen);
}

Channels::Entry& Channels::Find(int channel) {
  const auto it = open_.find(channel);
  if (it == open_.end()) throw RuntimeError(err::kBadFileNameOrNumber);
  return it->second;
}

RecordFile& Channels::OpenRecords(int channel, const std::string& path, size_t slot_length, size_t data_length) {
  CheckFree(channel);
  std::unique_ptr<platform::RandomFile> file = fs_.Open(path, platform::OpenMode::kRandom);
  // On a share each call waits a round trip; the passes make thousands.
  if (file->Remote()) file = std::make_unique<SharedDriveFile>(std::move(file));
  Entry& entry = open_[channel];
  entry.records =
      std::make_unique<RecordFile>(std::move(file), slot_length, data_length == 0 ? slot_length : data_length, path);
  return *entry.records;
}

TextInput& Channels::OpenInput(int channel, const std::string& path) {
  CheckFree(channel);
  auto file = fs_.Open(path, platform::OpenMode::kInput);
  Entry& entry = open_[channel];
  entry.input = std::make_unique<TextInput>(std::move(file));
  return *entry.input;
}

TextOutput& Channels::OpenOutput(int channel, const std::string& path) {
  CheckFree(channel);
  auto file = fs_.Open(path, platform::OpenMode::kOutput);
  Entry& entry = open_[channel];
  entry.output = std::make_unique<TextOutput>(std::move(file));
  return *entry.output;
}

RecordFile& Channels::Records(int channel) {
  Entry& entry = Find(channel);
  if (!entry.records) throw RuntimeError(err::kBadFileMode);
  return *entry.records;
}

TextInput& Channels::Input(int channel) {
  Entry& entry = Find(channel);
  if (!entry.input) throw RuntimeError(err::kBadFileMode);
  return *entry.input;
}

TextOutput& Channels::Output(int channel) {
  Entry& entry = Find(channel);
  if (!entry.output) throw RuntimeError(err::kBadFileMode);
  return *entry.output;
}

void Channels::Close(int channel) {
  const auto it = open_.find(channel);
  if (it == open_.end()) return;
  Entry entry = std::move(it->second);
  open_.erase(it);
  if (entry.output) entry.output->Flush();
  if (!entry.records) return;
  if (entry.records->records_written() > 0) written_[entry.records->path()] += entry.records->records_written();
  // Writes still on their way to a share end here, and their failure is this call's.
  entry.records->Finish();
}

void Channels::CloseAll() {
  std::exception_ptr failure;
  while (!open_.empty()) {
    try {
      Close(open_.begin()->first);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace velmorin
