// The main dialog's Win32 platform layer. Texts are ANSI, through the A calls;
// paths come from the system as UTF-16 and keep what the ANSI code page
// can't hold (PathFromWide), so that they name the file the user chose.
#include "win32_pak_unpacker_dlg.h"

#include <commdlg.h>

#include <vector>

#include "dropped_file.h"
#include "program_support.h"
#include "resource.h"

namespace {

// The progress bar's messages (PBM_SETRANGE32, PBM_SETPOS).
constexpr UINT kSetRange32 = 1030;
constexpr UINT kSetPos = 1026;

// Posted to the dialog to open the archive waiting in m_strOpenPath.
constexpr UINT kOpenWaitingPath = WM_APP + 1;

// The chooser's filter: "Corvane pak files (*.pak)|*.pak|All files(*.*)|*.*||"
// with the bars as the zero bytes the system wants.
constexpr wchar_t kFilter[] = L"Corvane pak files (*.pak)\0*.pak\0All files(*.*)\0*.*\0";

// Room for the chosen path: as long as a path can be.
constexpr DWORD kPathCapacity = 32768;

// Hide read-only and file-must-exist.
constexpr DWORD kChooserFlags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;

INT_PTR CALLBACK AboutProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hWnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

void CWin32ProgressBar::SetRange32(int low, int high)
{
    SendMessageA(m_hWnd, kSetRange32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void CWin32ProgressBar::SetPos(int pos)
{
    SendMessageA(m_hWnd, kSetPos, static_cast<WPARAM>(pos), 0);
}

std::unique_ptr<CPakUnpackerDlg> NewMainDialog()
{
    return std::make_unique<CWin32PakUnpackerDlg>();
}

std::intptr_t CWin32PakUnpackerDlg::DoModal()
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAKUNPACKER_DIALOG), nullptr,
                           &CWin32PakUnpackerDlg::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CWin32PakUnpackerDlg::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dlg = reinterpret_cast<CWin32PakUnpackerDlg*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        dlg = reinterpret_cast<CWin32PakUnpackerDlg*>(lParam);
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        dlg->m_hWnd = hWnd;
    }
    if (!dlg)
        return FALSE;
    INT_PTR result = FALSE;
    return dlg->OnMessage(message, wParam, lParam, result) ? result : FALSE;
}

bool CWin32PakUnpackerDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (message) {
    case WM_INITDIALOG:
        m_progress.Attach(GetDlgItem(m_hWnd, IDC_PROGRESS));
        DragAcceptFiles(m_hWnd, TRUE);
        result = OnInitDialog() ? TRUE : FALSE;   // TRUE: the focus goes to the first tab stop
        // All three buttons carry the default style, and the dialog manager
        // keeps the last one as the default, which Enter would press wherever
        // the focus is. Tab makes each button it reaches the default; the
        // first tab stop, which has the focus now, starts as the default too.
        if (HWND first = GetNextDlgTabItem(m_hWnd, nullptr, FALSE))
            SendMessageA(m_hWnd, DM_SETDEFID, static_cast<WPARAM>(GetDlgCtrlID(first)), 0);
        if (!m_strOpenPath.empty())
            PostMessageA(m_hWnd, kOpenWaitingPath, 0, 0);
        return true;
    case kOpenWaitingPath: {
        const SystemPath path = m_strOpenPath;
        m_strOpenPath = SystemPath();
        OnOpenPath(path);
        return true;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OPEN_PAK:
            OnOpenPak();
            return true;
        case IDC_EXTRACT_ALL:
            OnExtractAll();
            return true;
        case IDOK:
        case IDCANCEL:
            EndDialog(m_hWnd, LOWORD(wParam));
            return true;
        default:
            return false;
        }
    case WM_SYSCOMMAND:
        m_bDefaultHandling = false;
        OnSysCommand(static_cast<unsigned int>(wParam), static_cast<std::intptr_t>(lParam));
        return !m_bDefaultHandling;
    case WM_PAINT:
        if (!IsIconic(m_hWnd))
            return false;
        OnPaint();
        return true;
    case WM_QUERYDRAGICON:
        // One of the messages whose answer is the procedure's return value itself.
        result = reinterpret_cast<INT_PTR>(m_hIcon);
        return true;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return true;
    default:
        return false;
    }
}

void CWin32PakUnpackerDlg::OnPaint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}

void CWin32PakUnpackerDlg::OnDropFiles(HDROP drop)
{
    // The drop's names in its order, an empty one where the system hands none
    // over; the command runs after the drop is answered.
    std::vector<SystemPath> dropped;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::vector<wchar_t> path(length + 1);
        const bool got = length > 0 && DragQueryFileW(drop, i, path.data(), length + 1) == length;
        dropped.push_back(got ? PathFromWide(std::wstring(path.data(), length)) : SystemPath());
    }
    DragFinish(drop);
    const SystemPath path = ArchiveFromDrop(dropped);
    if (path.empty())
        return;
    m_strOpenPath = path;
    PostMessageA(m_hWnd, kOpenWaitingPath, 0, 0);
}

void CWin32PakUnpackerDlg::SetControlText(int id, const std::string& text)
{
    SetDlgItemTextA(m_hWnd, id, text.c_str());
}

void CWin32PakUnpackerDlg::UpdateWindow()
{
    ::UpdateWindow(m_hWnd);
}

SystemPath CWin32PakUnpackerDlg::ChooseArchivePath()
{
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = m_hWnd;
    chooser.lpstrFilter = kFilter;
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = path.data();
    chooser.nMaxFile = kPathCapacity;
    chooser.Flags = kChooserFlags;
    if (!GetOpenFileNameW(&chooser))
        return SystemPath();
    return PathFromWide(path.data());
}

void CWin32PakUnpackerDlg::ShowMessage(const std::string& text, const std::string& caption)
{
    MessageBoxA(m_hWnd, text.c_str(), caption.c_str(), MB_OK);
}

void CWin32PakUnpackerDlg::ShowOutOfMemory(const std::string& text, const std::string& caption)
{
    MessageBoxA(m_hWnd, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
}

std::string CWin32PakUnpackerDlg::StringResource(int id)
{
    char text[256];
    const int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, sizeof text);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

void CWin32PakUnpackerDlg::AppendToWindowMenu(unsigned int id, const std::string& text)
{
    if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, id, text.c_str());
    }
}

void CWin32PakUnpackerDlg::SetWindowIcon(int id)
{
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void CWin32PakUnpackerDlg::RunAboutBox()
{
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), m_hWnd, AboutProc, 0);
}

void CWin32PakUnpackerDlg::DefaultSysCommand(unsigned int /*id*/, std::intptr_t /*param*/)
{
    // The dialog manager's own handling runs when the procedure says it did nothing.
    m_bDefaultHandling = true;
}
