// Private to the Qt realisation: the report-style list control behind
// CListCtrl (a tree view without branches over a table model) with the
// hooks a derived control (CXListCtrl) uses for its own drawing and input.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTreeView>

#include <functional>
#include <vector>

#include "platform/CString.h"
#include "platform/gui/GuiTypes.h"

namespace platform::gui::qt {

struct ListColumn {
    CString heading;
    int format = LVCFMT_LEFT;     // LVCFMT_ alignment
    int headerFormat = HDF_LEFT;  // HDF_ bits of the header item
    LPARAM headerParam = 0;       // the header item's caller value
};

struct ListRow {
    std::vector<CString> texts; // one per column (missing ones read as empty)
    DWORD_PTR data = 0;
    int image = -1;
};

class ListModel : public QAbstractTableModel {
public:
    explicit ListModel(QObject* parent) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const CString& Text(int row, int column) const;
    void SetText(int row, int column, const CString& text);
    int InsertRow(int row, const CString& text);
    void RemoveRow(int row);
    void RemoveAll();
    int InsertColumn(int column, const ListColumn& definition);
    void RemoveColumn(int column);
    // Reorders the rows: order[i] is the old index of the new row i.
    void Reorder(const std::vector<int>& order);
    // Repaints the cells of rows first..last.
    void RowsChanged(int first, int last);

    std::vector<ListColumn> columns;
    std::vector<ListRow> rows;
};

// Column header of the list: sections are drawn by the style unless the
// paint hook draws them.
class HeaderView : public QHeaderView {
public:
    explicit HeaderView(QWidget* parent);
    // Draws section `logicalIndex` into `rect`; true when it did.
    std::function<bool(QPainter*, const QRect&, int)> paintHook;
    // The width section `index` needs for its heading.
    int HeadingWidth(int index) const { return sectionSizeFromContents(index).width(); }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

class ListView : public QTreeView {
public:
    ListView(QWidget* parent, DWORD style);

    ListModel* Model() const { return m_model; }
    HeaderView* Header() const { return m_header; }

    // Client coordinates (inside the frame, header included, as Windows has
    // them) <-> the viewport's coordinates.
    QPoint ViewportToClient(const QPoint& point) const;
    QPoint ClientToViewport(const QPoint& point) const;
    // The width the cells of `column` need; the height of one row.
    int ContentWidth(int column) const { return sizeHintForColumn(column); }
    int RowHeight() const
    {
        return m_model->rows.empty() ? 0 : rowHeight(m_model->index(0, 0));
    }
    // The cell under a viewport point: row and column, -1 where none.
    void CellAt(const QPoint& viewportPoint, int& row, int& column) const;

    // Hooks of a derived control; an input hook returns true when it
    // consumed the event.
    std::function<void(QPainter&)> paintOverlay;
    std::function<bool(QMouseEvent*)> mousePressHook;
    std::function<bool(QMouseEvent*)> mouseReleaseHook;
    std::function<bool(QMouseEvent*)> mouseDoubleClickHook;
    std::function<bool(QKeyEvent*)> keyPressHook;
    std::function<void()> focusOutHook;

    DWORD exStyle = 0;
    int selectionMark = -1;
    bool redraw = true;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void NotifyItem(UINT code, int row, int column, QMouseEvent* event);
    void NotifyState(int row, UINT oldState, UINT newState);
    UINT StateOf(int row) const;

    ListModel* m_model;
    HeaderView* m_header;
};

// The list behind a handle (null when the handle is not a list).
ListView* ListViewOf(HWND hwnd);

} // namespace platform::gui::qt
