// Pharmacy: the files of an end-to-end run.
#include "e2e/pharmacy.h"

#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>

#include "common/cp1252.h"
#include "convert/fields.h"
#include "convert/records.h"

namespace velmorin::test_support {
namespace fs = std::filesystem;
namespace {

void SetRecord(const fs::path& file, size_t length, int64_t n, const std::string& bytes) {
  std::string content = fs::exists(file) ? ReadFileBytes(file) : std::string();
  const size_t offset = static_cast<size_t>(n - 1) * length;
  if (content.size() < offset + length) content.resize(offset + length, '\0');
  content.replace(offset, length, bytes);
  WriteFileBytes(file, content);
}

std::string Blank(size_t length) { return std::string(length, ' '); }

std::string WithCode(size_t length, const TextField& field, const std::string& code) {
  std::string r = Blank(length);
  SetText(r, field, code);
  return r;
}

void Script(const fs::path& path, const std::string& body) {
  fs::create_directories(path.parent_path());
  WriteFileBytes(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
}

}  // namespace

std::string ProductLine() {
  //          1-6     7-8 9-14     15 16 17-19 20-21 22-26   27-34      35 36-40   41-45
  std::string line =
      "712345"
      "AB"
      "CDEFGH"
      "R"
      "S"
      "T17"
      "20"
      "-----"
      "00012.50"
      "N"
      "LAB36"
      "LAB41";
  line += std::string(74 - line.size(), '.');
  return line + "XYZ";  // positions 75, 76, 77
}

std::string SerializationLine() {
  std::string line = "1712345";
  line += std::string(104 - line.size(), ' ');
  return line + "2024-03-15";
}

Pharmacy::Pharmacy(const std::string& region_name) {
  MakeDrives(region_name);
  MakeRecordFiles();
  MakeSites();
  MakeArchive();
}

void Pharmacy::MakeDrives(const std::string& region_name) {
  dir_.Write("drives/C/i.bat", "@echo off\r\nrem datos de la farmacia\r\n:DATOS\r\n1\r\nF:\r\n");
  for (const char* folder : {"windows", "velmorin/bases", "velmorin/quorra", "velmorin/maximos", "velmorin/preferencia",
                             "velmorin/reparar", "velmorin/AF", "velmorin/sodrilax", "velmorin/bdnet/soft"}) {
    fs::create_directories(drives() / "F" / folder);
  }
  if (!region_name.empty()) WriteFileBytes(F("velmorin/maximos/ccaa"), Ansi(region_name) + "\r\n");
  Script(F("velmorin/bdnet/soft/ovt-qe58.exe"), "pwd > \"$VELMORIN_DRIVES/F/installer-ran\"");
  WriteFileBytes(F("velmorin/bdnet/left-over.txt"), "from the last run");
}

void Pharmacy::MakeRecordFiles() {
  const struct {
    const char* code;
    int64_t stem;
    int digit;
    int64_t record;
  } products[] = {{"712345", 71234, 5, 101}, {"654321", 65432, 1, 102}, {"400001", 40000, 1, 103}};
  const fs::path basey = F("velmorin/quorra/basey");
  for (const auto& p : products) {
    std::string index = Blank(ProductRecord::kLength);
    SetText(index, ProductRecord::IndexSlot(p.digit), "   " + std::to_string(p.record));
    SetRecord(basey, ProductRecord::kLength, p.stem, index);
    std::string product = WithCode(ProductRecord::kLength, ProductRecord::kCode, p.code);
    SetText(product, ProductRecord::kEndMarkText, "-FIN de la serie");
    SetRecord(basey, ProductRecord::kLength, p.record, product);
    SetRecord(F("velmorin/quorra/basea"), ProductDetailRecord::kLength, p.record,
              WithCode(ProductDetailRecord::kLength, ProductDetailRecord::kCode, p.code));
    std::string lab = WithCode(LabGtRecord::kSlotLength, LabGtRecord::kCode, p.code);
    lab[16] = '\x7F';
    SetRecord(F("velmorin/bases/LabGT"), LabGtRecord::kSlotLength, p.record, lab);
    SetRecord(F("velmorin/bases/coste"), CostRecord::kLength, p.record, Blank(CostRecord::kLength));
  }
  WriteFileBytes(F("velmorin/quorra/BaseP"), "old prices");
}

void Pharmacy::WriteSiteFile(const std::string& site_name, const std::string& path, const std::string& bytes) const {
  const fs::path file = site(site_name) / path;
  fs::create_directories(file.parent_path());
  WriteFileBytes(file, bytes);
}

void Pharmacy::MakeSites() {
  WriteSiteFile("coop", "documentos/quenil.txt", "quenil\r\n");
  WriteSiteFile("council", "serializacion.txt", SerializationLine() + "\r\n");
  const std::string lists = "datosprefmenor/";
  WriteSiteFile("update", lists + "SNOMED.txt", "snomed\r\n");
  WriteSiteFile("update", lists + "VISADO75.txt", "654321 VISADO\r\n400001 POR DEBAJO\r\n");
  WriteSiteFile("update", lists + "pvpnotificados.txt", "712345 00012.5000010.00\r\n");
  WriteSiteFile("update", lists + "bioequiv.txt", "bioequiv\r\n");
  WriteSiteFile("update", lists + "Cyl_Menores.txt", "cyl\r\n");
  std::string spec = Blank(SpecRecord::kLength);
  SetText(spec, SpecRecord::kFirstValue, "  1.5 ");
  SetText(spec, SpecRecord::kSecondValue, " 12.5   ");
  SetText(spec, SpecRecord::kThirdValue, "3");
  SetText(spec, SpecRecord::kFourthValue, "        ");
  SetText(spec, SpecRecord::kCode, "654321");
  for (const char* suffix : {"NA", "CM", "EX", "MA"}) {
    WriteSiteFile("update", lists + "espec." + suffix, spec + "tail");
    WriteSiteFile("update", lists + "conjunto." + suffix, std::string("conjunto ") + suffix);
  }
  WriteSiteFile("update", lists + "Trelvanos.exe", std::string("MZ\x90\0windows program", 20));
  WriteSiteFile("update", lists + "NoSust.Gt", "nosust\r\n");
  WriteSiteFile("update", lists + "Sustituir.cyl", "sustituir\r\n");
  WriteSiteFile("update", "bdi/tarquinas.txt", "tarquinas\r\n");
  const fs::path tool = site("update") / lists / "Quimbaleta.exe";
  Script(tool, "touch \"$VELMORIN_DRIVES/F/quimbaleta-ran\"");
}

void Pharmacy::MakeArchive() {
  const fs::path work = dir_.path() / "archive";
  fs::create_directories(work);
  WriteFileBytes(work / "dolvek.txt", ProductLine() + "\r\n");
  fs::create_directories(site("update") / "bdi/bases/euro");
  const std::string command = "cd '" + work.string() + "' && arj a -y '" +
                              (site("update") / "bdi/bases/euro/dolvek.arj").string() + "' dolvek.txt >/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("arj could not make the archive");
}

std::string Pharmacy::Record(const std::string& relative, size_t length, int64_t n) const {
  const std::string content = ReadFileBytes(F(relative));
  const size_t offset = static_cast<size_t>(n - 1) * length;
  if (content.size() < offset + length) return std::string();
  return content.substr(offset, length);
}

}  // namespace velmorin::test_support
