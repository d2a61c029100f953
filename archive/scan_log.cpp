// "Scan_log.txt": the header values and every entry with its verdict.
#include "pak_archive.h"

#include "archive_file.h"

#include <algorithm>
#include <cstring>

const char* const kScanLogName = "Scan_log.txt";

namespace {

constexpr const char* kStars = "************************************************\n";
constexpr const char* kGood = "Status:GOOD!\n";
constexpr const char* kFailed = "Status:FAILD!!!!!!!!!!!!!!!!!!!!!!!!\n";

// Collects the report in memory and hands it to the output in large blocks;
// numbers are formatted here as "%d" (signed 32-bit) and "%X" would.
class ReportWriter {
public:
    explicit ReportWriter(OutputFile& file) : m_file(file) { m_text.reserve(kBlock + kBlock / 4); }

    ReportWriter& operator<<(const char* text)
    {
        m_text.append(text, std::strlen(text));
        return Spill();
    }
    ReportWriter& operator<<(const std::string& text)
    {
        m_text.append(text.c_str(), std::strlen(text.c_str()));   // as "%s" prints it
        return Spill();
    }
    ReportWriter& Dec(std::uint32_t value)
    {
        const std::int32_t signedValue = AsSigned32(value);
        // Magnitude in 32-bit unsigned arithmetic, so INT32_MIN is fine too.
        std::uint32_t magnitude = signedValue < 0 ? 0u - value : value;
        char digits[12];
        char* p = digits + sizeof digits;
        do {
            *--p = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (signedValue < 0)
            *--p = '-';
        m_text.append(p, static_cast<std::size_t>(digits + sizeof digits - p));
        return *this;
    }
    ReportWriter& Hex(std::uint32_t value)
    {
        char digits[8];
        char* p = digits + sizeof digits;
        do {
            *--p = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        } while (value != 0);
        m_text.append(p, static_cast<std::size_t>(digits + sizeof digits - p));
        return *this;
    }

    // Writes what is left. False when any write failed.
    bool Finish()
    {
        Write();
        return m_ok;
    }

private:
    static constexpr std::size_t kBlock = 256 * 1024;

    ReportWriter& Spill()
    {
        if (m_text.size() >= kBlock)
            Write();
        return *this;
    }
    void Write()
    {
        // After a failed write the rest is only formatted: the output is lost.
        if (m_ok && !m_text.empty() && !m_file.Write(m_text.data(), m_text.size()))
            m_ok = false;
        m_text.clear();
    }

    OutputFile& m_file;
    std::string m_text;
    bool m_ok = true;
};

// The path for the Name: line, as "%s" prints it but with every control
// character as '?', so that a newline in a folder's name can't split the line.
std::string OneLine(const std::string& path)
{
    std::string line = path.c_str();
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return line;
}

} // namespace

int PakArchive::WriteScanLog(ProgressBar& progress)
{
    return WriteScanLogAs(kScanLogName, progress);
}

int PakArchive::WriteScanLogAs(const SystemPath& path, ProgressBar& progress)
{
    m_reportFailure = ExtractFailure{};
    // No archive, no report: the header values and table may be another's.
    if (!IsOpen()) {
        m_reportFailure.problem = ExtractProblem::NoSuchEntry;
        return 0;
    }
    SystemPath folderPath, name;
    SplitPath(path, folderPath, name);
    const OutputFolder folder = folderPath.empty() ? OutputFolder::Current() : OutputFolder::Existing(folderPath);
    // An existing report is replaced only once the new one is complete.
    OutputFile file = folder.Begin(name, m_os->id);
    if (!file.IsOpen()) {
        m_reportFailure = FailureOf(file.Error());
        return 0;
    }
    progress.SetPos(0);

    ReportWriter out(file);
    out << kStars << "Scan Test File v 0.1 for Corvane UnPaker\n" << kStars;
    out << "Name:" << OneLine(m_path) << "\n";
    out << "Size:";
    out.Dec(m_archiveSize) << " byte [0x";
    out.Hex(m_archiveSize) << " (hex)]\nStart_pos:0x";
    out.Hex(m_dataStart) << "\nNum_files:";
    out.Dec(m_numFiles) << " [0x";
    out.Hex(m_numFiles) << " (hex)]\n" << kStars;
    out << "<------ Scan Data ----->\n";

    const std::size_t count = std::min<std::size_t>(m_numFiles, m_table.size());
    for (std::size_t i = 0; i < count; ++i) {
        const PakEntry& entry = m_table[i];
        const auto index = static_cast<std::uint32_t>(i);
        out << "File_num[";
        out.Dec(index) << "]\nDir->" << entry.dir.c_str() << "\nName->" << entry.name << "\n";
        out << "Offsets->Real[0x";
        out.Hex(m_dataStart + entry.offset) << "] inTable[0x";   // wraps on purpose
        out.Hex(entry.offset) << "] Size:";
        out.Dec(entry.size) << " byte [0x";
        out.Hex(entry.size) << "]\n";
        out << (IsEntryInRange(entry, m_dataStart, m_archiveSize) ? kGood : kFailed);
        progress.SetPos(AsSigned32(index));
    }

    const bool written = out.Finish() && file.Commit();
    if (!written)
        m_reportFailure = FailureOf(file.Error());
    progress.SetPos(0);
    return written ? 1 : 0;
}
