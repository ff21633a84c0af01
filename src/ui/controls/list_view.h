#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ui/control.h"

namespace vt {

// A list of rows under a header of columns, one row selected. Up, Down,
// Home, End, Page Up and Page Down move the selection (the list scrolls to
// keep it in view); a click selects; a double click or Enter on the
// selected row notifies kNotifyDoubleClicked; a new selection notifies
// kNotifySelection.
class ListView : public Control {
 public:
  struct Column {
    std::u16string title;
    int32_t width;  // at 96 dpi
    TextAlign align = TextAlign::kLeft;
  };
  explicit ListView(std::vector<Column> columns = {}) : columns_(std::move(columns)) {}

  const std::vector<Column>& Columns() const { return columns_; }
  size_t RowCount() const { return rows_.size(); }
  const std::vector<std::u16string>& Row(size_t i) const { return rows_[i]; }
  void SetRows(std::vector<std::vector<std::u16string>> rows, int selected = -1);
  void AddRow(std::vector<std::u16string> cells);
  void RemoveRow(size_t index);
  int Selected() const { return selected_; }
  void SetSelected(int index, bool notify = false);
  // The first row shown under the header.
  size_t TopRow() const { return top_; }
  // Rows that fit under the header (at least one).
  size_t VisibleRows() const;
  int32_t RowHeight() const;

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnMouseDown(int button, ViewPoint at, uint8_t modifiers) override;
  void OnDoubleClick(int button, ViewPoint at) override;

 private:
  int RowAt(ViewPoint at) const;
  void KeepSelectionInView();

  std::vector<Column> columns_;
  std::vector<std::vector<std::u16string>> rows_;
  int selected_ = -1;
  size_t top_ = 0;
};

}  // namespace vt
