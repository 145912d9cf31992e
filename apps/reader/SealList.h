#pragma once
// The seals of one file with their verdicts, as inspect reports them: one entry per seal (invalid ones in
// red) with its reasons, later changes and record beneath.
#include <QTreeWidget>
#include <filesystem>

#include "external/QpHandles.h"

namespace sealrun::reader {

class SealList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit SealList(QWidget* parent = nullptr);
  // Reads the file again and shows its seals; a file that does not open says so.
  void ShowFile(const std::filesystem::path& file);
  const std::filesystem::path& File() const { return file_; }
  int SealCount() const { return seals_; }
  int InvalidCount() const { return invalid_; }

 private:
  external::EngineHandle engine_;
  std::filesystem::path file_;
  int seals_ = 0;
  int invalid_ = 0;
};

}  // namespace sealrun::reader
