// The main dialog's commands, step by step, the same on every platform.
#include "pak_unpacker_dlg.h"

#include <new>
#include <utility>

#include "pak_archive.h"
#include "program_support.h"
#include "resource.h"

const char* const kErrCantEnterFolder = "Error!Can`t enter the file`s folder!\n";

CPakUnpackerDlg::CPakUnpackerDlg()
{
    ApplicationName();   // looked up now, so that the out-of-memory box needs no memory for it
}

bool CPakUnpackerDlg::OnInitDialog()
{
    UpdateData(false);
    const std::string aboutMenu = StringResource(IDS_ABOUTBOX);
    if (!aboutMenu.empty())
        AppendToWindowMenu(IDM_ABOUTBOX, aboutMenu);
    SetWindowIcon(IDR_MAINFRAME);
    return true;
}

void CPakUnpackerDlg::UpdateData(bool saveAndValidate)
{
    if (saveAndValidate)
        return;
    SetControlText(IDC_PAK_NAME, m_strPakName);
    SetControlText(IDC_NUM_FILES, m_strNumFiles);
    SetControlText(IDC_SIZE, m_strSize);
    SetControlText(IDC_STATUS, m_strStatus);
}

void CPakUnpackerDlg::OnOpenPak()
{
    try {
        const SystemPath path = ChooseArchivePath();
        if (!path.empty())
            OpenPath(path);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
}

void CPakUnpackerDlg::OnOpenPath(const SystemPath& path)
{
    try {
        if (!path.empty())
            OpenPath(path);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
}

void CPakUnpackerDlg::OnExtractAll()
{
    try {
        ExtractAll();
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
}

void CPakUnpackerDlg::OpenPath(const SystemPath& path)
{
    // The system resolves the path while the directory it was given in is
    // still current; the archive is then opened by that full path, so what
    // opens, the name field and the report's Name: line are the file `path`
    // named, whatever becomes current meanwhile.
    SystemPath fullPath;
    const PathResolution resolution = ResolveFullPath(path, fullPath);
    m_strPakName = FileNameOf(resolution == PathResolution::Resolved ? fullPath : path);
    if (resolution != PathResolution::Resolved) {
        // A path the system refuses is a file that can't be opened. A relative
        // path in a folder whose own path is lost (it was removed) names no
        // folder the outputs could go to, so nothing is opened at all.
        CloseArchive();
        ShowMessage("Error!", resolution == PathResolution::Refused ? kErrCantOpen : kErrCantEnterFolder);
        return;
    }
    // The scan log and the extracted entries go next to the archive. The
    // chooser leaves the current directory alone, so the command moves there.
    const bool entered = SetCurrentFolder(FolderOf(fullPath));

    if (m_archive.OpenArchive(fullPath) == 0) {
        // No refresh: the name field keeps the previous name until the next one.
        ShowMessage("Error!", m_archive.m_errorText);
        return;
    }
    if (!entered) {
        // Outputs would land in whatever folder is current: the archive is
        // closed again, so that nothing of it is written anywhere.
        CloseArchive();
        ShowMessage("Error!", kErrCantEnterFolder);
        return;
    }
    // Both as "%d" shows them: 2^31 and above come out negative.
    m_strSize = std::to_string(AsSigned32(m_archive.m_archiveSize)) + " byte";
    m_strNumFiles = std::to_string(AsSigned32(m_archive.m_numFiles));
    m_strStatus = "Read";
    UpdateData(false);

    m_archive.AllocateTable();
    UpdateWindow();   // the new values are on screen before the long work starts
    m_archive.LoadTable(Progress());

    m_strStatus = "Scan";
    UpdateData(false);
    m_archive.WriteScanLog(Progress());   // a report that can't be written is skipped

    m_strStatus = "Wait";
    UpdateData(false);
}

void CPakUnpackerDlg::CloseArchive()
{
    PakArchive closed;
    std::swap(m_archive, closed);
}

void CPakUnpackerDlg::ExtractAll()
{
    if (m_archive.IsOpen()) {
        Progress().SetPos(0);
        m_strStatus = "Write";
        UpdateData(false);
        UpdateWindow();
        // The range is the one LoadTable set: 0..N.
        for (std::uint32_t i = 0; i < m_archive.m_numFiles; ++i) {
            if (m_archive.ExtractEntry(i) != 0)
                ShowMessage("Writing Error!\nSkiping!\n", "Error!");
            Progress().SetPos(AsSigned32(i + 1));
        }
    }
    Progress().SetPos(0);
    m_strStatus = "Done";
    UpdateData(false);
}

void CPakUnpackerDlg::OnSysCommand(unsigned int id, std::intptr_t param)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX)
        RunAboutBox();
    else
        DefaultSysCommand(id, param);
}

void CPakUnpackerDlg::ReportOutOfMemory()
{
    ShowOutOfMemory("Out of memory.", ApplicationName());
}
