// CEdit on Qt: a line edit, or a plain-text edit for ES_MULTILINE.
#include "platform/gui/Edit.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>

#include <climits>

#include "platform/gui/Gui_qt.h"

using namespace platform::gui::qt;

namespace {

QLineEdit* LineEdit(HWND hwnd)
{
    WindowRecord* record = Record(hwnd);
    return record && record->kind == Kind::Edit ? dynamic_cast<QLineEdit*>(record->widget) : nullptr;
}

QPlainTextEdit* TextEdit(HWND hwnd)
{
    WindowRecord* record = Record(hwnd);
    return record && record->kind == Kind::Edit ? dynamic_cast<QPlainTextEdit*>(record->widget) : nullptr;
}

} // namespace

void CEdit::SetSel(int start, int end, BOOL)
{
    if (QLineEdit* line = LineEdit(m_hWnd)) {
        if (start == 0 && end == -1) {
            line->selectAll();
        } else if (start < 0) {
            line->deselect();
        } else {
            const int length = static_cast<int>(line->text().size());
            start = std::min(start, length);
            end = end < 0 ? length : std::min(end, length);
            line->setSelection(start, end - start);
        }
    } else if (QPlainTextEdit* text = TextEdit(m_hWnd)) {
        QTextCursor cursor = text->textCursor();
        const int length = static_cast<int>(text->toPlainText().size());
        if (start < 0) {
            cursor.clearSelection();
        } else {
            start = std::min(start, length);
            end = end < 0 ? length : std::min(end, length);
            cursor.setPosition(start);
            cursor.setPosition(end, QTextCursor::KeepAnchor);
        }
        text->setTextCursor(cursor);
    }
}

void CEdit::GetSel(int& start, int& end) const
{
    start = end = 0;
    if (QLineEdit* line = LineEdit(m_hWnd)) {
        if (line->hasSelectedText()) {
            start = static_cast<int>(line->selectionStart());
            end = start + static_cast<int>(line->selectedText().size());
        } else {
            start = end = static_cast<int>(line->cursorPosition());
        }
    } else if (QPlainTextEdit* text = TextEdit(m_hWnd)) {
        const QTextCursor cursor = text->textCursor();
        start = static_cast<int>(cursor.selectionStart());
        end = static_cast<int>(cursor.selectionEnd());
    }
}

void CEdit::ReplaceSel(const CString& text, BOOL)
{
    if (QLineEdit* line = LineEdit(m_hWnd))
        line->insert(ToQ(text));
    else if (QPlainTextEdit* edit = TextEdit(m_hWnd))
        edit->insertPlainText(ToQ(text));
}

void CEdit::SetLimitText(UINT maxChars)
{
    if (QLineEdit* line = LineEdit(m_hWnd))
        line->setMaxLength(maxChars == 0 || maxChars > INT_MAX ? INT_MAX : static_cast<int>(maxChars));
}

UINT CEdit::GetLimitText() const
{
    QLineEdit* line = LineEdit(m_hWnd);
    return line ? static_cast<UINT>(line->maxLength()) : 0;
}

BOOL CEdit::SetReadOnly(BOOL readOnly)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || record->kind != Kind::Edit)
        return FALSE;
    if (QLineEdit* line = LineEdit(m_hWnd))
        line->setReadOnly(readOnly);
    else if (QPlainTextEdit* text = TextEdit(m_hWnd))
        text->setReadOnly(readOnly);
    record->style = readOnly ? (record->style | ES_READONLY) : (record->style & ~ES_READONLY);
    return TRUE;
}

BOOL CEdit::SetCueBanner(const CString& text)
{
    if (QLineEdit* line = LineEdit(m_hWnd)) {
        line->setPlaceholderText(ToQ(text));
        return TRUE;
    }
    if (QPlainTextEdit* edit = TextEdit(m_hWnd)) {
        edit->setPlaceholderText(ToQ(text));
        return TRUE;
    }
    return FALSE;
}
