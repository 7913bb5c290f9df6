// CXListCtrl on Qt: a delegate draws every cell from its record (check
// boxes, buttons, progress bars, combo cells, colours, bold text), the
// list's hooks turn presses, releases, double clicks and Space into the
// control's rules, the header draws check boxes, and a popup list is the
// drop-down of combo cells.
#include "ui/XListCtrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>

#include "platform/gui/DisplayText.h"
#include "platform/gui/Gui_qt.h"
#include "platform/gui/ListCtrl_qt.h"

using namespace platform::gui::qt;

namespace {

// Plain text keeps this distance from both edges of its cell.
constexpr int ciTextInset = 6;

class XListDelegate : public QStyledItemDelegate {
public:
    XListDelegate(QObject* parent, CXListCtrl* list, ListView* view) : QStyledItemDelegate(parent), m_list(list), m_view(view)
    {
    }
    CXListCtrl* m_list;
    ListView* m_view;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const int indicator = m_view->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, m_view);
        size.setHeight(std::max(size.height(), indicator + 4));
        // Room for the text between the insets paint() keeps, so that a
        // column sized to its cells (LVSCW_AUTOSIZE) shows them whole.
        QFont font = option.font;
        if (const XLISTCTRLDATA* cell = m_list ? m_list->GetCellData(index.row(), index.column()) : nullptr)
            font.setBold(cell->bBold);
        const QString text = index.data(Qt::DisplayRole).toString();
        size.setWidth(std::max(size.width(), QFontMetrics(font).horizontalAdvance(text) + 2 * ciTextInset + 1));
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const XLISTCTRLDATA* cell = m_list ? m_list->GetCellData(index.row(), index.column()) : nullptr;
        const XLISTCTRLDATA* first = m_list ? m_list->GetCellData(index.row(), 0) : nullptr;
        if (!cell || !first) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyle* style = m_view->style();
        const QPalette& palette = m_view->palette();
        const bool rowEnabled = first->bEnabled;
        const bool cellEnabled = rowEnabled && cell->bEnabled;
        QColor text = ToQColor(cell->crText);
        QColor back = ToQColor(cell->crBackground);
        if (!rowEnabled)
            text = ToQColor(GetSysColor(COLOR_GRAYTEXT));
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) {
            if (m_view->hasFocus()) {
                back = palette.color(QPalette::Active, QPalette::Highlight);
                text = palette.color(QPalette::Active, QPalette::HighlightedText);
            } else {
                // Kept visible without the focus, in the quieter colours.
                back = ToQColor(GetSysColor(COLOR_BTNFACE));
                text = ToQColor(GetSysColor(COLOR_WINDOWTEXT));
            }
        }
        const QRect rect = option.rect;
        painter->save();
        painter->fillRect(rect, back);
        QFont font = option.font;
        if (cell->bBold)
            font.setWeight(QFont::Bold);
        painter->setFont(font);
        const QString caption = index.data(Qt::DisplayRole).toString();

        if (cell->bShowProgress) {
            QStyleOptionProgressBar bar;
            bar.initFrom(m_view);
            bar.rect = rect.adjusted(1, 1, -1, -1);
            bar.minimum = 0;
            bar.maximum = 100;
            bar.progress = cell->nProgressPercent;
            bar.textVisible = cell->bShowProgressMessage;
            bar.textAlignment = Qt::AlignCenter;
            bar.text = painter->fontMetrics().elidedText(
                ToQ(platform::gui::DisplaySafeText(CXListCtrl::ProgressText(cell->strProgressText, cell->nProgressPercent))),
                Qt::ElideRight, bar.rect.width() - 4);
            bar.state = (cellEnabled ? QStyle::State_Enabled : QStyle::State_None) | QStyle::State_Horizontal;
            style->drawControl(QStyle::CE_ProgressBar, &bar, painter, m_view);
        } else if (cell->nCheckedState >= 0) {
            const int size = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, m_view);
            QStyleOptionButton box;
            box.initFrom(m_view);
            const int x = caption.isEmpty() ? rect.left() + (rect.width() - size) / 2 : rect.left() + 3;
            box.rect = QRect(x, rect.top() + (rect.height() - size) / 2, size, size);
            box.state = (cell->nCheckedState == 1   ? QStyle::State_On
                         : cell->nCheckedState == 2 ? QStyle::State_NoChange
                                                    : QStyle::State_Off) |
                        (cellEnabled ? QStyle::State_Enabled : QStyle::State_None);
            style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, m_view);
            if (!caption.isEmpty()) {
                painter->setPen(text);
                const QRect textRect(box.rect.right() + 5, rect.top(), rect.right() - box.rect.right() - 6, rect.height());
                painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                                  painter->fontMetrics().elidedText(caption, Qt::ElideRight, textRect.width()));
            }
        } else if (cell->bItemButton) {
            QStyleOptionButton button;
            button.initFrom(m_view);
            button.rect = rect.adjusted(1, 1, -1, -1);
            button.text = painter->fontMetrics().elidedText(caption, Qt::ElideRight, button.rect.width() - 8);
            button.state = (cellEnabled ? QStyle::State_Enabled : QStyle::State_None) | QStyle::State_Raised;
            button.palette = palette;
            style->drawControl(QStyle::CE_PushButton, &button, painter, m_view);
        } else if (cell->bCombo && selected) {
            QStyleOptionComboBox combo;
            combo.initFrom(m_view);
            combo.rect = rect;
            combo.currentText = caption;
            combo.state = (cellEnabled ? QStyle::State_Enabled : QStyle::State_None) |
                          (cell->bComboButtonPressed ? QStyle::State_Sunken : QStyle::State_None);
            style->drawComplexControl(QStyle::CC_ComboBox, &combo, painter, m_view);
            style->drawControl(QStyle::CE_ComboBoxLabel, &combo, painter, m_view);
        } else {
            // Plain text: inset 6 pixels, one line, aligned as the column says.
            painter->setPen(text);
            const QRect textRect = rect.adjusted(ciTextInset, 0, -ciTextInset, 0);
            Qt::Alignment align = Qt::AlignLeft;
            if (index.column() > 0) {
                const int format = m_list->GetColumnFormat(index.column()) & LVCFMT_JUSTIFYMASK;
                align = format == LVCFMT_RIGHT ? Qt::AlignRight : format == LVCFMT_CENTER ? Qt::AlignHCenter : Qt::AlignLeft;
            }
            painter->drawText(textRect, static_cast<int>(align | Qt::AlignVCenter) | Qt::TextSingleLine,
                              painter->fontMetrics().elidedText(caption, Qt::ElideRight, textRect.width()));
        }
        painter->restore();
    }
};

// What the control installs on its list; a child of the list view, so it
// goes with it.
class XListRealisation : public QObject {
public:
    XListRealisation(ListView* view, CXListCtrl* list) : QObject(view), m_view(view)
    {
        setObjectName(QStringLiteral("veil_xlist"));
        m_oldDelegate = view->itemDelegate();
        m_delegate = new XListDelegate(this, list, view);
        view->setItemDelegate(m_delegate);
        m_header = QObject::connect(view->Header(), &QHeaderView::sectionClicked, this, [list](int column) {
            list->HandleHeaderClick(column);
            if (WindowRecord* r = Record(list->m_hWnd))
                static_cast<ListView*>(r->widget)->Header()->viewport()->update();
        });
    }
    ~XListRealisation() override { ClosePopup(); }

    void Detach()
    {
        ClosePopup();
        QObject::disconnect(m_header);
        if (m_view->itemDelegate() == m_delegate)
            m_view->setItemDelegate(m_oldDelegate);
        m_delegate->m_list = nullptr;
        m_view->paintOverlay = nullptr;
        m_view->mousePressHook = nullptr;
        m_view->mouseReleaseHook = nullptr;
        m_view->mouseDoubleClickHook = nullptr;
        m_view->keyPressHook = nullptr;
        m_view->focusOutHook = nullptr;
        m_view->Header()->paintHook = nullptr;
    }

    void ClosePopup()
    {
        if (m_popup) {
            m_popup->hide();
            m_popup->deleteLater();
        }
        m_popup = nullptr;
    }

    ListView* m_view;
    QAbstractItemDelegate* m_oldDelegate = nullptr;
    XListDelegate* m_delegate = nullptr;
    QMetaObject::Connection m_header;
    QPointer<QListWidget> m_popup;
};

XListRealisation* RealisationOf(HWND hwnd)
{
    ListView* view = ListViewOf(hwnd);
    if (!view)
        return nullptr;
    for (QObject* child : view->children()) {
        if (auto* r = dynamic_cast<XListRealisation*>(child))
            return r;
    }
    return nullptr;
}

// Whether a viewport point lies in the drop-down button square at the right
// end of a cell.
bool InComboButton(ListView* view, const QPoint& point)
{
    const QModelIndex index = view->indexAt(point);
    if (!index.isValid())
        return false;
    const QRect cell = view->visualRect(index);
    return point.x() >= cell.right() - cell.height() && point.x() <= cell.right();
}

} // namespace

void CXListCtrl::InstallRealisation()
{
    ListView* view = ListViewOf(m_hWnd);
    if (!view || RealisationOf(m_hWnd))
        return;
    auto* realisation = new XListRealisation(view, this);
    view->mousePressHook = [this, view, realisation](QMouseEvent* event) {
        if (event->button() != Qt::LeftButton)
            return false;
        int item = -1, subItem = -1;
        view->CellAt(event->position().toPoint(), item, subItem);
        if (realisation->m_popup && (item != m_nComboItem || subItem != m_nComboSubItem))
            realisation->ClosePopup();
        if (item < 0)
            return false;
        return HandleCellPress(item, subItem, InComboButton(view, event->position().toPoint()));
    };
    view->mouseReleaseHook = [this, view](QMouseEvent* event) {
        if (event->button() == Qt::LeftButton) {
            int item = -1, subItem = -1;
            view->CellAt(event->position().toPoint(), item, subItem);
            HandleCellRelease(item, subItem);
        }
        return false;
    };
    view->mouseDoubleClickHook = [this, view](QMouseEvent* event) {
        // A double click on a check box is a second press on it.
        int item = -1, subItem = -1;
        view->CellAt(event->position().toPoint(), item, subItem);
        const XLISTCTRLDATA* cell = GetCellData(item, subItem);
        if (event->button() != Qt::LeftButton || !cell || cell->nCheckedState < 0)
            return false;
        return HandleCellPress(item, subItem, false);
    };
    view->keyPressHook = [this, view](QKeyEvent* event) {
        if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier)
            return false;
        return HandleToggleKey(view->currentIndex().row());
    };
    view->paintOverlay = [this, view](QPainter& painter) {
        if (view->Model()->rows.size() != 0 || m_strNoItemsMessage.IsEmpty())
            return;
        QRect area = view->viewport()->rect();
        area.setTop(area.top() + 10);
        painter.fillRect(area, ToQColor(GetSysColor(COLOR_WINDOW)));
        painter.setPen(ToQColor(GetSysColor(COLOR_WINDOWTEXT)));
        QTextOption option(Qt::AlignHCenter | Qt::AlignTop);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter.drawText(QRectF(area.adjusted(4, 0, -4, 0)),
                         ToQ(platform::gui::DisplaySafeText(m_strNoItemsMessage, true)), option);
    };
    view->Header()->paintHook = [this, view](QPainter* painter, const QRect& rect, int column) {
        const int state = GetHeaderCheckedState(column);
        if (state < 0)
            return false;
        painter->save();
        painter->fillRect(rect, ToQColor(GetSysColor(COLOR_BTNFACE)));
        painter->setPen(view->palette().color(QPalette::Mid));
        painter->drawLine(rect.topRight(), rect.bottomRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
        QStyleOptionButton box;
        box.initFrom(view);
        box.rect = QRect(rect.left() + (rect.width() - 16) / 2, rect.top() + (rect.height() - 16) / 2, 16, 16);
        box.state = QStyle::State_Enabled |
                    (state == 1 ? QStyle::State_On : state == 2 ? QStyle::State_NoChange : QStyle::State_Off);
        view->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, view);
        painter->restore();
        return true;
    };
    view->focusOutHook = [realisation] {
        if (realisation->m_popup && !realisation->m_popup->isVisible())
            realisation->ClosePopup();
    };
}

void CXListCtrl::RemoveRealisation()
{
    if (XListRealisation* realisation = RealisationOf(m_hWnd)) {
        realisation->Detach();
        realisation->deleteLater();
        realisation->setParent(nullptr);
    }
}

void CXListCtrl::OnTimer(UINT_PTR id)
{
    if (id != 1) {
        CListCtrl::OnTimer(id);
        return;
    }
    KillTimer(id);
    XListRealisation* realisation = RealisationOf(m_hWnd);
    const XLISTCTRLDATA* cell = GetCellData(m_nComboItem, m_nComboSubItem);
    if (!realisation || !cell || !cell->bCombo || !cell->pComboData)
        return;
    ListView* view = realisation->m_view;
    realisation->ClosePopup();
    auto* popup = new QListWidget(view);
    popup->setWindowFlags(Qt::Popup);
    popup->setFont(view->font());
    const int item = m_nComboItem, subItem = m_nComboSubItem;
    for (const SComboChoice& choice : *cell->pComboData)
        popup->addItem(ToQ(platform::gui::DisplaySafeText(choice.text)));
    const int current = GetComboSel(item, subItem);
    popup->setCurrentRow(current >= 0 ? current : 0);
    const QRect rect = view->visualRect(view->Model()->index(item, subItem));
    const int rowHeight = std::max(popup->sizeHintForRow(0), 1);
    const int rows = std::min(static_cast<int>(cell->pComboData->size()), cell->nComboListHeight);
    popup->setGeometry(QRect(view->viewport()->mapToGlobal(rect.bottomLeft()), QSize(rect.width(), rows * rowHeight + 4)));
    QObject::connect(popup, &QListWidget::itemActivated, popup, [this, popup, item, subItem](QListWidgetItem* chosen) {
        const int choice = popup->row(chosen);
        popup->hide();
        HandleComboChoice(item, subItem, choice);
    });
    QObject::connect(popup, &QListWidget::itemClicked, popup, [this, popup, item, subItem](QListWidgetItem* chosen) {
        const int choice = popup->row(chosen);
        popup->hide();
        HandleComboChoice(item, subItem, choice);
    });
    realisation->m_popup = popup;
    popup->show();
    popup->setFocus();
}
