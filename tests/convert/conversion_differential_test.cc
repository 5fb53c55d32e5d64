// Each routine against the record-by-record baseline on random record files and random lists:
// both must leave the same bytes in every file, and the routine must write no record that
// ends as it began. With the back-office program writing its fields behind the routine's
// reads, those writes must all stay, every other byte being the baseline's.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

#include "back_office_writer.h"
#include "conversion_fixture.h"
#include "convert/build_preference_prices.h"
#include "convert/clear_end_marks.h"
#include "convert/import_product_file.h"
#include "convert/import_serialization_list.h"
#include "convert/import_visado_list.h"
#include "convert/notified_prices.h"
#include "convert/records.h"
#include "support/reference_conversions.h"
#ifndef _WIN32
#include "platform/posix/posix_file_system.h"
#include "support/temp_dir.h"
#endif

namespace velmorin {
namespace {

// Shared by every side that starts from them: a side copies a file only when it writes to it.
using Files = std::map<std::string, std::shared_ptr<const std::string>>;

const std::vector<std::pair<std::string, size_t>> kRecordFiles = {
    {data::kBasey, ProductRecord::kLength},       {data::kBasea, ProductDetailRecord::kLength},
    {data::kCoste, CostRecord::kLength},          {data::kLabGt, LabGtRecord::kSlotLength},
    {data::kBaseext, ProductExtRecord::kLength},  {data::kPrecios, PreferencePriceRecord::kLength},
    {data::kBaseP, NotifiedPriceRecord::kLength}, {data::kEspec, SpecRecord::kLength},
};

// Random data with the shapes that matter: codes on both sides of 500000, index slots that
// are numbers, halves, junk or beyond any file, codes that match their records or not.
class Generator {
 public:
  // Without short files every record file reaches past the cleared range.
  Generator(uint32_t seed, bool short_files) : rng_(seed), short_files_(short_files) {}

  Files Make() {
    MakeCodes();
    std::map<std::string, std::string> files;
    files[data::kBasey] = MakeBasey();
    files[data::kBasea] = MakeCoded(ProductDetailRecord::kLength, ProductDetailRecord::kCode);
    files[data::kLabGt] = MakeCoded(LabGtRecord::kSlotLength, LabGtRecord::kCode);
    files[data::kCoste] = MakeCoste();
    files[data::kBaseext] = MakePlain(ProductExtRecord::kLength);
    files[data::kPrecios] = MakePlain(PreferencePriceRecord::kLength);
    files[data::kBaseP] = MakePlain(NotifiedPriceRecord::kLength);
    files[data::kEspec] = MakeEspec();
    files[data::kProductText] = MakeLines([this] { return ProductLine(); });
    files[data::kVisado] = MakeLines([this] { return Code() + Junk(Pick({0, 3, 20})); });
    files[data::kSerialization] = MakeLines([this] { return SerializationLine(); });
    files[data::kNotified] = MakeLines([this] { return NotifiedLine(); });
    Files shared;
    for (auto& [path, bytes] : files) shared[path] = std::make_shared<const std::string>(std::move(bytes));
    return shared;
  }

 private:
  size_t Below(size_t n) { return rng_() % n; }
  bool Chance(int percent) { return static_cast<int>(Below(100)) < percent; }
  template <class T>
  T Pick(std::initializer_list<T> values) {
    return *(values.begin() + Below(values.size()));
  }
  std::string Junk(size_t length) {
    static const char kAlphabet[] = "0123456789 .-EGgA7xyz";
    std::string text(length, ' ');
    for (char& c : text) c = kAlphabet[Below(sizeof kAlphabet - 1)];
    return text;
  }

  void MakeCodes() {
    codes_.clear();
    products_.clear();
    const size_t count = 50 + Below(400);
    for (size_t i = 0; i < count; ++i) {
      codes_.push_back(std::to_string(499990 + Below(30000)));
      products_.push_back(Chance(8) ? 99990 + static_cast<int64_t>(Below(60)) : 1 + static_cast<int64_t>(Below(99999)));
    }
    codes_.push_back("500000");
    products_.push_back(17);
  }
  std::string Code() {
    if (Chance(75)) return codes_[Below(codes_.size())];
    return Pick<std::string>({"", "6", "51234", "9E9999", "000000", "-50001", " 50001", "ABCDEF", Junk(6)});
  }
  std::string SlotText(int64_t product) {
    const std::string n = std::to_string(product);
    switch (Below(10)) {
      case 0: return " " + n;
      case 1: return n + ".5";
      case 2: return Pick<std::string>({"0", "-3", "", "9E10", "1E999", "abc", "  1e2 "});
      default: return n;
    }
  }

  std::string MakeBasey() {
    const int64_t records = short_files_ ? Pick<int64_t>({1000, 60000, 99999, 100070}) : Pick<int64_t>({99999, 100070});
    std::string file(static_cast<size_t>(records) * ProductRecord::kLength, '\0');
    for (int64_t n = 1; n <= records; ++n) {
      std::span<char> record(file.data() + (n - 1) * ProductRecord::kLength, ProductRecord::kLength);
      if (Chance(70)) std::fill(record.begin(), record.end(), static_cast<char>('a' + n % 26));
      if (Chance(3))
        SetText(record, ProductRecord::kEndMarkText, Pick<std::string>({"-FIN", "-FIN 2023", "-fin", " -FIN"}));
      if (Chance(10)) SetText(record, ProductRecord::kVisadoMark, Pick<std::string>({"7", " ", "A", "7"}));
    }
    for (size_t i = 0; i < codes_.size(); ++i) {
      const int64_t stem = std::stoll(codes_[i].substr(0, 5));
      if (stem > records) continue;
      std::span<char> record(file.data() + (stem - 1) * ProductRecord::kLength, ProductRecord::kLength);
      SetText(record, ProductRecord::IndexSlot(codes_[i][5] - '0'), SlotText(products_[i]));
      SetCodeOf(file, ProductRecord::kLength, products_[i], ProductRecord::kCode, codes_[i]);
    }
    return file;
  }
  void SetCodeOf(std::string& file, size_t slot, int64_t product, TextField field, const std::string& code) {
    const size_t start = static_cast<size_t>(product - 1) * slot;
    if (start + slot > file.size() || !Chance(80)) return;
    SetText(std::span<char>(file.data() + start, slot), field, code);
  }
  std::string MakePlain(size_t slot) {
    const int64_t records = short_files_ ? Pick<int64_t>({0, 500, 99999, 100070}) : Pick<int64_t>({99999, 100070});
    std::string file(static_cast<size_t>(records) * slot, '\0');
    for (size_t at = 0; at < file.size(); at += slot) {
      if (Chance(60))
        std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(at), slot, static_cast<char>('0' + at % 10));
    }
    return file;
  }
  std::string MakeCoded(size_t slot, TextField code) {
    std::string file = MakePlain(slot);
    for (size_t i = 0; i < codes_.size(); ++i) SetCodeOf(file, slot, products_[i], code, codes_[i]);
    return file;
  }
  std::string MakeCoste() {
    std::string file = MakePlain(CostRecord::kLength);
    for (size_t at = CostRecord::kAmountLock.offset; at < file.size(); at += CostRecord::kLength) {
      file[at] = Pick({' ', ' ', 'X', '\0'});
    }
    return file;
  }
  std::string MakeEspec() {
    std::string file;
    const size_t count = Below(600);
    for (size_t i = 0; i < count; ++i) {
      std::string record = Junk(SpecRecord::kLength);
      auto value = [this] { return Pick<std::string>({"1.5", " 12.5  ", "", "9E99", "1E999", "-0", "0.1"}); };
      SetText(record, SpecRecord::kFirstValue, value());
      SetText(record, SpecRecord::kSecondValue, value());
      SetText(record, SpecRecord::kThirdValue, Junk(8));
      SetText(record, SpecRecord::kFourthValue, value());
      SetText(record, SpecRecord::kCode, Code());
      file += record;
    }
    return file + Junk(Below(SpecRecord::kLength));
  }
  std::string MakeLines(const std::function<std::string()>& line) {
    std::string text;
    const size_t count = Below(800);
    for (size_t i = 0; i < count; ++i) text += line() + Pick<std::string>({"\r\n", "\r\n", "\r"});
    return text;
  }
  std::string ProductLine() {
    std::string line = Code() + Junk(20);
    line += Pick<std::string>({"00012.50", "00000000", "        ", "1E999   ", "  7     ", Junk(8)});
    line += Junk(Pick<size_t>({0, 2, 10, 40, 45}));
    return line.substr(0, Pick<size_t>({3, 30, 45, 76, 200}));
  }
  std::string SerializationLine() {
    std::string line = Junk(1) + Code() + Junk(110);
    return line.substr(0, Pick<size_t>({0, 7, 104, 111, 112, 114, 200}));
  }
  std::string NotifiedLine() {
    std::string line = Code() + " " + Pick<std::string>({"00012.50", "1E999   ", "0.125   ", Junk(8)}) +
                       Pick<std::string>({"00010.00", "   2.675", "9E99    ", Junk(8)});
    return line.substr(0, Pick<size_t>({5, 6, 12, 23, 30}));
  }

  std::mt19937 rng_;
  bool short_files_;
  std::vector<std::string> codes_;
  std::vector<int64_t> products_;
};

template <class Fs = test_support::MemoryFileSystem>
class Side {
 public:
  explicit Side(const Files& files) {
    fs.AddFolder("C:\\velmorin\\quorra");
    fs.AddFolder("C:\\velmorin\\bases");
    fs.AddFolder("C:\\velmorin\\preferencia");
    for (const auto& [path, bytes] : files) fs.SetFile(path, bytes);
  }
  Fs fs;
  Channels channels{fs};
  BarLog bars;
};

// Records written by a call that hold the same bytes before and after.
std::vector<int64_t> NeedlessWrites(Side<>& side, const Files& before) {
  std::vector<int64_t> needless;
  for (const auto& [path, slot] : kRecordFiles) {
    const std::string key = side.fs.Normalize(path);
    const std::string& old = *before.at(path);
    const auto snapshot = side.fs.Snapshot(path);
    const std::string& now = *snapshot;
    for (const auto& call : side.fs.calls()) {
      if (call.kind != test_support::IoCall::kWrite || call.path != key) continue;
      for (uint64_t at = call.offset; at < call.offset + call.length; at += slot) {
        const size_t n = std::min<size_t>(slot, call.offset + call.length - at);
        if (at + n <= old.size() && old.compare(at, n, now, at, n) == 0)
          needless.push_back(static_cast<int64_t>(at / slot) + 1);
      }
    }
  }
  return needless;
}

using Routine = std::function<void(Channels&, ConversionProgress&)>;

// Ours with the back-office program writing behind its reads: in memory, on a share and on
// real files (Linux), each of its writes must stay and every other byte be the baseline's.
using Bytes = std::shared_ptr<const std::string>;

bool BackOfficeWritesTo(const std::string& path) {
  std::string name = path.substr(path.find_last_of('\\') + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return kBackOfficeFields.count(name) != 0;
}

template <class Fs>
void ExpectTheirWritesKept(const Routine& ours, const Files& files, Side<>& baseline, int error,
                           BackOfficeWriter<Fs>& fs, const std::function<Bytes(const std::string&)>& file) {
  Channels channels(fs);
  BarLog bars;
  ASSERT_EQ(ErrorNumberOf([&] { ours(channels, bars); }), error);
  EXPECT_TRUE(fs.Wrote());
  for (const auto& [path, unused] : files) {
    const Bytes expected = baseline.fs.Snapshot(path);
    if (BackOfficeWritesTo(path)) {
      ASSERT_EQ(*file(path), fs.WithItsWrites(path, *expected)) << path;
    } else {
      ASSERT_EQ(*file(path), *expected) << path;
    }
  }
}

void ExpectBackOfficeWritesKept(const Routine& ours, const Files& files, Side<>& baseline, int error) {
  for (const bool remote : {false, true}) {
    SCOPED_TRACE(remote ? "back office writing, on a share" : "back office writing, local");
    Side<BackOfficeWriter<test_support::MemoryFileSystem>> a(files);
    a.fs.SetRemote(remote);
    ExpectTheirWritesKept(ours, files, baseline, error, a.fs,
                          [&](const std::string& path) { return a.fs.Snapshot(path); });
  }
#ifndef _WIN32
  SCOPED_TRACE("back office writing, real files");
  test_support::TempDir dir;
  const auto relative = [](std::string path) {  // "C:\\a\\b" is "C/a/b"
    std::replace(path.begin(), path.end(), '\\', '/');
    return path.erase(1, 1);
  };
  for (const auto& [path, bytes] : files) dir.Write(relative(path), *bytes);
  BackOfficeWriter<platform::PosixFileSystem> fs(dir.path());
  ExpectTheirWritesKept(ours, files, baseline, error, fs, [&](const std::string& p) {
    return std::make_shared<const std::string>(dir.Read(relative(p)));
  });
#endif
}

// `target` is the file the routine is there to change: some round must change it. The routine
// runs on local files and, in the first round unless `on_share` is false, also on files on a
// share (writes overlapped).
void ExpectSameBytes(const Routine& ours, const Routine& baseline, uint32_t seed, const std::string& target,
                     bool strict_writes, uint32_t rounds = 2, bool on_share = true, bool back_office = true) {
  bool changed = false;
  for (uint32_t round = 0; round < rounds; ++round) {
    const Files files = Generator(seed * 100 + round, round % 2 == 1).Make();
    Side b(files);
    const int error_b = ErrorNumberOf([&] { baseline(b.channels, b.bars); });
    if (round == 0 && back_office) ExpectBackOfficeWritesKept(ours, files, b, error_b);
    for (const bool remote : {false, true}) {
      if (remote && (round > 0 || !on_share)) continue;
      SCOPED_TRACE(testing::Message() << "round " << round << (remote ? " on a share" : " local"));
      Side a(files);
      a.fs.SetRemote(remote);
      ASSERT_EQ(ErrorNumberOf([&] { ours(a.channels, a.bars); }), error_b);
      for (const auto& [path, unused] : files) {
        ASSERT_EQ(*a.fs.Snapshot(path), *b.fs.Snapshot(path)) << path;
      }
      EXPECT_EQ(a.bars.sets, b.bars.sets);
      if (strict_writes) {
        EXPECT_EQ(NeedlessWrites(a, files), std::vector<int64_t>{});
      }
      changed = changed || *a.fs.Snapshot(target) != *files.at(target);
    }
  }
  EXPECT_TRUE(changed) << target;
}

TEST(ConversionDifferential, ClearEndMarks) {
  ExpectSameBytes([](Channels& c, ConversionProgress& p) { ClearEndMarks(c, p); },
                  [](Channels& c, ConversionProgress& p) { reference::ClearEndMarks(c, p); }, 1, data::kBasey, true);
}

TEST(ConversionDifferential, ImportProductFile) {
  for (const std::string suffix : {"NA", "CM", "EX", "MA", "??"}) {
    ExpectSameBytes([&](Channels& c, ConversionProgress&) { ImportProductFile(c, "", suffix); },
                    [&](Channels& c, ConversionProgress&) { reference::ImportProductFile(c, "", suffix); },
                    2 + static_cast<uint32_t>(suffix[0]), data::kBasey, false, suffix == "NA" ? 2 : 1, suffix == "NA",
                    suffix == "NA");
  }
}

TEST(ConversionDifferential, ImportVisadoList) {
  ExpectSameBytes([](Channels& c, ConversionProgress&) { ImportVisadoList(c); },
                  [](Channels& c, ConversionProgress&) { reference::ImportVisadoList(c); }, 3, data::kBasey, true);
}

TEST(ConversionDifferential, ImportSerializationList) {
  ExpectSameBytes([](Channels& c, ConversionProgress&) { ImportSerializationList(c); },
                  [](Channels& c, ConversionProgress&) { reference::ImportSerializationList(c); }, 4, data::kBaseext,
                  true);
}

TEST(ConversionDifferential, BuildPreferencePrices) {
  ExpectSameBytes([](Channels& c, ConversionProgress&) { BuildPreferencePrices(c); },
                  [](Channels& c, ConversionProgress&) { reference::BuildPreferencePrices(c); }, 5, data::kPrecios,
                  true);
}

TEST(ConversionDifferential, RebuildNotifiedPrices) {
  ExpectSameBytes([](Channels& c, ConversionProgress& p) { RebuildNotifiedPrices(c, p); },
                  [](Channels& c, ConversionProgress& p) { reference::RebuildNotifiedPrices(c, p); }, 6, data::kBaseP,
                  true);
}

}  // namespace
}  // namespace velmorin
