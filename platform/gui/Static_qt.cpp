// CStatic on Qt: pictures (bitmaps and icons of the resource chain).
#include "platform/gui/Static.h"

#include <QIcon>
#include <QImage>
#include <QLabel>

#include <vector>

#include "platform/Resources.h"
#include "platform/gui/Gui_qt.h"

using namespace platform::gui::qt;

namespace platform::gui::qt {

// Shows bitmap `id` in a picture control, sized to the bitmap as a Windows
// bitmap static sizes itself. False when the bitmap is missing or unreadable.
bool ShowBitmapResource(WindowRecord* record, UINT id)
{
    if (!record || record->kind != Kind::Picture)
        return false;
    std::vector<BYTE> file;
    if (!platform::LoadBitmapFile(id, file))
        return false;
    QImage image;
    if (!image.loadFromData(file.data(), static_cast<int>(file.size()), "BMP"))
        return false;
    auto* label = static_cast<QLabel*>(record->widget);
    label->setPixmap(QPixmap::fromImage(image));
    label->resize(image.size());
    return true;
}

} // namespace platform::gui::qt

BOOL CStatic::SetBitmapResource(UINT bitmapId)
{
    return ShowBitmapResource(Record(m_hWnd), bitmapId) ? TRUE : FALSE;
}

HICON CStatic::SetIcon(HICON icon)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || record->kind != Kind::Picture)
        return nullptr;
    HICON previous = record->icons[ICON_BIG];
    record->icons[ICON_BIG] = icon;
    auto* label = static_cast<QLabel*>(record->widget);
    if (icon)
        label->setPixmap(reinterpret_cast<QIcon*>(icon)->pixmap(32, 32));
    else
        label->clear();
    return previous;
}

HICON CStatic::GetIcon() const
{
    WindowRecord* record = Record(m_hWnd);
    return record ? record->icons[ICON_BIG] : nullptr;
}
