#include "apps/reader/SealList.h"

#include <QBrush>
#include <QHeaderView>

#include "apps/common/SealReport.h"

namespace sealrun::reader {

namespace {

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

const QColor kInvalid(180, 0, 0);

}  // namespace

SealList::SealList(QWidget* parent) : QTreeWidget(parent), engine_(external::StartEngine()) {
  setObjectName(QStringLiteral("seal-list"));
  setColumnCount(1);
  header()->setVisible(false);
  setWordWrap(true);
}

void SealList::ShowFile(const std::filesystem::path& file) {
  clear();
  file_ = file;
  seals_ = 0;
  invalid_ = 0;
  if (!engine_) {
    addTopLevelItem(new QTreeWidgetItem(QStringList{tr("The PDF engine did not start.")}));  // owned by the tree
    return;
  }
  const apps::FileSeals examined = apps::ExamineFile(engine_.get(), file);
  if (!examined.opened) {
    addTopLevelItem(new QTreeWidgetItem(QStringList{tr("The file cannot be opened.")}));  // owned by the tree
    return;
  }
  if (examined.seals.empty())
    addTopLevelItem(new QTreeWidgetItem(QStringList{tr("No seals.")}));  // owned by the tree
  if (!examined.complete)
    addTopLevelItem(new QTreeWidgetItem(QStringList{tr("A page cannot be read: its seals are not listed.")}));
  for (const auto& seal : examined.seals) {
    ++seals_;
    const QString headline = Utf8(apps::SealHeadline(seal));
    auto* entry = new QTreeWidgetItem(QStringList{headline});  // owned by the tree
    entry->setToolTip(0, headline);
    if (!seal.valid) {
      ++invalid_;
      entry->setForeground(0, QBrush(kInvalid));
    }
    for (const auto& line : apps::SealDetails(seal)) {
      auto* detail = new QTreeWidgetItem(QStringList{Utf8(line)});  // owned by the tree
      detail->setToolTip(0, Utf8(line));
      entry->addChild(detail);
    }
    addTopLevelItem(entry);
    entry->setExpanded(!seal.valid);
  }
}

}  // namespace sealrun::reader
