// The Win32 front end under Wine: the dialogs as the dialog manager builds
// them from the templates in the resources, and the main dialog run modally
// with a scripted chooser and boxes, its system menu, the exact progress bar
// messages, the four texts after each refresh, a dropped file, the command
// line's archive and the application's start-up. Needs an X display.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "dialog_units.h"
#include "pak_archive.h"
#include "pak_builder.h"
#include "pak_unpacker_app.h"
#include "resource.h"
#include "sample_archives.h"
#include "scripted_dialog.h"
#include "test_files.h"
#include "win32_pak_unpacker_dlg.h"

namespace {

// One control of a compiled DLGTEMPLATEEX.
struct ItemTemplate {
    DWORD exStyle = 0, style = 0;
    DialogRect rect;
    int id = 0;
    std::string windowClass;   // "#128" for an atom
    std::string title;         // "#128" for an ordinal
};

struct Template {
    DWORD exStyle = 0, style = 0;
    DialogRect rect;
    std::string caption;
    std::vector<ItemTemplate> items;
};

// Reads template `id` from the program's own resources.
Template LoadTemplate(int id)
{
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));   // RT_DIALOG
    EXPECT_NE(found, nullptr);
    const auto* at = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, found)));
    const unsigned char* start = at;
    const auto u16 = [&] { const unsigned value = at[0] | at[1] << 8; at += 2; return value; };
    const auto u32 = [&] { const DWORD low = u16(); return low | DWORD{u16()} << 16; };
    const auto text = [&] {
        if (at[0] == 0xFF && at[1] == 0xFF) {
            at += 2;
            return "#" + std::to_string(u16());
        }
        std::string out;
        for (unsigned c; (c = u16()) != 0;)
            out += static_cast<char>(c);   // the templates are ASCII
        return out;
    };
    const auto rect = [&] {
        DialogRect r;
        r.x = static_cast<short>(u16());
        r.y = static_cast<short>(u16());
        r.width = static_cast<short>(u16());
        r.height = static_cast<short>(u16());
        return r;
    };
    Template t;
    u16();   // version
    u16();   // signature
    u32();   // help id
    t.exStyle = u32();
    t.style = u32();
    const unsigned count = u16();
    t.rect = rect();
    text();   // menu
    text();   // class
    t.caption = text();
    u16();    // point size
    u16();    // weight
    u16();    // italic, character set
    text();   // typeface
    for (unsigned i = 0; i < count; ++i) {
        at = start + ((at - start + 3) & ~3);
        ItemTemplate item;
        u32();   // help id
        item.exStyle = u32();
        item.style = u32();
        item.rect = rect();
        item.id = static_cast<int>(u32());
        item.windowClass = text();
        item.title = text();
        at += u16();   // creation data
        t.items.push_back(item);
    }
    return t;
}

std::string ClassNameOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// `window`'s rectangle in its parent's client coordinates.
RECT PlaceOf(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Every control of `dialog` stands where its template puts it, converted as
// the shared code converts dialog units, with its class, id, styles and text.
void ExpectBuiltFromTemplate(HWND dialog, int templateId, bool textsAsTemplate)
{
    const Template t = LoadTemplate(templateId);
    RECT units = {0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    const DialogBaseUnits base{units.right, units.bottom};
    EXPECT_EQ(TextOf(dialog), t.caption);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)) & t.style, t.style);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)) & t.exStyle, t.exStyle);
    RECT client;
    GetClientRect(dialog, &client);
    const DialogRect size = DialogUnitsToPixels(t.rect, base);
    EXPECT_EQ(client.right, size.width);
    EXPECT_EQ(client.bottom, size.height);

    HWND child = GetWindow(dialog, GW_CHILD);   // creation order is the z-order
    for (const ItemTemplate& item : t.items) {
        SCOPED_TRACE(item.title);
        ASSERT_NE(child, nullptr);
        const std::string expectedClass =
            item.windowClass == "#128" ? "Button" : item.windowClass == "#130" ? "Static" : item.windowClass;
        EXPECT_EQ(lstrcmpiA(ClassNameOf(child).c_str(), expectedClass.c_str()), 0) << ClassNameOf(child);
        EXPECT_EQ(GetDlgCtrlID(child), item.id);
        DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
        DWORD expected = item.style;
        if (expectedClass == "Button" && (expected & 0xF) <= BS_DEFPUSHBUTTON) {
            // The dialog manager moves the default-button look to the focused button.
            style &= ~DWORD{BS_DEFPUSHBUTTON};
            expected &= ~DWORD{BS_DEFPUSHBUTTON};
        }
        if (lstrcmpiA(expectedClass.c_str(), PROGRESS_CLASSA) == 0)
            expected &= ~DWORD{WS_BORDER};   // the bar draws its own frame and takes the border off
        EXPECT_EQ(style & expected, expected) << std::hex << style;
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE)) & item.exStyle, item.exStyle);
        const DialogRect want = DialogUnitsToPixels(item.rect, base);
        const RECT got = PlaceOf(child);
        EXPECT_EQ(got.left, want.x);
        EXPECT_EQ(got.top, want.y);
        if ((item.style & SS_TYPEMASK) == SS_ICON && expectedClass == "Static") {
            // An icon control takes its icon's size.
            EXPECT_EQ(got.right - got.left, GetSystemMetrics(SM_CXICON));
        } else {
            EXPECT_EQ(got.right - got.left, want.width);
            EXPECT_EQ(got.bottom - got.top, want.height);
            if (item.title[0] != '#' && (textsAsTemplate || item.id == -1 || expectedClass == "Button")) {
                EXPECT_EQ(TextOf(child), item.title);
            }
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);
}

// The main dialog on Win32, scripted (Scripted), logging besides every
// message the progress bar gets. `steps` run one by one from the dialog's
// own message loop; a step that returns false runs again later.
class ScriptedDlg : public Scripted<CWin32PakUnpackerDlg> {
public:
    std::deque<std::function<bool(ScriptedDlg&)>> steps;

    static constexpr UINT kNextStep = WM_APP + 40;

    // The front end's own boxes, past the script.
    void RealMessageBox(const std::string& text, const std::string& caption)
    {
        CWin32PakUnpackerDlg::ShowMessage(text, caption);
    }
    void RealOutOfMemoryBox(const std::string& text, const std::string& caption)
    {
        CWin32PakUnpackerDlg::ShowOutOfMemory(text, caption);
    }

    void Next() { PostMessageA(GetSafeHwnd(), kNextStep, 0, 0); }
    HWND Item(int id) const { return GetDlgItem(GetSafeHwnd(), id); }
    std::string Shown() const override
    {
        return TextOf(Item(IDC_PAK_NAME)) + " | " + TextOf(Item(IDC_NUM_FILES)) + " | " + TextOf(Item(IDC_SIZE)) +
               " | " + TextOf(Item(IDC_STATUS));
    }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override
    {
        if (message == kNextStep) {
            // Taken off first: a step may run a modal loop that runs the next one.
            if (!steps.empty()) {
                auto step = std::move(steps.front());
                steps.pop_front();
                if (!step(*this))
                    steps.push_front(std::move(step));
            }
            if (!steps.empty())
                Next();
            return true;
        }
        const bool handled = CWin32PakUnpackerDlg::OnMessage(message, wParam, lParam, result);
        if (message == WM_INITDIALOG) {
            WatchProgress();
            Next();
        }
        return handled;
    }

private:
    // Logs every control message the progress bar gets.
    void WatchProgress()
    {
        HWND bar = Item(IDC_PROGRESS);
        SetPropA(bar, "ScriptedDlg", this);
        m_barProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ScriptedDlg::BarProc)));
    }
    static LRESULT CALLBACK BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* dlg = static_cast<ScriptedDlg*>(GetPropA(bar, "ScriptedDlg"));
        if (message == 1030)
            dlg->log.push_back("range " + std::to_string(wParam) + ".." + std::to_string(lParam));
        else if (message == 1026)
            dlg->log.push_back("pos " + std::to_string(wParam));
        else if (message >= WM_USER)
            dlg->log.push_back("message " + std::to_string(message));
        return CallWindowProcA(dlg->m_barProc, bar, message, wParam, lParam);
    }

    WNDPROC m_barProc = nullptr;
};

// Presses and releases `key` on the control with the focus, as the keyboard
// would: the dialog's message loop hands it to the dialog manager.
void PressKey(WPARAM key)
{
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
}

// An HDROP as the shell hands one over, naming `files` (ANSI).
HGLOBAL DropOf(const std::vector<std::string>& files)
{
    std::string names;
    for (const std::string& file : files)
        names += file + '\0';
    names += '\0';
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size());
    GlobalUnlock(memory);
    return memory;
}

// The About box when it is on screen, or null.
HWND AboutBox()
{
    return FindWindowA(nullptr, "About  Corvane UnPaker v 0.1");
}

const Log kOpened = {"refresh data.pak | 2 | 209 byte | Read", "range 0..2", "pos 0", "pos 1", "pos 2", "pos 0",
                     "pos 0", "pos 1", "refresh data.pak | 2 | 209 byte | Scan", "pos 0", "pos 0", "pos 1", "pos 0",
                     "refresh data.pak | 2 | 209 byte | Wait"};

INT_PTR CALLBACK NoHandler(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST(Win32Dialog, TemplatesBecomeTheDialogsWithEveryControlWhereTheTemplateSays)
{
    for (const int id : {IDD_PAKUNPACKER_DIALOG, IDD_ABOUTBOX}) {
        SCOPED_TRACE(id);
        HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, NoHandler, 0);
        ASSERT_NE(dialog, nullptr) << "no dialog: Wine needs an X display (DISPLAY)";
        ExpectBuiltFromTemplate(dialog, id, true);
        DestroyWindow(dialog);
    }
}

TEST(Win32Dialog, RunsBothCommandsWithTheExactProgressMessagesAndTheBoxesThroughTheSeam)
{
    ScratchDir scratch;
    WriteBytes(scratch / "data.pak", TwoEntries());
    // Entry 1 starts at the declared size S = 209.
    WriteBytes(scratch / "x.pak", PakBuilder()
                                      .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/209)
                                      .TableRecord(0, 5).TableRecord(9, 1)
                                      .File("a.txt").File("b.txt")
                                      .DataAt(200, "hello")
                                      .Bytes());
    ScriptedDlg dlg;
    dlg.choices = {scratch / "data.pak", scratch / "x.pak"};
    dlg.steps = {
        [&](ScriptedDlg& d) {
            ExpectBuiltFromTemplate(d.GetSafeHwnd(), IDD_PAKUNPACKER_DIALOG, false);
            EXPECT_EQ(d.Shown(), "None | NULL | NULL | Wait");
            EXPECT_EQ(d.log, Log({"refresh None | NULL | NULL | Wait"}));
            EXPECT_EQ(GetFocus(), d.Item(IDC_OPEN_PAK));
            d.log.clear();
            // Enter presses the focused button, through the dialog manager's keyboard handling.
            PressKey(VK_RETURN);
            return true;
        },
        [&](ScriptedDlg& d) {
            if (d.log.empty())
                return false;
            Log expected = {"choose"};
            expected.insert(expected.end(), kOpened.begin(), kOpened.end());
            EXPECT_EQ(d.log, expected);
            d.log.clear();
            SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDC_OPEN_PAK, 0);
            SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDC_EXTRACT_ALL, 0);
            EXPECT_EQ(d.log, Log({"choose", "refresh x.pak | 2 | 209 byte | Read", "range 0..2", "pos 0", "pos 1",
                                  "pos 2", "pos 0", "pos 0", "pos 1", "refresh x.pak | 2 | 209 byte | Scan", "pos 0",
                                  "pos 0", "pos 1", "pos 0", "refresh x.pak | 2 | 209 byte | Wait", "pos 0",
                                  "refresh x.pak | 2 | 209 byte | Write", "pos 1",
                                  "box Error! / Writing Error!\nSkiping!\n", "pos 2", "pos 0",
                                  "refresh x.pak | 2 | 209 byte | Done"}));
            EXPECT_EQ(ReadBytes(scratch / "a.txt"), "hello");
            d.log.clear();
            SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDC_OPEN_PAK, 0);   // cancelled
            EXPECT_EQ(d.log, Log({"choose"}));
            // Tab moves to "Cancel", and Enter presses it.
            SetFocus(d.Item(IDC_OPEN_PAK));
            PressKey(VK_TAB);
            return true;
        },
        [&](ScriptedDlg& d) {
            if (GetFocus() != d.Item(IDCANCEL))
                return false;
            PressKey(VK_RETURN);
            return true;
        },
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(dlg.steps.empty());
}

TEST(Win32Dialog, SystemMenuEndsWithTheAboutItemWhoseCommandsOpenTheAboutBox)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    int aboutBoxes = 0;
    dlg.steps = {
        [&](ScriptedDlg& d) {
            HMENU menu = GetSystemMenu(d.GetSafeHwnd(), FALSE);
            const int count = GetMenuItemCount(menu);
            EXPECT_GE(count, 2);
            char text[64] = "";
            GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
            EXPECT_STREQ(text, "&About Tessup...");
            EXPECT_EQ(GetMenuItemID(menu, count - 1), IDM_ABOUTBOX);
            MENUITEMINFOA separator{};
            separator.cbSize = sizeof separator;
            separator.fMask = MIIM_FTYPE;
            GetMenuItemInfoA(menu, count - 2, TRUE, &separator);
            EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
            // Both icons are icon 128, which the minimised window drags.
            const auto big = SendMessageA(d.GetSafeHwnd(), WM_GETICON, ICON_BIG, 0);
            EXPECT_NE(big, 0);
            EXPECT_EQ(SendMessageA(d.GetSafeHwnd(), WM_GETICON, ICON_SMALL, 0), big);
            EXPECT_EQ(SendMessageA(d.GetSafeHwnd(), WM_QUERYDRAGICON, 0, 0), big);
            return true;
        },
    };
    for (const UINT id : {0x10u, 0x1Fu}) {
        dlg.steps.push_back([&, id](ScriptedDlg& d) {
            // The About box runs its own loop; the next step finds and closes it there.
            d.Next();
            SendMessageA(d.GetSafeHwnd(), WM_SYSCOMMAND, id, 0);
            return true;
        });
        dlg.steps.push_back([&](ScriptedDlg& d) {
            HWND about = AboutBox();
            if (!about)
                return false;
            ++aboutBoxes;
            ExpectBuiltFromTemplate(about, IDD_ABOUTBOX, true);
            EXPECT_EQ(GetWindow(about, GW_OWNER), d.GetSafeHwnd());
            PostMessageA(about, WM_COMMAND, IDOK, 0);
            return true;
        });
    }
    dlg.steps.push_back([](ScriptedDlg& d) {
        if (AboutBox())
            return false;
        // Not ours: the dialog manager minimises and restores the window.
        SendMessageA(d.GetSafeHwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(IsIconic(d.GetSafeHwnd()));
        SendMessageA(d.GetSafeHwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
        EXPECT_FALSE(IsIconic(d.GetSafeHwnd()));
        EXPECT_EQ(d.Said(), Log({"refresh None | NULL | NULL | Wait"}));
        SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(aboutBoxes, 2);
}

// A dropped file and the command line's archive take the chooser's steps,
// once the dialog's loop runs again.
TEST(Win32Dialog, DroppedFileAndTheCommandLinesArchiveOpenAsFromTheChooser)
{
    ScratchDir scratch;
    CreateDirectoryA((scratch / "g").c_str(), nullptr);
    WriteBytes(scratch / "g/data.pak", TwoEntries());
    const std::string archive = scratch / "g/data.pak";
    {
        ScriptedDlg dlg;
        dlg.steps = {
            [&](ScriptedDlg& d) {
                EXPECT_TRUE(GetWindowLongA(d.GetSafeHwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
                d.log.clear();
                PostMessageA(d.GetSafeHwnd(), WM_DROPFILES,
                             reinterpret_cast<WPARAM>(DropOf({archive, scratch / "other.pak"})), 0);
                return true;
            },
            [&](ScriptedDlg& d) {
                if (d.log.empty())
                    return false;
                EXPECT_EQ(d.log, kOpened);
                SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
                return true;
            },
        };
        SetCurrentDirectoryA(scratch.Path().c_str());
        dlg.DoModal();
        EXPECT_TRUE(dlg.steps.empty());
        EXPECT_TRUE(Exists(scratch / "g/Scan_log.txt"));
    }
    SetCurrentDirectoryA(scratch.Path().c_str());
    std::remove((scratch / "g/Scan_log.txt").c_str());
    ScriptedDlg dlg;
    dlg.OpenWhenShown("g\\data.pak");   // relative to the folder it starts in
    dlg.steps = {[&](ScriptedDlg& d) {
        if (d.log.size() < 2)
            return false;
        EXPECT_EQ(d.log.front(), "refresh None | NULL | NULL | Wait");
        EXPECT_EQ(Log(d.log.begin() + 1, d.log.end()), kOpened);
        SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        return true;
    }};
    dlg.DoModal();
    EXPECT_TRUE(Exists(scratch / "g/Scan_log.txt"));
}

// An archive in a folder deeper than 260 characters: the folder becomes
// current through the wide calls, and the report and the entries land beside
// the archive, nothing in the folder the program started in.
TEST(Win32Dialog, ArchiveInAFolderBeyond260CharactersIsWrittenBesideIt)
{
    ScratchDir scratch;
    const std::string deep = scratch / (std::string(150, 'a') + "\\" + std::string(150, 'b'));
    const std::string extended = "\\\\?\\" + deep;
    std::wstring wide;
    ASSERT_TRUE(PathToWide(extended, wide));
    ASSERT_TRUE(CreateDirectoryW(wide.substr(0, wide.rfind(L'\\')).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr));
    WriteBytes(extended + "\\data.pak", TwoEntries());
    ScriptedDlg dlg;
    dlg.choices = {deep + "\\data.pak"};
    dlg.steps = {[&](ScriptedDlg& d) {
        SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDC_OPEN_PAK, 0);
        SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDC_EXTRACT_ALL, 0);
        SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        return true;
    }};
    dlg.DoModal();
    EXPECT_EQ(dlg.Said(), Log({"refresh None | NULL | NULL | Wait", "choose", "refresh data.pak | 2 | 209 byte | Read",
                               "refresh data.pak | 2 | 209 byte | Scan", "refresh data.pak | 2 | 209 byte | Wait",
                               "refresh data.pak | 2 | 209 byte | Write", "refresh data.pak | 2 | 209 byte | Done"}));
    EXPECT_NE(ReadBytes(extended + "\\Scan_log.txt").find("\nName:" + deep + "\\data.pak\n"), std::string::npos);
    EXPECT_EQ(ReadBytes(extended + "\\a.txt"), "hello");
    EXPECT_EQ(ReadBytes(extended + "\\maps\\b.dat"), "maps");
    for (const char* name : {"Scan_log.txt", "a.txt", "maps"})
        EXPECT_FALSE(Exists(scratch / name)) << name << " in the folder the program started in";
}

// The command line comes in UTF-16: an archive whose name the ANSI code page
// can't hold opens itself, not its look-alike; the name field shows the
// ANSI form, as the system's ANSI calls do.
TEST(Win32Dialog, CommandLinesArchiveOutsideTheAnsiCodePageOpensItself)
{
    ScratchDir scratch;
    WriteBytes(scratch / "a.pak", TwoEntries());
    WriteBytes(PathFromWide(L"\uFF41.pak"),
               PakBuilder().Header(1, 200, 203).TableRecord(0, 3).File("own.txt").DataAt(200, "own").Bytes());
    const wchar_t* const argv[] = {L"Tessup.exe", L"\uFF41.pak"};
    ScriptedDlg dlg;
    dlg.OpenWhenShown(CommandLinePath(2, argv));
    dlg.steps = {[&](ScriptedDlg& d) {
        if (d.Said().size() < 4)
            return false;
        SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDC_EXTRACT_ALL, 0);
        SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        return true;
    }};
    dlg.DoModal();
    EXPECT_EQ(dlg.Said(), Log({"refresh None | NULL | NULL | Wait", "refresh a.pak | 1 | 203 byte | Read",
                               "refresh a.pak | 1 | 203 byte | Scan", "refresh a.pak | 1 | 203 byte | Wait",
                               "refresh a.pak | 1 | 203 byte | Write", "refresh a.pak | 1 | 203 byte | Done"}));
    EXPECT_EQ(ReadBytes(scratch / "own.txt"), "own");
}

// What the message box captioned `caption` shows: its buttons' texts, its
// text, whether an icon shows, whether it stays on top and whether the main
// dialog owns it; then OK closes it.
std::string g_boxCaption;
std::string g_boxSeen;
HWND g_boxOwner = nullptr;

void CALLBACK LookAtBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowA("#32770", g_boxCaption.c_str());
    if (!box)
        return;
    KillTimer(nullptr, timer);
    std::string seen;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        const std::string kind = ClassNameOf(child);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(kind.c_str(), "Button") == 0)
            seen += "button " + TextOf(child) + "; ";
        else if ((style & SS_TYPEMASK) == SS_ICON)
            seen += SendMessageA(child, STM_GETICON, 0, 0) ? "icon; " : "";
        else if (!TextOf(child).empty())
            seen += "text " + TextOf(child) + "; ";
    }
    if (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST)
        seen += "on top; ";
    if (GetWindow(box, GW_OWNER) == g_boxOwner)
        seen += "owned";
    g_boxSeen = seen;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST(Win32Dialog, BoxesAreOwnedPlainOkBoxesAndTheOutOfMemoryOneWarnsOnTop)
{
    struct Row {
        bool outOfMemory;
        const char* text;
        const char* caption;
        const char* seen;
    } rows[] = {
        {false, "Error!", "Error!It`s not Corvane PAK file!\n", "button OK; text Error!; owned"},
        {true, "Out of memory.", "win32_ui_tests", "icon; button OK; text Out of memory.; on top; owned"},
    };
    ScriptedDlg dlg;
    dlg.steps = {[&](ScriptedDlg& d) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.text);
            g_boxCaption = row.caption;
            g_boxSeen.clear();
            g_boxOwner = d.GetSafeHwnd();
            SetTimer(nullptr, 0, 50, LookAtBox);
            if (row.outOfMemory)
                d.RealOutOfMemoryBox(row.text, row.caption);
            else
                d.RealMessageBox(row.text, row.caption);
            EXPECT_EQ(g_boxSeen, row.seen);
        }
        SendMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        return true;
    }};
    dlg.DoModal();
}

// Ends the main dialog as soon as it shows, from a thread timer that its
// modal loop dispatches.
void CALLBACK CancelMainDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (HWND dialog = FindWindowA(nullptr, "Corvane UnPaker v 0.1")) {
        KillTimer(nullptr, timer);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

TEST(Win32App, InitInstanceRunsTheMainDialogModallyAndReturnsFalseWhenItEnds)
{
    SetTimer(nullptr, 0, 50, CancelMainDialog);
    EXPECT_FALSE(theApp.InitInstance());
}

} // namespace
