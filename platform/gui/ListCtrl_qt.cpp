// CListCtrl and CHeaderCtrl on Qt: a QTreeView without branches over a
// table model that keeps the rows' texts and item data.
#include "platform/gui/ListCtrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "platform/gui/DisplayText.h"
#include "platform/gui/Gui_qt.h"
#include "platform/gui/ListCtrl_qt.h"

namespace platform::gui::qt {

// ---- model ------------------------------------------------------------------------------

int ListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int ListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns.size());
}

const CString& ListModel::Text(int row, int column) const
{
    static const CString empty;
    if (row < 0 || row >= static_cast<int>(rows.size()) || column < 0)
        return empty;
    const ListRow& r = rows[static_cast<size_t>(row)];
    return static_cast<size_t>(column) < r.texts.size() ? r.texts[static_cast<size_t>(column)] : empty;
}

QVariant ListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return ToQ(DisplaySafeText(Text(index.row(), index.column())));
    case Qt::TextAlignmentRole: {
        const int format = index.column() == 0 ? LVCFMT_LEFT : columns[static_cast<size_t>(index.column())].format;
        Qt::Alignment a = Qt::AlignVCenter;
        a |= (format & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT    ? Qt::AlignRight
             : (format & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER ? Qt::AlignHCenter
                                                              : Qt::AlignLeft;
        return QVariant::fromValue(a);
    }
    default:
        return QVariant();
    }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns.size()))
        return QVariant();
    const ListColumn& column = columns[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole)
        return ToQ(DisplaySafeText(column.heading));
    if (role == Qt::TextAlignmentRole) {
        Qt::Alignment a = Qt::AlignVCenter;
        a |= (column.format & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT    ? Qt::AlignRight
             : (column.format & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER ? Qt::AlignHCenter
                                                                     : Qt::AlignLeft;
        return QVariant::fromValue(a);
    }
    return QVariant();
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ListModel::SetText(int row, int column, const CString& text)
{
    ListRow& r = rows[static_cast<size_t>(row)];
    if (r.texts.size() <= static_cast<size_t>(column))
        r.texts.resize(static_cast<size_t>(column) + 1);
    r.texts[static_cast<size_t>(column)] = text;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

int ListModel::InsertRow(int row, const CString& text)
{
    row = std::clamp(row, 0, static_cast<int>(rows.size()));
    beginInsertRows(QModelIndex(), row, row);
    ListRow r;
    r.texts.resize(std::max<size_t>(columns.size(), 1));
    r.texts[0] = text;
    rows.insert(rows.begin() + row, std::move(r));
    endInsertRows();
    return row;
}

void ListModel::RemoveRow(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    rows.erase(rows.begin() + row);
    endRemoveRows();
}

void ListModel::RemoveAll()
{
    beginResetModel();
    rows.clear();
    endResetModel();
}

int ListModel::InsertColumn(int column, const ListColumn& definition)
{
    column = std::clamp(column, 0, static_cast<int>(columns.size()));
    beginInsertColumns(QModelIndex(), column, column);
    columns.insert(columns.begin() + column, definition);
    for (ListRow& r : rows) {
        if (r.texts.size() >= static_cast<size_t>(column))
            r.texts.insert(r.texts.begin() + std::min<size_t>(static_cast<size_t>(column), r.texts.size()), CString());
    }
    endInsertColumns();
    return column;
}

void ListModel::RemoveColumn(int column)
{
    beginRemoveColumns(QModelIndex(), column, column);
    columns.erase(columns.begin() + column);
    for (ListRow& r : rows) {
        if (static_cast<size_t>(column) < r.texts.size())
            r.texts.erase(r.texts.begin() + column);
    }
    endRemoveColumns();
}

void ListModel::Reorder(const std::vector<int>& order)
{
    emit layoutAboutToBeChanged();
    std::vector<int> newIndexOf(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        newIndexOf[static_cast<size_t>(order[i])] = static_cast<int>(i);
    std::vector<ListRow> sorted;
    sorted.reserve(rows.size());
    for (int old : order)
        sorted.push_back(std::move(rows[static_cast<size_t>(old)]));
    rows = std::move(sorted);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex& p : persistent)
        moved.append(index(newIndexOf[static_cast<size_t>(p.row())], p.column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged();
}

void ListModel::RowsChanged(int first, int last)
{
    if (rows.empty() || columns.empty())
        return;
    first = std::clamp(first, 0, static_cast<int>(rows.size()) - 1);
    last = std::clamp(last, first, static_cast<int>(rows.size()) - 1);
    emit dataChanged(index(first, 0), index(last, static_cast<int>(columns.size()) - 1));
}

// ---- header -----------------------------------------------------------------------------

HeaderView::HeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

void HeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (paintHook && paintHook(painter, rect, logicalIndex))
        return;
    QHeaderView::paintSection(painter, rect, logicalIndex);
}

// ---- view -------------------------------------------------------------------------------

ListView::ListView(QWidget* parent, DWORD style) : QTreeView(parent)
{
    m_model = new ListModel(this);
    m_header = new HeaderView(this);
    setHeader(m_header);
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode((style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                             : QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_header->setStretchLastSection(false);
    m_header->setSectionsMovable(false);
    m_header->setMinimumSectionSize(0);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->setSectionsClickable(!(style & LVS_NOSORTHEADER));
    m_header->setHighlightSections(false);
    if (style & LVS_NOCOLUMNHEADER)
        m_header->hide();
    connect(m_header, &QHeaderView::sectionClicked, this, [this](int section) {
        WindowRecord* record = Record(this);
        if (!record)
            return;
        NMLISTVIEW info{};
        info.iItem = -1;
        info.iSubItem = section;
        info.hdr.code = LVN_COLUMNCLICK;
        NotifyParent(record, &info.hdr);
    });
}

QPoint ListView::ViewportToClient(const QPoint& point) const
{
    return viewport()->mapTo(const_cast<ListView*>(this), point) - ClientOrigin(this);
}

QPoint ListView::ClientToViewport(const QPoint& point) const
{
    return viewport()->mapFrom(const_cast<ListView*>(this), point + ClientOrigin(this));
}

void ListView::CellAt(const QPoint& viewportPoint, int& row, int& column) const
{
    const QModelIndex index = indexAt(viewportPoint);
    row = index.isValid() ? index.row() : -1;
    column = index.isValid() ? index.column() : -1;
    if (!index.isValid()) {
        // Beside the last column of a row, Windows still finds the row.
        column = -1;
    }
}

void ListView::paintEvent(QPaintEvent* event)
{
    QTreeView::paintEvent(event);
    if (paintOverlay) {
        QPainter painter(viewport());
        paintOverlay(painter);
    }
}

void ListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QTreeView::drawRow(painter, option, index);
    if (exStyle & LVS_EX_GRIDLINES) {
        painter->save();
        painter->setPen(palette().color(QPalette::Midlight));
        const QRect row = option.rect;
        painter->drawLine(row.left(), row.bottom(), row.right(), row.bottom());
        for (int c = 0; c < m_header->count(); ++c) {
            const int x = m_header->sectionViewportPosition(c) + m_header->sectionSize(c) - 1;
            painter->drawLine(x, row.top(), x, row.bottom());
        }
        painter->restore();
    }
}

void ListView::NotifyItem(UINT code, int row, int column, QMouseEvent* event)
{
    WindowRecord* record = Record(this);
    if (!record)
        return;
    NMITEMACTIVATE info{};
    info.iItem = row;
    info.iSubItem = column < 0 ? 0 : column;
    const QPoint client = ViewportToClient(event->position().toPoint());
    info.ptAction = POINT{client.x(), client.y()};
    info.hdr.code = code;
    NotifyParent(record, &info.hdr);
}

void ListView::mousePressEvent(QMouseEvent* event)
{
    if (mousePressHook && mousePressHook(event))
        return;
    QTreeView::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        selectionMark = index.row();
}

void ListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (mouseReleaseHook && mouseReleaseHook(event))
        return;
    QPointer<ListView> self(this);
    QTreeView::mouseReleaseEvent(event);
    if (!self)
        return;
    int row = -1, column = -1;
    CellAt(event->position().toPoint(), row, column);
    if (event->button() == Qt::LeftButton)
        NotifyItem(NM_CLICK, row, column, event);
    else if (event->button() == Qt::RightButton)
        NotifyItem(NM_RCLICK, row, column, event);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (mouseDoubleClickHook && mouseDoubleClickHook(event))
        return;
    QPointer<ListView> self(this);
    QTreeView::mouseDoubleClickEvent(event);
    if (!self || event->button() != Qt::LeftButton)
        return;
    int row = -1, column = -1;
    CellAt(event->position().toPoint(), row, column);
    NotifyItem(NM_DBLCLK, row, column, event);
}

void ListView::keyPressEvent(QKeyEvent* event)
{
    if (keyPressHook && keyPressHook(event))
        return;
    QTreeView::keyPressEvent(event);
}

void ListView::focusOutEvent(QFocusEvent* event)
{
    QTreeView::focusOutEvent(event);
    if (focusOutHook)
        focusOutHook();
}

UINT ListView::StateOf(int row) const
{
    UINT state = 0;
    if (selectionModel() && selectionModel()->isRowSelected(row, QModelIndex()))
        state |= LVIS_SELECTED;
    if (currentIndex().isValid() && currentIndex().row() == row)
        state |= LVIS_FOCUSED;
    return state;
}

void ListView::NotifyState(int row, UINT oldState, UINT newState)
{
    WindowRecord* record = Record(this);
    if (!record || oldState == newState)
        return;
    NMLISTVIEW info{};
    info.iItem = row;
    info.iSubItem = 0;
    info.uOldState = oldState;
    info.uNewState = newState;
    info.uChanged = LVIF_STATE;
    if (row >= 0 && row < static_cast<int>(m_model->rows.size()))
        info.lParam = static_cast<LPARAM>(m_model->rows[static_cast<size_t>(row)].data);
    info.hdr.code = LVN_ITEMCHANGED;
    NotifyParent(record, &info.hdr);
}

void ListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    std::vector<int> changed;
    for (const QItemSelection* part : {&deselected, &selected}) {
        for (const QModelIndex& index : part->indexes()) {
            if (std::find(changed.begin(), changed.end(), index.row()) == changed.end())
                changed.push_back(index.row());
        }
    }
    std::sort(changed.begin(), changed.end());
    for (int row : changed) {
        const UINT now = StateOf(row);
        NotifyState(row, now ^ LVIS_SELECTED, now);
    }
}

void ListView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTreeView::currentChanged(current, previous);
    if (previous.isValid() && previous.row() != current.row()) {
        const UINT now = StateOf(previous.row());
        NotifyState(previous.row(), now | LVIS_FOCUSED, now);
    }
    if (current.isValid() && (!previous.isValid() || previous.row() != current.row())) {
        const UINT now = StateOf(current.row());
        NotifyState(current.row(), now & ~LVIS_FOCUSED, now);
    }
}

ListView* ListViewOf(HWND hwnd)
{
    WindowRecord* record = Record(hwnd);
    return record && record->kind == Kind::ListView ? static_cast<ListView*>(record->widget) : nullptr;
}

namespace {

ListView* ViewOfHeader(HWND header)
{
    WindowRecord* record = Record(header);
    if (!record || record->kind != Kind::Header)
        return nullptr;
    return dynamic_cast<ListView*>(record->widget->parentWidget());
}

} // namespace

} // namespace platform::gui::qt

using namespace platform::gui::qt;

// ---- CHeaderCtrl ------------------------------------------------------------------------

int CHeaderCtrl::GetItemCount() const
{
    ListView* view = ViewOfHeader(m_hWnd);
    return view ? static_cast<int>(view->Model()->columns.size()) : 0;
}

BOOL CHeaderCtrl::GetItemRect(int index, LPRECT rect) const
{
    ListView* view = ViewOfHeader(m_hWnd);
    if (!view || !rect || index < 0 || index >= GetItemCount())
        return FALSE;
    HeaderView* header = view->Header();
    const int x = header->sectionViewportPosition(index);
    *rect = CRect(x, 0, x + header->sectionSize(index), header->height());
    return TRUE;
}

int CHeaderCtrl::GetItemFormat(int index) const
{
    ListView* view = ViewOfHeader(m_hWnd);
    if (!view || index < 0 || index >= GetItemCount())
        return 0;
    return view->Model()->columns[static_cast<size_t>(index)].headerFormat;
}

BOOL CHeaderCtrl::SetItemFormat(int index, int format)
{
    ListView* view = ViewOfHeader(m_hWnd);
    if (!view || index < 0 || index >= GetItemCount())
        return FALSE;
    view->Model()->columns[static_cast<size_t>(index)].headerFormat = format;
    view->Header()->viewport()->update();
    return TRUE;
}

LPARAM CHeaderCtrl::GetItemParam(int index) const
{
    ListView* view = ViewOfHeader(m_hWnd);
    if (!view || index < 0 || index >= GetItemCount())
        return 0;
    return view->Model()->columns[static_cast<size_t>(index)].headerParam;
}

BOOL CHeaderCtrl::SetItemParam(int index, LPARAM param)
{
    ListView* view = ViewOfHeader(m_hWnd);
    if (!view || index < 0 || index >= GetItemCount())
        return FALSE;
    view->Model()->columns[static_cast<size_t>(index)].headerParam = param;
    view->Header()->viewport()->update();
    return TRUE;
}

// ---- CListCtrl --------------------------------------------------------------------------

CListCtrl::CListCtrl() = default;
CListCtrl::~CListCtrl() = default;

CHeaderCtrl* CListCtrl::GetHeaderCtrl() const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view)
        return nullptr;
    WindowRecord* header = Adopt(view->Header(), Kind::Header, 0, u"SysHeader32");
    m_header.m_hWnd = Handle(header->widget);
    return &m_header;
}

int CListCtrl::InsertColumn(int column, const CString& heading, int format, int width, int)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || column < 0)
        return -1;
    ListColumn definition;
    definition.heading = heading;
    definition.format = format;
    definition.headerFormat = format & LVCFMT_JUSTIFYMASK;
    const int index = view->Model()->InsertColumn(column, definition);
    if (width >= 0)
        view->Header()->resizeSection(index, width);
    else
        view->Header()->resizeSection(index, view->Header()->HeadingWidth(index));
    return index;
}

BOOL CListCtrl::DeleteColumn(int column)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || column < 0 || column >= GetColumnCount())
        return FALSE;
    view->Model()->RemoveColumn(column);
    return TRUE;
}

int CListCtrl::GetColumnCount() const
{
    ListView* view = ListViewOf(m_hWnd);
    return view ? static_cast<int>(view->Model()->columns.size()) : 0;
}

int CListCtrl::GetColumnWidth(int column) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || column < 0 || column >= GetColumnCount())
        return 0;
    return view->Header()->sectionSize(column);
}

BOOL CListCtrl::SetColumnWidth(int column, int width)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || column < 0 || column >= GetColumnCount())
        return FALSE;
    HeaderView* header = view->Header();
    if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER) {
        int wanted = view->Model()->rows.empty() ? 0 : view->ContentWidth(column);
        if (width == LVSCW_AUTOSIZE_USEHEADER) {
            wanted = std::max(wanted, header->HeadingWidth(column));
            if (column == GetColumnCount() - 1) {
                // The last column takes the rest of the list's width.
                int others = 0;
                for (int c = 0; c < column; ++c)
                    others += header->sectionSize(c);
                // (The viewport gets its size only when the list is shown.)
                int client = view->contentsRect().width();
                if (view->verticalScrollBar()->isVisible())
                    client -= view->verticalScrollBar()->width();
                wanted = std::max(wanted, client - others);
            }
        }
        width = wanted;
    }
    header->resizeSection(column, std::max(width, 0));
    return TRUE;
}

CString CListCtrl::GetColumnHeading(int column) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || column < 0 || column >= GetColumnCount())
        return CString();
    return view->Model()->columns[static_cast<size_t>(column)].heading;
}

int CListCtrl::GetColumnFormat(int column) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || column < 0 || column >= GetColumnCount())
        return 0;
    return view->Model()->columns[static_cast<size_t>(column)].format;
}

int CListCtrl::InsertItem(int item, const CString& text)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0)
        return -1;
    return view->Model()->InsertRow(item, text);
}

int CListCtrl::InsertItem(int item, const CString& text, int image)
{
    const int row = InsertItem(item, text);
    if (row >= 0)
        ListViewOf(m_hWnd)->Model()->rows[static_cast<size_t>(row)].image = image;
    return row;
}

BOOL CListCtrl::DeleteItem(int item)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount())
        return FALSE;
    view->Model()->RemoveRow(item);
    return TRUE;
}

BOOL CListCtrl::DeleteAllItems()
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view)
        return FALSE;
    view->Model()->RemoveAll();
    view->selectionMark = -1;
    return TRUE;
}

int CListCtrl::GetItemCount() const
{
    ListView* view = ListViewOf(m_hWnd);
    return view ? static_cast<int>(view->Model()->rows.size()) : 0;
}

BOOL CListCtrl::SetItemText(int item, int subItem, const CString& text)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount() || subItem < 0 || (subItem > 0 && subItem >= GetColumnCount()))
        return FALSE;
    view->Model()->SetText(item, subItem, text);
    return TRUE;
}

CString CListCtrl::GetItemText(int item, int subItem) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount())
        return CString();
    return view->Model()->Text(item, subItem);
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount())
        return FALSE;
    view->Model()->rows[static_cast<size_t>(item)].data = data;
    return TRUE;
}

DWORD_PTR CListCtrl::GetItemData(int item) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount())
        return 0;
    return view->Model()->rows[static_cast<size_t>(item)].data;
}

BOOL CListCtrl::SetItem(int item, int subItem, UINT mask, const CString& text, int image, UINT state,
                        UINT stateMask, LPARAM param)
{
    if (item < 0 || item >= GetItemCount())
        return FALSE;
    if ((mask & LVIF_TEXT) && !SetItemText(item, subItem, text))
        return FALSE;
    if (mask & LVIF_IMAGE)
        ListViewOf(m_hWnd)->Model()->rows[static_cast<size_t>(item)].image = image;
    if (mask & LVIF_PARAM)
        SetItemData(item, static_cast<DWORD_PTR>(param));
    if (mask & LVIF_STATE)
        SetItemState(item, state, stateMask);
    return TRUE;
}

int CListCtrl::GetItemImage(int item) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount())
        return -1;
    return view->Model()->rows[static_cast<size_t>(item)].image;
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < -1 || item >= GetItemCount())
        return FALSE;
    QItemSelectionModel* selection = view->selectionModel();
    const int first = item < 0 ? 0 : item;
    const int last = item < 0 ? GetItemCount() - 1 : item;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = view->Model()->index(row, 0);
        if (mask & LVIS_SELECTED) {
            const auto flags = ((state & LVIS_SELECTED) ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                               QItemSelectionModel::Rows;
            if ((state & LVIS_SELECTED) && view->selectionMode() == QAbstractItemView::SingleSelection)
                selection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            else
                selection->select(index, flags);
        }
        if (mask & LVIS_FOCUSED) {
            if (state & LVIS_FOCUSED)
                selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            else if (view->currentIndex().row() == row)
                selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        }
    }
    return TRUE;
}

UINT CListCtrl::GetItemState(int item, UINT mask) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount())
        return 0;
    UINT state = 0;
    if (view->selectionModel()->isRowSelected(item, QModelIndex()))
        state |= LVIS_SELECTED;
    if (view->currentIndex().isValid() && view->currentIndex().row() == item)
        state |= LVIS_FOCUSED;
    return state & mask;
}

int CListCtrl::GetNextItem(int start, int flags) const
{
    const int count = GetItemCount();
    for (int row = start < 0 ? 0 : start + 1; row < count; ++row) {
        const UINT state = GetItemState(row, LVIS_SELECTED | LVIS_FOCUSED);
        if ((flags & LVNI_SELECTED) && !(state & LVIS_SELECTED))
            continue;
        if ((flags & LVNI_FOCUSED) && !(state & LVIS_FOCUSED))
            continue;
        return row;
    }
    return -1;
}

UINT CListCtrl::GetSelectedCount() const
{
    ListView* view = ListViewOf(m_hWnd);
    return view ? static_cast<UINT>(view->selectionModel()->selectedRows().size()) : 0;
}

POSITION CListCtrl::GetFirstSelectedItemPosition() const
{
    const int row = GetNextItem(-1, LVNI_SELECTED);
    return row < 0 ? nullptr : reinterpret_cast<POSITION>(static_cast<uintptr_t>(row) + 1);
}

int CListCtrl::GetNextSelectedItem(POSITION& position) const
{
    const int row = static_cast<int>(reinterpret_cast<uintptr_t>(position)) - 1;
    const int next = GetNextItem(row, LVNI_SELECTED);
    position = next < 0 ? nullptr : reinterpret_cast<POSITION>(static_cast<uintptr_t>(next) + 1);
    return row;
}

int CListCtrl::GetSelectionMark() const
{
    ListView* view = ListViewOf(m_hWnd);
    return view && view->selectionMark < GetItemCount() ? view->selectionMark : -1;
}

int CListCtrl::SetSelectionMark(int item)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view)
        return -1;
    const int previous = view->selectionMark;
    view->selectionMark = item;
    return previous;
}

BOOL CListCtrl::EnsureVisible(int item, BOOL)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount())
        return FALSE;
    view->scrollTo(view->Model()->index(item, 0));
    return TRUE;
}

BOOL CListCtrl::GetItemRect(int item, LPRECT rect, UINT code) const
{
    CRect r;
    if (!rect || !GetSubItemRect(item, 0, static_cast<int>(code == LVIR_LABEL ? LVIR_LABEL : LVIR_BOUNDS), r))
        return FALSE;
    *rect = r;
    return TRUE;
}

BOOL CListCtrl::GetSubItemRect(int item, int subItem, int code, CRect& rect) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || item < 0 || item >= GetItemCount() || subItem < 0 || subItem >= std::max(GetColumnCount(), 1))
        return FALSE;
    if (GetColumnCount() == 0)
        return FALSE;
    QRect cell = view->visualRect(view->Model()->index(item, subItem));
    if (subItem == 0 && code == LVIR_BOUNDS) {
        const int last = GetColumnCount() - 1;
        cell = cell.united(view->visualRect(view->Model()->index(item, last)));
    }
    const QPoint topLeft = view->ViewportToClient(cell.topLeft());
    rect = CRect(topLeft.x(), topLeft.y(), topLeft.x() + cell.width(), topLeft.y() + cell.height());
    return TRUE;
}

int CListCtrl::HitTest(CPoint point, UINT* flags) const
{
    LVHITTESTINFO info{};
    info.pt = point;
    const int row = SubItemHitTest(&info);
    if (flags)
        *flags = info.flags;
    return row;
}

int CListCtrl::SubItemHitTest(LVHITTESTINFO* info) const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || !info)
        return -1;
    const QPoint viewportPoint = view->ClientToViewport(QPoint(info->pt.x, info->pt.y));
    int row = -1, column = -1;
    if (view->viewport()->rect().contains(viewportPoint))
        view->CellAt(viewportPoint, row, column);
    info->iItem = row;
    info->iSubItem = column < 0 ? 0 : column;
    info->flags = row < 0 ? LVHT_NOWHERE : LVHT_ONITEMLABEL;
    return row;
}

int CListCtrl::GetTopIndex() const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view)
        return 0;
    const QModelIndex top = view->indexAt(QPoint(1, 1));
    return top.isValid() ? top.row() : 0;
}

int CListCtrl::GetCountPerPage() const
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view)
        return 0;
    int rowHeight = view->RowHeight();
    if (rowHeight <= 0)
        rowHeight = view->fontMetrics().height() + 4;
    return view->viewport()->height() / rowHeight;
}

DWORD CListCtrl::SetExtendedStyle(DWORD exStyle)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view)
        return 0;
    const DWORD previous = view->exStyle;
    view->exStyle = exStyle;
    view->viewport()->update();
    return previous;
}

DWORD CListCtrl::GetExtendedStyle() const
{
    ListView* view = ListViewOf(m_hWnd);
    return view ? view->exStyle : 0;
}

BOOL CListCtrl::RedrawItems(int first, int last)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view)
        return FALSE;
    view->Model()->RowsChanged(first, last);
    return TRUE;
}

BOOL CListCtrl::Update(int item)
{
    return RedrawItems(item, item);
}

BOOL CListCtrl::SortItems(PFNLVCOMPARE compare, DWORD_PTR data)
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || !compare)
        return FALSE;
    const auto& rows = view->Model()->rows;
    std::vector<int> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return compare(static_cast<LPARAM>(rows[static_cast<size_t>(a)].data),
                       static_cast<LPARAM>(rows[static_cast<size_t>(b)].data), static_cast<LPARAM>(data)) < 0;
    });
    view->Model()->Reorder(order);
    return TRUE;
}
