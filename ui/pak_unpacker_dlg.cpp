// The main dialog's commands, its window menu and its Qt file chooser and boxes.
#include "pak_unpacker_dlg.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMenu>
#include <QMessageBox>
#include <QSpacerItem>

#include <new>

#include "about_dlg.h"
#include "qt_progress_bar.h"
#include "resource.h"

namespace {

const QString kPakFilter = QStringLiteral("Corvane pak files (*.pak)");
const QString kAllFilesFilter = QStringLiteral("All files(*.*)");

// Room a title bar takes besides its text: the window icon and its buttons.
constexpr int kTitleBarExtras = 120;

// A message box is as wide as its text, and the window manager cuts a longer
// caption short. The caption is what names the reason when an open fails, so
// the box is made wide enough to show all of it.
void WidenForCaption(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                  1, grid->columnCount());
}

} // namespace

CPakUnpackerDlg::CPakUnpackerDlg(QWidget* parent)
    : CTemplateDialog(IDD_PAKUNPACKER_DIALOG, parent),
      m_progress(qobject_cast<CProgressCtrl*>(GetDlgItem(IDC_PROGRESS))),
      m_hIcon(LoadIcon(IDR_MAINFRAME)),
      m_windowMenu(new QMenu(this))
{
    m_progress->setObjectName(QStringLiteral("m_progress"));
    OnInitDialog();
}

CPakUnpackerDlg::~CPakUnpackerDlg() = default;

bool CPakUnpackerDlg::OnInitDialog()
{
    UpdateData(false);
    // The About entry; a separator would have nothing to separate it from.
    const QString aboutMenu = LoadString(IDS_ABOUTBOX);
    if (!aboutMenu.isEmpty())
        m_windowMenu->addAction(aboutMenu)->setData(IDM_ABOUTBOX);
    setWindowIcon(m_hIcon);
    return true;
}

void CPakUnpackerDlg::DoDataExchange()
{
    DDX_Text(IDC_PAK_NAME, m_strPakName);
    DDX_Text(IDC_NUM_FILES, m_strNumFiles);
    DDX_Text(IDC_SIZE, m_strSize);
    DDX_Text(IDC_STATUS, m_strStatus);
}

void CPakUnpackerDlg::OnCommand(int id)
{
    if (id == IDC_OPEN_PAK)
        OnOpenPak();
    else if (id == IDC_EXTRACT_ALL)
        OnExtractAll();
    else
        CTemplateDialog::OnCommand(id);
}

void CPakUnpackerDlg::OnOpenPak()
{
    try {
        OpenPak();
    } catch (const std::bad_alloc&) {
        ShowOutOfMemory();
    }
}

void CPakUnpackerDlg::OnExtractAll()
{
    try {
        ExtractAll();
    } catch (const std::bad_alloc&) {
        ShowOutOfMemory();
    }
}

void CPakUnpackerDlg::OpenPak()
{
    const QString path = ChooseArchivePath();
    if (path.isEmpty())
        return;
    // The scan log and the extracted entries go next to the archive.
    const QFileInfo chosen(path);
    QDir::setCurrent(chosen.absolutePath());
    m_strPakName = chosen.fileName();
    m_archive.m_path = QFile::encodeName(chosen.absoluteFilePath()).toStdString();

    if (m_archive.OpenArchive() == 0) {
        // No refresh: the name field keeps the previous name until the next one.
        ShowMessage(QStringLiteral("Error!"), QString::fromLocal8Bit(m_archive.m_errorText.c_str()));
        return;
    }
    m_strSize = QString::asprintf("%d byte", AsSigned32(m_archive.m_archiveSize));
    m_strNumFiles = QString::asprintf("%d", AsSigned32(m_archive.m_numFiles));
    m_strStatus = QStringLiteral("Read");
    UpdateData(false);

    m_archive.AllocateTable();
    UpdateWindow();   // the new values are on screen before the long work starts
    m_archive.LoadTable(*m_progress);

    m_strStatus = QStringLiteral("Scan");
    UpdateData(false);
    m_archive.WriteScanLog(*m_progress);   // a report that can't be written is skipped

    m_strStatus = QStringLiteral("Wait");
    UpdateData(false);
}

void CPakUnpackerDlg::ExtractAll()
{
    if (m_archive.IsOpen()) {
        m_progress->SetPos(0);
        m_strStatus = QStringLiteral("Write");
        UpdateData(false);
        UpdateWindow();
        // The range is the one LoadTable set: 0..N.
        for (std::uint32_t i = 0; i < m_archive.m_numFiles; ++i) {
            if (m_archive.ExtractEntry(i) != 0)
                ShowMessage(QStringLiteral("Writing Error!\nSkiping!\n"), QStringLiteral("Error!"));
            m_progress->SetPos(AsSigned32(i + 1));
        }
    }
    m_progress->SetPos(0);
    m_strStatus = QStringLiteral("Done");
    UpdateData(false);
}

void CPakUnpackerDlg::OnSysCommand(unsigned int id, std::intptr_t /*param*/)
{
    // Moving, minimising and closing belong to the window manager here.
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
    }
}

void CPakUnpackerDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_windowMenu->isEmpty())
        return;
    if (const QAction* chosen = m_windowMenu->exec(event->globalPos()))
        OnSysCommand(chosen->data().toUInt(), 0);
}

QString CPakUnpackerDlg::ChooseArchivePath()
{
    // Qt's own chooser on every desktop, so that "All files" behaves the same
    // everywhere. It opens in the current directory: the last archive's folder.
    QFileDialog chooser(this);
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setDirectory(QDir::currentPath());
    chooser.setNameFilters({kPakFilter, kAllFilesFilter});
    chooser.selectNameFilter(kPakFilter);
    // As a pattern "*.*" needs a dot; "All files" must list names without one too.
    connect(&chooser, &QFileDialog::filterSelected, &chooser, [&chooser](const QString& filter) {
        if (filter != kAllFilesFilter)
            return;
        if (auto* model = chooser.findChild<QFileSystemModel*>())
            model->setNameFilters({});
    });
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return QString();
    return chooser.selectedFiles().constFirst();
}

void CPakUnpackerDlg::ShowMessage(const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    WidenForCaption(box);
    box.exec();
}

void CPakUnpackerDlg::ShowOutOfMemory()
{
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    QStringLiteral("Out of memory."), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
