// What the adaptation pages' layouts share: a cell table that keeps the models' column widths,
// with its digits in a fixed-width face so that a column's values line up and fit, and the row
// of the page's save button.
#pragma once

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "qt/pages/page_layouts.h"

namespace kd::qt::cells {

inline QTableWidget* Table(const MakeWidget& make, const char* name, QWidget* page, int rowHeight) {
  auto* table = static_cast<QTableWidget*>(make(name, page));
  if (!table) return nullptr;
  table->verticalHeader()->setDefaultSectionSize(rowHeight);
  table->verticalHeader()->setMinimumSectionSize(rowHeight);
  table->setWordWrap(false);
  table->setShowGrid(true);
  return table;
}

// Digits in a fixed-width face; the labels of row 0 and column 0 read the same.
inline void FixedDigits(QTableWidget* table, int pointSize) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(pointSize);
  table->setFont(font);
}

inline void SaveRow(const MakeWidget& make, const char* button, QWidget* page,
                    QVBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  if (QWidget* w = make(button, page)) row->addWidget(w);
  row->addStretch();
  layout->addLayout(row);
}

}  // namespace kd::qt::cells
