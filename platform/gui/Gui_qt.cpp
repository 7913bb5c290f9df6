// The process-wide part of the dialog framework on Qt Widgets: the
// application object, the registry of framework windows, message delivery,
// the way in from other threads, system colours and metrics, registered
// messages, icons and window images.
#include "platform/gui/Gui.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/Module.h"
#include "platform/Resources.h"
#include "platform/gui/Gui_qt.h"

namespace platform::gui::qt {

namespace {

std::unordered_map<const QWidget*, WindowRecord*>& Records()
{
    static std::unordered_map<const QWidget*, WindowRecord*> records;
    return records;
}

} // namespace

WindowRecord::WindowRecord(QWidget* w, Kind k) : QObject(w), widget(w), kind(k)
{
    Records()[w] = this;
}

WindowRecord::~WindowRecord()
{
    Records().erase(widget);
    if (attached && attached->m_hWnd == Handle(widget))
        attached->m_hWnd = nullptr;
    attached = nullptr;
}

WindowRecord* Record(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    auto& records = Records();
    auto it = records.find(reinterpret_cast<const QWidget*>(hwnd));
    return it == records.end() ? nullptr : it->second;
}

WindowRecord* Record(const QWidget* widget)
{
    return Record(Handle(widget));
}

WindowRecord* OwningRecord(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (WindowRecord* record = Record(w))
            return record;
    }
    return nullptr;
}

WindowRecord* DialogOf(WindowRecord* record)
{
    while (record && record->kind != Kind::Dialog) {
        QWidget* parent = record->widget->parentWidget();
        record = parent ? OwningRecord(parent) : nullptr;
    }
    return record;
}

WindowRecord* Adopt(QWidget* widget, Kind kind, int id, const CString& className)
{
    if (WindowRecord* existing = Record(widget))
        return existing;
    auto* record = new WindowRecord(widget, kind);
    record->id = id;
    record->className = className;
    record->style = WS_CHILD | WS_VISIBLE;
    return record;
}

QPoint ClientOrigin(const QWidget* widget)
{
    return widget->contentsRect().topLeft();
}

void ApplyColours(WindowRecord* record)
{
    QWidget* w = record->widget;
    QPalette palette = w->parent() ? w->parentWidget()->palette() : QApplication::palette();
    if (record->textColor != CLR_DEFAULT_ALL_BITS) {
        const QColor c = ToQColor(record->textColor);
        palette.setColor(QPalette::WindowText, c);
        palette.setColor(QPalette::Text, c);
        palette.setColor(QPalette::ButtonText, c);
    }
    if (record->backColor != CLR_DEFAULT_ALL_BITS) {
        const QColor c = ToQColor(record->backColor);
        palette.setColor(QPalette::Window, c);
        palette.setColor(QPalette::Base, c);
        w->setAutoFillBackground(true);
    }
    w->setPalette(palette);
    w->update();
}

QString ButtonCaption(const CString& text)
{
    // Buttons show one line: control characters become visible; "&" stays
    // the mnemonic mark Qt and Windows share.
    CString shown = text;
    shown.Replace(u"\r\n", u"\n");
    return ToQ(shown);
}

void Guarded(const std::function<void()>& call)
{
    try {
        call();
    } catch (CException* error) {
        char16_t buffer[1024] = {};
        CString text;
        if (error->GetErrorMessage(buffer, 1024))
            text = buffer;
        error->Delete();
        ReportHandlerError(text.IsEmpty() ? CString(u"An unexpected error has occurred.") : text);
    } catch (const std::exception& error) {
        ReportHandlerError(CString::FromUtf8(error.what()));
    } catch (...) {
        ReportHandlerError(u"An unexpected error has occurred.");
    }
}

void ReportHandlerError(const CString& text)
{
    AfxMessageBox(text, MB_OK | MB_ICONSTOP);
}

LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowRecord* record = Record(hwnd);
    if (!record || !record->attached)
        return 0;
    CWnd* target = record->attached;
    LRESULT result = 0;
    Guarded([&] { result = target->WindowProc(message, wParam, lParam); });
    return result;
}

void NotifyCommand(WindowRecord* control, UINT code)
{
    QWidget* parent = control->widget->parentWidget();
    WindowRecord* owner = parent ? OwningRecord(parent) : nullptr;
    if (!owner)
        return;
    Deliver(Handle(owner->widget), WM_COMMAND, MAKEWPARAM(control->id, code),
            reinterpret_cast<LPARAM>(Handle(control->widget)));
}

LRESULT NotifyParent(WindowRecord* control, NMHDR* header)
{
    header->hwndFrom = Handle(control->widget);
    header->idFrom = static_cast<UINT_PTR>(control->id);
    QWidget* parent = control->widget->parentWidget();
    WindowRecord* owner = parent ? OwningRecord(parent) : nullptr;
    if (!owner)
        return 0;
    return Deliver(Handle(owner->widget), WM_NOTIFY, static_cast<WPARAM>(control->id),
                   reinterpret_cast<LPARAM>(header));
}

} // namespace platform::gui::qt

using namespace platform::gui::qt;

namespace platform::gui {

namespace {

std::mutex g_pendingLock;
std::vector<std::function<void()>> g_pendingTasks; // posted before the GUI started
bool g_started = false;

std::mutex g_titleLock;
CString g_messageBoxTitle = u"veilcase";

QtMessageHandler g_previousHandler = nullptr;

// Qt's offscreen platform warns about every window operation it cannot
// carry out (raising, size hints); those are expected there and dropped.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QStringLiteral("This plugin does not support")))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

void InstallMessageFilter()
{
    g_previousHandler = qInstallMessageHandler(FilterMessages);
}

QApplication* Application()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}

void Post(std::function<void()> task)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [task = std::move(task)] { Guarded(task); }, Qt::QueuedConnection);
}

} // namespace

bool HasDisplay()
{
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

void UseOffscreenDisplay()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool IsGuiRunning()
{
    return Application() != nullptr;
}

bool InitGui()
{
    if (!Application()) {
        if (QCoreApplication::instance() || !HasDisplay())
            return false; // a non-GUI application object, or nowhere to show windows
        static int argc = 1;
        static char name[] = "veilcase";
        static char* argv[] = {name, nullptr};
        // Lives until the process ends: windows may exist until then.
        new QApplication(argc, argv);
        InstallMessageFilter();
        QApplication::setQuitOnLastWindowClosed(false);
    }
    if (g_started)
        return true;
    g_started = true;
    if (HICON icon = LoadIconResource(2016))
        QApplication::setWindowIcon(*reinterpret_cast<QIcon*>(icon));
    // Real message boxes, unless someone installed a handler of their own.
    MessageBoxHandler previous = SetMessageBoxHandler(
        [](const CString& text, UINT type) { return ShowMessageBox(nullptr, text, GetMessageBoxTitle(), type); });
    if (previous)
        SetMessageBoxHandler(std::move(previous));
    std::vector<std::function<void()>> pending;
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        pending.swap(g_pendingTasks);
    }
    for (auto& task : pending)
        Post(std::move(task));
    return true;
}

bool IsUiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void PostToUiThread(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        if (!QCoreApplication::instance() || !g_started) {
            g_pendingTasks.push_back(std::move(task));
            return;
        }
    }
    Post(std::move(task));
}

void InvokeOnUiThread(const std::function<void()>& task)
{
    if (IsUiThread() || !QCoreApplication::instance()) {
        Guarded(task);
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&task] { Guarded(task); }, Qt::BlockingQueuedConnection);
}

void ProcessEvents(int milliseconds)
{
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (milliseconds <= 0)
        return;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        const int left = milliseconds - static_cast<int>(clock.elapsed());
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, left > 0 ? left : 1);
    }
}

void SetMessageBoxTitle(const CString& title)
{
    std::lock_guard<std::mutex> lock(g_titleLock);
    g_messageBoxTitle = title;
}

CString GetMessageBoxTitle()
{
    std::lock_guard<std::mutex> lock(g_titleLock);
    return g_messageBoxTitle;
}

HICON LoadIconResource(UINT id)
{
    if (!Application())
        return nullptr;
    // Shared for the life of the process, like the GUI itself.
    static auto* cache = new std::map<UINT, QIcon*>;
    std::map<UINT, QIcon*>& icons = *cache;
    auto it = icons.find(id);
    if (it != icons.end())
        return reinterpret_cast<HICON>(it->second);
    std::vector<BYTE> file;
    if (!platform::LoadIconFile(id, file))
        return nullptr;
    QByteArray bytes(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    auto* icon = new QIcon; // shared, kept for the life of the process
    for (int i = 0; i < reader.imageCount(); ++i) {
        QImage image;
        if (reader.jumpToImage(i) && reader.read(&image) && !image.isNull())
            icon->addPixmap(QPixmap::fromImage(image));
    }
    if (icon->isNull()) {
        delete icon;
        return nullptr;
    }
    icons[id] = icon;
    return reinterpret_cast<HICON>(icon);
}

bool SaveWindowImage(HWND window, const CString& path)
{
    QWidget* widget = Widget(window);
    if (!widget)
        return false;
    QCoreApplication::sendPostedEvents(); // pending layout and updates first
    const QPixmap client = widget->grab();
    QImage image;
    if (widget->isWindow()) {
        // A top-level window gets a title bar drawn above its client area,
        // so the picture shows the caption and icon as a user sees them.
        QStyleOptionTitleBar option;
        option.initFrom(widget);
        option.text = widget->windowTitle();
        option.icon = widget->windowIcon();
        option.titleBarState = Qt::WindowActive;
        option.titleBarFlags = widget->windowFlags();
        option.subControls = QStyle::SC_TitleBarLabel | QStyle::SC_TitleBarSysMenu | QStyle::SC_TitleBarCloseButton;
        option.state |= QStyle::State_Active;
        const int titleHeight = widget->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, widget);
        option.rect = QRect(0, 0, client.width(), titleHeight);
        image = QImage(client.width(), titleHeight + client.height(), QImage::Format_ARGB32);
        image.fill(widget->palette().color(QPalette::Window));
        QPainter painter(&image);
        widget->style()->drawComplexControl(QStyle::CC_TitleBar, &option, &painter, widget);
        painter.drawPixmap(0, titleHeight, client);
    } else {
        image = client.toImage();
    }
    return image.save(ToQ(path), "PNG");
}

} // namespace platform::gui

// ---- registered messages, system colours and metrics ------------------------------------

UINT RegisterWindowMessageW(const char16_t* name)
{
    static std::mutex lock;
    static std::map<std::u16string, UINT> numbers;
    CString key(name);
    key.MakeUpper();
    std::lock_guard<std::mutex> guard(lock);
    auto it = numbers.find(key.Str());
    if (it != numbers.end())
        return it->second;
    const UINT number = 0xC000u + static_cast<UINT>(numbers.size());
    if (number > 0xFFFFu)
        return 0;
    numbers.emplace(key.Str(), number);
    return number;
}

COLORREF GetSysColor(int index)
{
    const bool haveApp = QCoreApplication::instance() && qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!haveApp) {
        switch (index) {
        case COLOR_WINDOW:
            return RGB(255, 255, 255);
        case COLOR_HIGHLIGHT:
            return RGB(0, 120, 215);
        case COLOR_HIGHLIGHTTEXT:
        case COLOR_3DHILIGHT:
            return RGB(255, 255, 255);
        case COLOR_BTNFACE:
            return RGB(240, 240, 240);
        case COLOR_BTNSHADOW:
            return RGB(160, 160, 160);
        case COLOR_GRAYTEXT:
            return RGB(109, 109, 109);
        case COLOR_3DDKSHADOW:
            return RGB(105, 105, 105);
        case COLOR_3DLIGHT:
            return RGB(227, 227, 227);
        case COLOR_INFOBK:
            return RGB(255, 255, 225);
        default:
            return RGB(0, 0, 0);
        }
    }
    const QPalette palette = QApplication::palette();
    switch (index) {
    case COLOR_WINDOW:
        return FromQColor(palette.color(QPalette::Active, QPalette::Base));
    case COLOR_WINDOWTEXT:
        return FromQColor(palette.color(QPalette::Active, QPalette::Text));
    case COLOR_HIGHLIGHT:
        return FromQColor(palette.color(QPalette::Active, QPalette::Highlight));
    case COLOR_HIGHLIGHTTEXT:
        return FromQColor(palette.color(QPalette::Active, QPalette::HighlightedText));
    case COLOR_BTNFACE:
        return FromQColor(palette.color(QPalette::Active, QPalette::Button));
    case COLOR_BTNTEXT:
        return FromQColor(palette.color(QPalette::Active, QPalette::ButtonText));
    case COLOR_BTNSHADOW:
        return FromQColor(palette.color(QPalette::Active, QPalette::Dark));
    case COLOR_3DHILIGHT:
        return FromQColor(palette.color(QPalette::Active, QPalette::Light));
    case COLOR_3DDKSHADOW:
        return FromQColor(palette.color(QPalette::Active, QPalette::Shadow));
    case COLOR_3DLIGHT:
        return FromQColor(palette.color(QPalette::Active, QPalette::Midlight));
    case COLOR_GRAYTEXT:
        return FromQColor(palette.color(QPalette::Disabled, QPalette::Text));
    case COLOR_INFOTEXT:
        return FromQColor(palette.color(QPalette::Active, QPalette::ToolTipText));
    case COLOR_INFOBK:
        return FromQColor(palette.color(QPalette::Active, QPalette::ToolTipBase));
    case COLOR_SCROLLBAR:
    case COLOR_BACKGROUND:
    case COLOR_WINDOWFRAME:
    default:
        return FromQColor(palette.color(QPalette::Active, QPalette::Window));
    }
}

int GetSystemMetrics(int index)
{
    QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    switch (index) {
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
        return app ? QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 17;
    case SM_CXSCREEN:
        return app && QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry().width() : 0;
    case SM_CYSCREEN:
        return app && QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry().height() : 0;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    default:
        return 0;
    }
}
