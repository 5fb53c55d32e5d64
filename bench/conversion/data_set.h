// A full-size data folder for the conversion benchmark: the record files as last month's run
// left them, and this month's lists, a given share of whose entries differ from last month's.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velmorin::bench {

struct DataSetShape {
  int products = 60000;       // in basey's 99,999 records
  int product_lines = 60000;  // dolvek.txt
  int visa_lines = 5000;      // VISADO75.txt
  int serialization_lines = 40000;
  int spec_records = 20000;    // espec
  int notified_lines = 30000;  // pvpnotificados.txt
  int end_marks = 1000;        // "-FIN" marks left by the archive
  double changed = 0.10;       // share of list entries that differ from last month
  unsigned seed = 20240315;
};

// Host paths of the data files, relative to the drive folder C.
namespace files {
inline const char kBasey[] = "velmorin/quorra/basey";
inline const char kBasea[] = "velmorin/quorra/basea";
inline const char kCoste[] = "velmorin/bases/coste";
inline const char kLabGt[] = "velmorin/bases/LabGT";
inline const char kBaseext[] = "velmorin/quorra/baseext";
inline const char kPrecios[] = "velmorin/preferencia/precios";
inline const char kEspec[] = "velmorin/preferencia/espec";
inline const char kBaseP[] = "velmorin/quorra/BaseP";
inline const char kProductText[] = "velmorin/bases/dolvek.txt";
inline const char kVisado[] = "velmorin/VISADO75.txt";
inline const char kSerialization[] = "velmorin/bases/serializacion.txt";
inline const char kNotified[] = "velmorin/quorra/pvpnotificados.txt";
}  // namespace files

// Writes the data set under drives_root/C: record files built and brought to last month's
// state by running the conversions on last month's lists, then this month's lists.
void GenerateDataSet(const std::filesystem::path& drives_root, const DataSetShape& shape);

}  // namespace velmorin::bench
