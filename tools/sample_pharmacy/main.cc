// velmorin-sample-pharmacy: the demo's sample pharmacy and its "what changed" report.
//
//   velmorin-sample-pharmacy make DRIVES SITES REGION
//     DRIVES/C/i.bat points at drive F:, whose \velmorin holds full-size record files as last
//     month's run left them; SITES/{update,council,coop} hold this month's lists, a real
//     dolvek.arj made with arj, and small stand-ins for the tools and the installer.
//   velmorin-sample-pharmacy compare BEFORE AFTER
//     Records changed per record file between two copies of \velmorin.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "common/cp1252.h"
#include "data_set.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void Script(const fs::path& path, const std::string& body) {
  Write(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
}

void Move(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::rename(from, to);
}

void MakeDrives(const fs::path& drives, const std::string& region) {
  Write(drives / "C/i.bat",
        "@echo off\r\nrem Datos de la farmacia\r\n:DATOS\r\n1\r\nF:\r\ncall F:\\velmorin\\inicio.bat\r\n");
  for (const char* folder : {"windows", "velmorin/maximos", "velmorin/reparar", "velmorin/AF", "velmorin/sodrilax",
                             "velmorin/bdnet/soft", "velmorin/preferencia", "velmorin/bases", "velmorin/quorra"}) {
    fs::create_directories(drives / "F" / folder);
  }
  Write(drives / "F/velmorin/maximos/ccaa", velmorin::Cp1252FromUtf8(region) + "\r\n");
  Script(drives / "F/velmorin/bdnet/soft/ovt-qe58.exe",
         "echo \"instalador de demostración ejecutado en $(pwd)\" > instalado.txt");
}

void MakeSites(const fs::path& drives, const fs::path& sites) {
  const fs::path velmorin = drives / "F/velmorin";
  const fs::path lists = sites / "update/datosprefmenor";
  Move(velmorin / "VISADO75.txt", lists / "VISADO75.txt");
  Move(velmorin / "quorra/pvpnotificados.txt", lists / "pvpnotificados.txt");
  Move(velmorin / "bases/serializacion.txt", sites / "council/serializacion.txt");
  const std::string espec = Read(velmorin / "preferencia/espec");
  fs::remove(velmorin / "preferencia/espec");
  for (const char* suffix : {"NA", "CM", "EX", "MA"}) {
    Write(lists / (std::string("espec.") + suffix), espec);
    Write(lists / (std::string("conjunto.") + suffix), std::string("conjunto de la región ") + suffix + "\r\n");
  }
  Write(lists / "SNOMED.txt", "SNOMED de demostración\r\n");
  Write(lists / "bioequiv.txt", "bioequivalencias de demostración\r\n");
  Write(lists / "Cyl_Menores.txt", "menores de Castilla y León\r\n");
  Write(lists / "NoSust.Gt", "no sustituibles\r\n");
  Write(lists / "Sustituir.cyl", "sustituibles en Castilla y León\r\n");
  Write(lists / "Trelvanos.exe", std::string("MZ\x90\0", 4) + " programa de Windows de demostración");
  Script(lists / "Quimbaleta.exe",
         "echo \"herramienta de sustitución ejecutada en $(pwd)\" > "
         "\"$VELMORIN_DRIVES/F/velmorin/reparar/quimbaleta.log\"");
  Write(sites / "update/bdi/tarquinas.txt", "aportaciones de demostración\r\n");
  Write(sites / "coop/documentos/quenil.txt", "quenil\r\n");
  const fs::path archive = sites / "update/bdi/bases/euro/dolvek.arj";
  fs::create_directories(archive.parent_path());
  const std::string command =
      "cd '" + (velmorin / "bases").string() + "' && arj a -y '" + archive.string() + "' dolvek.txt >/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("arj could not build dolvek.arj");
  fs::remove(velmorin / "bases/dolvek.txt");
}

int Make(const fs::path& drives, const fs::path& sites, const std::string& region) {
  const fs::path scratch = drives / ".generated";
  velmorin::bench::GenerateDataSet(scratch, velmorin::bench::DataSetShape{});
  fs::create_directories(drives / "F");
  fs::rename(scratch / "C/velmorin", drives / "F/velmorin");
  fs::remove_all(scratch);
  MakeDrives(drives, region);
  MakeSites(drives, sites);
  return 0;
}

int Compare(const fs::path& before, const fs::path& after) {
  const struct {
    const char* path;
    size_t length;
  } files[] = {{"quorra/basey", 128},   {"quorra/basea", 62},        {"bases/coste", 136},      {"bases/LabGT", 17},
               {"quorra/baseext", 100}, {"preferencia/precios", 17}, {"preferencia/espec", 43}, {"quorra/BaseP", 64}};
  std::printf("%-28s %10s %10s\n", "fichero", "registros", "cambiados");
  for (const auto& f : files) {
    const std::string a = fs::exists(before / f.path) ? Read(before / f.path) : "";
    const std::string b = fs::exists(after / f.path) ? Read(after / f.path) : "";
    const size_t records = (std::max(a.size(), b.size()) + f.length - 1) / f.length;
    size_t changed = 0;
    for (size_t n = 0; n < records; ++n) {
      const size_t at = n * f.length;
      const std::string x = at < a.size() ? a.substr(at, f.length) : "";
      const std::string y = at < b.size() ? b.substr(at, f.length) : "";
      changed += x != y;
    }
    std::printf("%-28s %10zu %10zu\n", f.path, records, changed);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  try {
    if (verb == "make" && argc == 5) return Make(fs::absolute(argv[2]), fs::absolute(argv[3]), argv[4]);
    if (verb == "compare" && argc == 4) return Compare(argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::cerr << "velmorin-sample-pharmacy: " << e.what() << "\n";
    return 1;
  }
  std::cerr << "usage: velmorin-sample-pharmacy make DRIVES SITES REGION | compare BEFORE AFTER\n";
  return 2;
}
