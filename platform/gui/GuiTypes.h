// Window types and constants with their Windows names and values: handles,
// message parameters, rectangles and points (RECT, CRect, ...), colours
// (COLORREF, RGB), the window messages and notification codes the dialog
// framework delivers, and the records that travel with them (NMHDR,
// NMITEMACTIVATE, NMLISTVIEW, MINMAXINFO; COPYDATASTRUCT comes from
// platform/Window.h). On Windows they are the system's own (<windows.h>,
// <commctrl.h>); elsewhere this header defines them the same way.
//
// Include this (or any framework header, which includes it) instead of
// <windows.h>. Handles are opaque: an HWND names one window of the
// framework and stays harmless after the window is gone (every operation
// on a dead handle does nothing).
#pragma once

#include <cstdint>

#include "platform/MessageBox.h" // IDOK, IDCANCEL, ... and the MB_ styles
#include "platform/Resources.h"  // the style bits of the templates
#include "platform/WinTypes.h"
#include "platform/Window.h" // HWND, WPARAM, LPARAM, LRESULT, WM_COPYDATA, COPYDATASTRUCT

#ifdef _WIN32
#include <commctrl.h>
#else

// ---- handles and message parameters ------------------------------------------------

struct HWND__;
using HWND = HWND__*;
struct HICON__;
using HICON = HICON__*;
struct HBITMAP__;
using HBITMAP = HBITMAP__*;

using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = ULONG_PTR;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using COLORREF = DWORD;

#ifndef LOWORD
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xFFFF))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xFFFF))
#endif
#ifndef MAKELONG
#define MAKELONG(a, b) \
    (static_cast<LONG>(static_cast<DWORD>((static_cast<DWORD>(static_cast<WORD>(a))) | \
                                          ((static_cast<DWORD>(static_cast<WORD>(b))) << 16))))
#endif
#ifndef MAKEWPARAM
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELRESULT(l, h) (static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(l, h))))
#endif
#ifndef RGB
#define RGB(r, g, b) \
    (static_cast<COLORREF>(static_cast<BYTE>(r) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8) | \
                           (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(rgb) (static_cast<BYTE>(rgb))
#define GetGValue(rgb) (static_cast<BYTE>((static_cast<WORD>(rgb)) >> 8))
#define GetBValue(rgb) (static_cast<BYTE>((rgb) >> 16))
#endif

// ---- geometry -----------------------------------------------------------------------

struct tagPOINT {
    LONG x;
    LONG y;
};
using POINT = tagPOINT;
using LPPOINT = POINT*;
struct tagSIZE {
    LONG cx;
    LONG cy;
};
using SIZE = tagSIZE;
struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using RECT = tagRECT;
using LPRECT = RECT*;
using LPCRECT = const RECT*;

// ---- window messages ----------------------------------------------------------------

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_SYSCOLORCHANGE 0x0015
#define WM_SHOWWINDOW 0x0018
#define WM_GETMINMAXINFO 0x0024
#define WM_NEXTDLGCTL 0x0028
#define WM_QUERYDRAGICON 0x0037
#define WM_NOTIFY 0x004E
#define WM_SETICON 0x0080
#define WM_NCHITTEST 0x0084
#define WM_KEYDOWN 0x0100
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000
// Dialog messages.
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B

// Notification codes carried in WM_COMMAND (high word of wParam).
#define BN_CLICKED 0
#define BN_DOUBLECLICKED 5
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400
#define CBN_SELCHANGE 1
#define CBN_DBLCLK 2
#define CBN_SETFOCUS 3
#define CBN_KILLFOCUS 4
#define CBN_EDITCHANGE 5
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define STN_CLICKED 0

// Notification codes carried in WM_NOTIFY (NMHDR::code).
#define NM_CLICK (0U - 2U)
#define NM_DBLCLK (0U - 3U)
#define NM_RETURN (0U - 4U)
#define NM_RCLICK (0U - 5U)
#define NM_SETFOCUS (0U - 7U)
#define NM_KILLFOCUS (0U - 8U)
#define LVN_ITEMCHANGING (0U - 100U)
#define LVN_ITEMCHANGED (0U - 101U)
#define LVN_INSERTITEM (0U - 102U)
#define LVN_DELETEITEM (0U - 103U)
#define LVN_DELETEALLITEMS (0U - 104U)
#define LVN_COLUMNCLICK (0U - 108U)
#define LVN_KEYDOWN (0U - 155U)

struct tagNMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
using NMHDR = tagNMHDR;
using LPNMHDR = NMHDR*;

// NM_CLICK, NM_DBLCLK of a list control.
struct tagNMITEMACTIVATE {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
    UINT uKeyFlags;
};
using NMITEMACTIVATE = tagNMITEMACTIVATE;
using LPNMITEMACTIVATE = NMITEMACTIVATE*;

// LVN_ITEMCHANGED and the other list notifications about one item.
struct tagNMLISTVIEW {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
};
using NMLISTVIEW = tagNMLISTVIEW;
using LPNMLISTVIEW = NMLISTVIEW*;

struct tagMINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};
using MINMAXINFO = tagMINMAXINFO;

// ---- constants of window operations ---------------------------------------------------

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10
// SetWindowPos flags.
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
// WM_SIZE size types.
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2
#define SIZE_MAXSHOW 3
#define SIZE_MAXHIDE 4
// WM_NCHITTEST answers.
#define HTNOWHERE 0
#define HTCLIENT 1
#define HTCAPTION 2
#define HTBOTTOMRIGHT 17
// GetWindow relations (z-order is template order).
#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5
// WM_SETICON sizes.
#define ICON_SMALL 0
#define ICON_BIG 1

// Check states of buttons.
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BST_INDETERMINATE 2
// Combo and list box errors.
#define CB_ERR (-1)
#define CB_ERRSPACE (-2)
#define LB_ERR (-1)

// System colours (GetSysColor).
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_WINDOWTEXT 8
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_3DFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_3DSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DHILIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
// System metrics (GetSystemMetrics).
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXVSCROLL 2
#define SM_CYHSCROLL 3
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50

// Virtual keys.
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_F4 0x73

// List controls: column formats, widths, item states, item flags, search flags,
// extended styles, hit-test flags, rectangle codes.
#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVCFMT_JUSTIFYMASK 0x0003
#define LVSCW_AUTOSIZE (-1)
#define LVSCW_AUTOSIZE_USEHEADER (-2)
#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002
#define LVIS_STATEIMAGEMASK 0xF000
#define LVIF_TEXT 0x0001
#define LVIF_IMAGE 0x0002
#define LVIF_PARAM 0x0004
#define LVIF_STATE 0x0008
#define LVNI_ALL 0x0000
#define LVNI_FOCUSED 0x0001
#define LVNI_SELECTED 0x0002
#define LVS_EX_GRIDLINES 0x00000001
#define LVS_EX_CHECKBOXES 0x00000004
#define LVS_EX_TRACKSELECT 0x00000008
#define LVS_EX_FULLROWSELECT 0x00000020
#define LVS_EX_INFOTIP 0x00000400
#define LVS_EX_LABELTIP 0x00004000
#define LVS_EX_DOUBLEBUFFER 0x00010000
#define LVHT_NOWHERE 0x0001
#define LVHT_ONITEMICON 0x0002
#define LVHT_ONITEMLABEL 0x0004
#define LVHT_ONITEMSTATEICON 0x0008
#define LVHT_ONITEM 0x000E
#define LVIR_BOUNDS 0
#define LVIR_ICON 1
#define LVIR_LABEL 2

// What a tool tip asks of a window (CWnd::OnToolHitTest): the tool's id and
// the rectangle it covers, in client coordinates.
struct tagTOOLINFOW {
    UINT uFlags;
    HWND hwnd;
    UINT_PTR uId;
    RECT rect;
};
using TOOLINFO = tagTOOLINFOW;

struct tagLVHITTESTINFO {
    POINT pt;
    UINT flags;
    int iItem;
    int iSubItem;
    int iGroup;
};
using LVHITTESTINFO = tagLVHITTESTINFO;

// Header items: format bits (the check-box bit needs owner drawing).
#define HDF_LEFT 0x0000
#define HDF_RIGHT 0x0001
#define HDF_CENTER 0x0002
#define HDF_JUSTIFYMASK 0x0003
#define HDF_CHECKBOX 0x0040
#define HDF_OWNERDRAW 0x8000

// Window and control styles beyond those of platform/Resources.h.
#define BS_RADIOBUTTON 0x4
#define BS_AUTORADIOBUTTON 0x9
#define BS_LEFTTEXT 0x20
#define BS_MULTILINE 0x2000
#define SS_CENTER 0x1
#define SS_RIGHT 0x2
#define SS_ICON 0x3
#define SS_BLACKRECT 0x4
#define SS_GRAYRECT 0x5
#define SS_WHITERECT 0x6
#define SS_BLACKFRAME 0x7
#define SS_GRAYFRAME 0x8
#define SS_WHITEFRAME 0x9
#define SS_SIMPLE 0xB
#define SS_LEFTNOWORDWRAP 0xC
#define SS_ETCHEDHORZ 0x10
#define SS_ETCHEDVERT 0x11
#define SS_ETCHEDFRAME 0x12
#define SS_NOPREFIX 0x80
#define SS_NOTIFY 0x100
#define SS_CENTERIMAGE 0x200
#define SS_SUNKEN 0x1000
#define SS_WORDELLIPSIS 0xC000
#define SS_ELLIPSISMASK 0xC000
#define ES_LEFT 0x0
#define ES_CENTER 0x1
#define ES_RIGHT 0x2
#define ES_MULTILINE 0x4
#define ES_PASSWORD 0x20
#define ES_AUTOVSCROLL 0x40
#define ES_READONLY 0x800
#define ES_WANTRETURN 0x1000
#define ES_NUMBER 0x2000
#define CBS_SIMPLE 0x1
#define CBS_DROPDOWN 0x2
#define CBS_AUTOHSCROLL 0x40
#define CBS_SORT 0x100
#define LBS_NOTIFY 0x1
#define LBS_SORT 0x2
#define LBS_MULTIPLESEL 0x8
#define LBS_EXTENDEDSEL 0x800
#define LVS_ICON 0x0
#define LVS_SMALLICON 0x2
#define LVS_LIST 0x3
#define LVS_SINGLESEL 0x4
#define LVS_SHOWSELALWAYS 0x8
#define LVS_SORTASCENDING 0x10
#define LVS_SORTDESCENDING 0x20
#define LVS_OWNERDRAWFIXED 0x400
#define LVS_NOCOLUMNHEADER 0x4000
#define LVS_NOSORTHEADER 0x8000
#define PBS_SMOOTH 0x1
// Window styles beyond those the resource templates use.
#define WS_OVERLAPPED 0x00000000
#define WS_CLIPSIBLINGS 0x04000000
#define WS_CLIPCHILDREN 0x02000000
#define WS_DLGFRAME 0x00400000
#define WS_EX_CLIENTEDGE 0x00000200
#define WS_EX_STATICEDGE 0x00020000
#define WS_EX_TOPMOST 0x00000008

#endif // the POSIX realisation of the window types

// An opaque position in a sequence (the framework's iteration cookie).
struct __POSITION;
using POSITION = __POSITION*;

// A colour of all bits set: "the default colour" where a colour is optional.
constexpr COLORREF CLR_DEFAULT_ALL_BITS = 0xFFFFFFFFu;

// ---- rectangles, points and sizes as classes -----------------------------------

class CPoint : public POINT {
public:
    CPoint() : POINT{0, 0} {}
    CPoint(int x_, int y_) : POINT{x_, y_} {}
    CPoint(POINT p) : POINT(p) {}
    void Offset(int dx, int dy) { x += dx; y += dy; }
    friend bool operator==(const CPoint& a, const CPoint& b) { return a.x == b.x && a.y == b.y; }
    friend bool operator!=(const CPoint& a, const CPoint& b) { return !(a == b); }
};

class CSize : public SIZE {
public:
    CSize() : SIZE{0, 0} {}
    CSize(int cx_, int cy_) : SIZE{cx_, cy_} {}
    CSize(SIZE s) : SIZE(s) {}
    friend bool operator==(const CSize& a, const CSize& b) { return a.cx == b.cx && a.cy == b.cy; }
    friend bool operator!=(const CSize& a, const CSize& b) { return !(a == b); }
};

class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    CRect(CPoint topLeft, CSize size) : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    CPoint TopLeft() const { return CPoint(left, top); }
    CPoint BottomRight() const { return CPoint(right, bottom); }
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    // Right and bottom edges are outside, as Windows has it.
    bool PtInRect(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    void SetRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    void SetRectEmpty() { SetRect(0, 0, 0, 0); }
    void OffsetRect(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
    void MoveToXY(int x, int y) { OffsetRect(x - left, y - top); }
    void InflateRect(int dx, int dy) { left -= dx; right += dx; top -= dy; bottom += dy; }
    void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
    friend bool operator==(const CRect& a, const CRect& b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
    friend bool operator!=(const CRect& a, const CRect& b) { return !(a == b); }
};
