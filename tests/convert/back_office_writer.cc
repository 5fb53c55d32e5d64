// BackOfficeWriter: a file-system wrapper that writes the back-office fields behind each read.
#include "back_office_writer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "convert/fields.h"

namespace velmorin {
namespace {

constexpr char kMark = '^';  // in no generated record

struct Layout {
  size_t slot;
  std::vector<TextField> fields;  // those named with a dash
};

std::string NameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name;
}

std::optional<Layout> LayoutOf(const std::string& path) {
  static const std::map<std::string, Layout> kLayouts = {
      {"basey", {128, {{75, 14}, {118, 4}, {124, 4}}}},
      {"basea", {62, {{6, 30}, {44, 1}, {50, 1}, {59, 1}}}},
      {"labgt", {17, {{16, 1}}}},
      {"baseext", {100, {{0, 90}, {99, 1}}}},
  };
  const auto it = kLayouts.find(NameOf(path));
  if (it == kLayouts.end()) return std::nullopt;
  return it->second;
}

}  // namespace

class BackOfficeWriter::File : public platform::RandomFile {
 public:
  File(BackOfficeWriter& owner, std::string path, std::unique_ptr<platform::RandomFile> inner)
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
    return other ? std::make_unique<File>(owner_, path_, std::move(other)) : nullptr;
  }
  void ReadAhead(uint64_t offset, size_t length) override { inner_->ReadAhead(offset, length); }
  void Finish() override { inner_->Finish(); }

 private:
  BackOfficeWriter& owner_;
  std::string path_;
  std::unique_ptr<platform::RandomFile> inner_;
};

std::unique_ptr<platform::RandomFile> BackOfficeWriter::Open(const std::string& path, platform::OpenMode mode) {
  auto file = inner_.Open(path, mode);
  if (mode != platform::OpenMode::kRandom || !LayoutOf(path)) return file;
  return std::make_unique<File>(*this, path, std::move(file));
}

void BackOfficeWriter::AfterRead(const std::string& path, uint64_t offset, size_t length) {
  const Layout layout = *LayoutOf(path);
  std::lock_guard lock(mutex_);
  auto other = inner_.Open(path, platform::OpenMode::kRandom);
  const uint64_t size = other->Size();
  auto& written = written_[NameOf(path)];
  for (uint64_t n = offset / layout.slot + 1; (n - 1) * layout.slot < offset + length && n * layout.slot <= size; ++n) {
    for (const TextField& field : layout.fields) {
      other->WriteAt((n - 1) * layout.slot + field.offset, std::string(field.width, kMark));
    }
    written.insert(static_cast<int64_t>(n));
  }
}

std::string BackOfficeWriter::WithItsWrites(const std::string& path, std::string file) const {
  const auto layout = LayoutOf(path);
  std::lock_guard lock(mutex_);
  const auto it = written_.find(NameOf(path));
  if (!layout || it == written_.end()) return file;
  for (const int64_t n : it->second) {
    for (const TextField& field : layout->fields) {
      SetText(std::span<char>(file).subspan(static_cast<size_t>(n - 1) * layout->slot), field,
              std::string(field.width, kMark));
    }
  }
  return file;
}

bool BackOfficeWriter::Wrote() const {
  std::lock_guard lock(mutex_);
  return !written_.empty();
}

}  // namespace velmorin
