// The main dialog's Qt platform layer: widgets, chooser, boxes, menu, drops.
#include "qt_pak_unpacker_dlg.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QUrl>

#include <vector>

#include "about_dlg.h"
#include "dropped_file.h"
#include "qt_progress_bar.h"
#include "resource.h"

namespace {

const QString kPakFilter = QStringLiteral("Corvane pak files (*.pak)");
const QString kAllFilesFilter = QStringLiteral("All files(*.*)");

// Room a title bar takes besides its text: the window icon and its buttons.
constexpr int kTitleBarExtras = 120;

QString FromLocal(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Qt's chooser keeps its last folder, its history ("Recent Places") and its
// view in the user's settings whenever it closes, and there is no switch for
// it. The program keeps no state between runs, so the settings of the user's
// scope point where no file can be read or made.
void KeepNoSettings()
{
    static const bool done = [] {
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
        return true;
    }();
    (void)done;
}

// A box of Qt's with an OK button that shows only its text: some styles
// put a check mark on it, which a plain box doesn't have.
void MakePlain(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setIcon(QIcon());
}

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

std::unique_ptr<CPakUnpackerDlg> NewMainDialog()
{
    // The application object's start-up reaches Qt here: from now on the
    // application carries the project's version.
    QCoreApplication::setApplicationVersion(QStringLiteral(PAK_VERSION));
    return std::make_unique<CQtPakUnpackerDlg>();
}

CQtPakUnpackerDlg::CQtPakUnpackerDlg(QWidget* parent)
    : CResourceDialog(IDD_PAKUNPACKER_DIALOG, parent),
      m_progress(qobject_cast<CQtProgressBar*>(GetDlgItem(IDC_PROGRESS))),
      m_windowMenu(new QMenu(this))
{
    m_progress->setObjectName(QStringLiteral("m_progress"));
    setAcceptDrops(true);
    OnInitDialog();
}

CQtPakUnpackerDlg::~CQtPakUnpackerDlg() = default;

std::intptr_t CQtPakUnpackerDlg::DoModal()
{
    return exec();
}

void CQtPakUnpackerDlg::OpenWhenShown(const SystemPath& path)
{
    if (!path.empty())
        PostOpenPath(path);
}

void CQtPakUnpackerDlg::PostOpenPath(const SystemPath& path)
{
    QMetaObject::invokeMethod(this, [this, path] { OnOpenPath(path); }, Qt::QueuedConnection);
}

void CQtPakUnpackerDlg::OnCommand(int id)
{
    if (id == IDC_OPEN_PAK)
        OnOpenPak();
    else if (id == IDC_EXTRACT_ALL)
        OnExtractAll();
    else
        CResourceDialog::OnCommand(id);
}

SystemPath CQtPakUnpackerDlg::DroppedArchive(const QMimeData* mime)
{
    std::vector<SystemPath> dropped;
    if (mime && mime->hasUrls()) {
        for (const QUrl& url : mime->urls())
            dropped.push_back(url.isLocalFile() ? ToLocal(url.toLocalFile()) : std::string());
    }
    return ArchiveFromDrop(dropped);
}

void CQtPakUnpackerDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_windowMenu->isEmpty())
        return;
    if (const QAction* chosen = m_windowMenu->exec(event->globalPos()))
        OnSysCommand(chosen->data().toUInt(), 0);
}

void CQtPakUnpackerDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedArchive(event->mimeData()).empty())
        event->acceptProposedAction();
}

void CQtPakUnpackerDlg::dropEvent(QDropEvent* event)
{
    const SystemPath path = DroppedArchive(event->mimeData());
    if (path.empty())
        return;
    event->acceptProposedAction();
    PostOpenPath(path);
}

void CQtPakUnpackerDlg::SetControlText(int id, const std::string& text)
{
    DDX_Text(id, FromLocal(text));
}

void CQtPakUnpackerDlg::UpdateWindow()
{
    repaint();
}

ProgressBar& CQtPakUnpackerDlg::Progress()
{
    return *m_progress;
}

SystemPath CQtPakUnpackerDlg::ChooseArchivePath()
{
    KeepNoSettings();
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
        return std::string();
    return ToLocal(chooser.selectedFiles().constFirst());
}

void CQtPakUnpackerDlg::ShowMessage(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::NoIcon, FromLocal(caption), FromLocal(text), QMessageBox::Ok, this);
    MakePlain(box);
    WidenForCaption(box);
    box.exec();
}

void CQtPakUnpackerDlg::ShowOutOfMemory(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::Warning, FromLocal(caption), FromLocal(text), QMessageBox::Ok, this);
    MakePlain(box);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::string CQtPakUnpackerDlg::StringResource(int id)
{
    return LoadString(id).toLocal8Bit().toStdString();
}

void CQtPakUnpackerDlg::AppendToWindowMenu(unsigned int id, const std::string& text)
{
    // The context menu holds nothing else, so a separator would separate nothing.
    m_windowMenu->addAction(FromLocal(text))->setData(id);
}

void CQtPakUnpackerDlg::SetWindowIcon(int id)
{
    setWindowIcon(LoadIcon(id));
}

void CQtPakUnpackerDlg::RunAboutBox()
{
    CAboutDlg dlgAbout(this);
    dlgAbout.exec();
}

void CQtPakUnpackerDlg::DefaultSysCommand(unsigned int /*id*/, std::intptr_t /*param*/)
{
    // Moving, minimising and closing belong to the window manager here.
}
