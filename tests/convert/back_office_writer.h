// Plays the back-office program, which keeps writing its own fields of the record files while
// a routine runs: right after each read of such a file, and before the routine can write back
// what it read, it writes those fields of records read through a handle of its own.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "convert/fields.h"
#include "platform/file_system.h"

namespace velmorin {

// The fields named with a dash, by lower-case file name: slot length, then the fields.
inline const std::map<std::string, std::pair<size_t, std::vector<TextField>>> kBackOfficeFields = {
    {"basey", {128, {{75, 14}, {118, 4}, {124, 4}}}},
    {"basea", {62, {{6, 30}, {44, 1}, {50, 1}, {59, 1}}}},
    {"labgt", {17, {{16, 1}}}},
    {"baseext", {100, {{0, 90}, {99, 1}}}},
};

// What this writer leaves in them: in no generated record.
inline constexpr char kBackOfficeMark = '^';

template <class FileSystem>
class BackOfficeWriter : public FileSystem {
 public:
  using FileSystem::FileSystem;

  std::unique_ptr<platform::RandomFile> Open(const std::string& path, platform::OpenMode mode) override {
    auto file = FileSystem::Open(path, mode);
    if (mode != platform::OpenMode::kRandom || !kBackOfficeFields.count(Name(path))) return file;
    return std::make_unique<WatchedFile>(*this, path, std::move(file));
  }

  // `file`, the bytes at `path` after a run, with the fields this writer wrote as it wrote them.
  std::string WithItsWrites(const std::string& path, std::string file) const {
    std::lock_guard lock(mutex_);
    const auto it = kBackOfficeFields.find(Name(path));
    if (it == kBackOfficeFields.end() || !written_.count(it->first)) return file;
    for (const int64_t n : written_.at(it->first)) {
      for (const TextField& field : it->second.second) {
        SetText(std::span<char>(file).subspan(static_cast<size_t>(n - 1) * it->second.first), field,
                std::string(field.width, kBackOfficeMark));
      }
    }
    return file;
  }
  bool Wrote() const { return !written_.empty(); }

 private:
  class WatchedFile : public platform::RandomFile {
   public:
    WatchedFile(BackOfficeWriter& owner, std::string path, std::unique_ptr<platform::RandomFile> inner)
        : owner_(owner), path_(std::move(path)), inner_(std::move(inner)) {}
    size_t ReadAt(uint64_t offset, std::span<char> out) override {
      const size_t n = inner_->ReadAt(offset, out);
      owner_.AfterRead(path_, offset, out.size());
      return n;
    }
    void WriteAt(uint64_t offset, std::span<const char> data) override { inner_->WriteAt(offset, data); }
    uint64_t Size() override { return inner_->Size(); }
    bool Remote() override { return inner_->Remote(); }
    std::unique_ptr<platform::RandomFile> Reopen() override {
      auto other = inner_->Reopen();
      return other ? std::make_unique<WatchedFile>(owner_, path_, std::move(other)) : nullptr;
    }

   private:
    BackOfficeWriter& owner_;
    std::string path_;
    std::unique_ptr<platform::RandomFile> inner_;
  };

  static std::string Name(const std::string& path) {
    std::string name = path.substr(path.find_last_of("\\/") + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
  }
  void AfterRead(const std::string& path, uint64_t offset, size_t length) {
    const auto& [slot, fields] = kBackOfficeFields.at(Name(path));
    std::lock_guard lock(mutex_);
    auto other = FileSystem::Open(path, platform::OpenMode::kRandom);
    const uint64_t size = other->Size();
    // Every third record: enough of those a routine changes, at a third of the time.
    for (uint64_t n = offset / slot + 1; (n - 1) * slot < offset + length && n * slot <= size; ++n) {
      if (n % 3 != 0) continue;
      for (const TextField& f : fields)
        other->WriteAt((n - 1) * slot + f.offset, std::string(f.width, kBackOfficeMark));
      written_[Name(path)].insert(static_cast<int64_t>(n));
    }
  }

  mutable std::mutex mutex_;
  std::map<std::string, std::set<int64_t>> written_;  // records, by file name
};

}  // namespace velmorin
