// Writing an archive: the rules its entries keep, the canonical layout and
// the copy of the inputs into one output that is named only once complete.
#include "pak_writer.h"

#include "archive_file.h"
#include "folder_walk.h"
#include "pak_format.h"
#include "program_support.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// A file name ends in ".xyz": reversed behind the two leading bytes, its
// dot lands on the position that tells a file-name record.
constexpr std::size_t kExtensionDot = kKindPos - kNamePrefix + 1;   // from the end
// A NUL in a record's first three bytes doesn't end it, so a folder name
// needs three characters. One of three or four ends before position 5, which
// then lies in the next record: here always a file record, whose two leading
// bytes are zeros, never a dot.
constexpr std::size_t kMinFolderName = kFirstTerminatorPos;
static_assert(kMinFolderName + 1 + kNamePrefix > kKindPos, "a short folder record's position 5 is a leading byte");
constexpr std::size_t kMaxFolderName = 127;
constexpr std::size_t kMaxPath = 255;
constexpr std::uint64_t kMaxSize = 0x7FFFFFFF;
constexpr std::uint64_t kPositionLimit = std::uint64_t{1} << 31;   // the first position out of reach

// Inputs are copied through at most this much memory, as entries are
// extracted.
constexpr std::size_t kCopyBlock = std::size_t{2} << 20;

bool HasForbiddenCharacter(const std::string& text)
{
    return text.find_first_of(std::string("\\/\0", 3)) != std::string::npos;
}

void PutU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// The name area's length, in 64 bits, for the inputs that `rules` leaves in
// (None): each file record and, in the turn of the entry before a change of
// folder, the new folder's record.
std::uint64_t NameAreaLength(const std::vector<PakInput>& inputs, const std::vector<PakRule>& rules)
{
    std::uint64_t length = 0;
    const PakInput* previous = nullptr;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (rules[i] != PakRule::None)
            continue;
        if (previous && previous->dir != inputs[i].dir)
            length += inputs[i].dir.size() + 1;
        length += kNamePrefix + inputs[i].name.size() + 1;
        previous = &inputs[i];
    }
    return length;
}

// Marks the inputs that stand where no entry can: a folder's before the
// first top-level file, a top-level one after a folder's.
void MarkPlaces(const std::vector<PakInput>& inputs, std::vector<PakRule>& rules)
{
    bool topLevel = false;
    bool inFolder = false;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (rules[i] != PakRule::None)
            continue;
        if (inputs[i].dir.empty()) {
            if (inFolder)
                rules[i] = PakRule::TopLevelAfterFolder;
            else
                topLevel = true;
        } else if (!topLevel) {
            rules[i] = PakRule::NoTopLevelFileFirst;
        } else {
            inFolder = true;
        }
    }
}

// Marks the inputs whose bytes would reach the first position out of reach,
// in order: a later, smaller one may still fit. True when it marked any.
bool MarkPositions(const std::vector<PakInput>& inputs, std::vector<PakRule>& rules)
{
    const auto kept = static_cast<std::uint64_t>(std::count(rules.begin(), rules.end(), PakRule::None));
    std::uint64_t end = kTableOffset + kTableRecordSize * kept + NameAreaLength(inputs, rules);
    bool marked = false;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (rules[i] != PakRule::None)
            continue;
        if (end + inputs[i].size > kPositionLimit) {
            rules[i] = PakRule::PastTwoGiB;
            marked = true;
        } else {
            end += inputs[i].size;
        }
    }
    return marked;
}

PakWriteFailure Failed(PakWriteProblem problem, int systemCode = 0)
{
    PakWriteFailure failure;
    failure.problem = problem;
    failure.systemCode = systemCode;
    return failure;
}

PakWriteFailure CantWrite(const FileError& error)
{
    PakWriteFailure failure = Failed(PakWriteProblem::CantWrite);
    failure.output = FailureOf(error);
    return failure;
}

// Appends all of `input`'s file to `out`. False with `failure` set (but for
// its input) when it can't be, or isn't the file that was listed.
bool CopyInput(OutputFile& out, const PakInput& input, const FileIdentity& archive, unsigned char* buffer,
               bool& copyCallUsable, PakWriteFailure& failure)
{
    FileIdentity identity;
    std::uint64_t length = 0;
    FileError error;
    const FilePtr file = OpenInput(input.source, identity, length, error);
    if (!file) {
        // A folder or a FIFO where a file was listed is a change.
        failure = error.problem == FileProblem::System ? Failed(PakWriteProblem::CantRead, error.code)
                                                       : Failed(PakWriteProblem::InputChanged);
        return false;
    }
    FileIdentity listed;
    listed.device = input.sourceDevice;
    listed.inode = input.sourceIndex;
    listed.known = input.sourceKnown;
    if (SameFile(identity, archive)) {
        failure = Failed(PakWriteProblem::InputIsArchive);
        return false;
    }
    if ((listed.known && !SameFile(identity, listed)) || length != input.size) {
        failure = Failed(PakWriteProblem::InputChanged);
        return false;
    }
    // The system's copy call copies what it can; the rest goes through the
    // buffer, which also tells a read's failure from a write's.
    std::uint64_t copied = out.CopyFrom(file.get(), 0, input.size, copyCallUsable);
    while (copied < input.size) {
        const auto block = static_cast<std::size_t>(std::min<std::uint64_t>(input.size - copied, kCopyBlock));
        bool readFailed = true;
        errno = 0;
        const std::size_t got = SeekTo(file.get(), copied) ? ReadBlock(file.get(), buffer, block, readFailed) : 0;
        if (readFailed) {
            failure = Failed(PakWriteProblem::ReadFailed, errno != 0 ? errno : EIO);
            return false;
        }
        if (got < block) {
            failure = Failed(PakWriteProblem::InputChanged);   // cut short since it was opened
            return false;
        }
        if (!out.Write(buffer, got)) {
            failure = CantWrite(out.Error());
            return false;
        }
        copied += got;
    }
    return true;
}

} // namespace

std::string PakRuleText(PakRule rule)
{
    switch (rule) {
    case PakRule::None: return "can be written";
    case PakRule::SymbolicLink: return "a symbolic link (links are not followed)";
    case PakRule::NotRegularFile: return "not a regular file";
    case PakRule::FolderTooDeep: return "a folder in a folder (an archive holds one folder level)";
    case PakRule::EmptyFolder: return "an empty folder (an archive holds a folder only through its files)";
    case PakRule::NameNotInCodePage: return "the ANSI code page can't hold its name";
    case PakRule::MadeOfDeviceName: return "a device name with '_' in front, as extraction writes one";
    case PakRule::NoExtension: return "a file name needs an extension of three characters (name.ext)";
    case PakRule::ForbiddenCharacter: return "a name can't hold a backslash, '/' or NUL";
    case PakRule::FolderNameTooShort:
        return "a folder name needs three characters at least (a record's first three bytes never end it)";
    case PakRule::FolderNameLikeFile: return "a folder name with a dot sixth from its end reads back as a file name";
    case PakRule::FolderNameTooLong: return "a folder name has 127 characters at most";
    case PakRule::PathTooLong: return "a path (folder/name) has 255 characters at most";
    case PakRule::NoTopLevelFileFirst: return "no top-level file comes before it (an archive starts with one)";
    case PakRule::TopLevelAfterFolder: return "a top-level file after a folder's (no record leads back)";
    case PakRule::TooLarge: return "larger than 2147483647 bytes";
    case PakRule::PastTwoGiB: return "it would lie past 2 GiB in the archive";
    }
    return "unknown";
}

PakRule FileNameRule(const std::string& name)
{
    if (HasForbiddenCharacter(name))
        return PakRule::ForbiddenCharacter;
    if (name.size() < kExtensionDot || name[name.size() - kExtensionDot] != '.')
        return PakRule::NoExtension;
    return PakRule::None;
}

PakRule FolderNameRule(const std::string& dir)
{
    if (HasForbiddenCharacter(dir))
        return PakRule::ForbiddenCharacter;
    if (dir.size() < kMinFolderName)
        return PakRule::FolderNameTooShort;
    if (dir.size() > kKindPos && dir[dir.size() - 1 - kKindPos] == '.')
        return PakRule::FolderNameLikeFile;
    if (dir.size() > kMaxFolderName)
        return PakRule::FolderNameTooLong;
    return PakRule::None;
}

PakRule PathRule(const std::string& dir, const std::string& name)
{
    return PakPath(dir, name).size() > kMaxPath ? PakRule::PathTooLong : PakRule::None;
}

std::string PakPath(const std::string& dir, const std::string& name)
{
    return dir.empty() ? name : dir + '/' + name;
}

std::vector<PakRule> PakWriteRules(const std::vector<PakInput>& inputs)
{
    std::vector<PakRule> rules(inputs.size(), PakRule::None);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const PakInput& input = inputs[i];
        for (const PakRule rule : {FileNameRule(input.name),
                                   input.dir.empty() ? PakRule::None : FolderNameRule(input.dir),
                                   PathRule(input.dir, input.name),
                                   input.size > kMaxSize ? PakRule::TooLarge : PakRule::None}) {
            if (rule != PakRule::None) {
                rules[i] = rule;
                break;
            }
        }
    }
    // An input left out for its position may take the last top-level file
    // with it; positions only move down as inputs go, so this ends after a
    // round or two.
    do
        MarkPlaces(inputs, rules);
    while (MarkPositions(inputs, rules));
    return rules;
}

std::vector<PakRefusal> LeaveOutUnwritable(std::vector<PakInput>& inputs)
{
    const std::vector<PakRule> rules = PakWriteRules(inputs);
    std::vector<PakRefusal> refusals;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (rules[i] != PakRule::None)
            refusals.push_back({PakPath(inputs[i].dir, inputs[i].name), rules[i]});
        else if (kept++ != i)
            inputs[kept - 1] = std::move(inputs[i]);
    }
    inputs.resize(kept);
    return refusals;
}

PakLayout LayOutPak(const std::vector<PakInput>& inputs)
{
    const std::size_t count = inputs.size();
    const std::vector<PakRule> all(count, PakRule::None);
    PakLayout layout;
    // u32 arithmetic: the rules keep every value below 2^31.
    layout.dataStart = static_cast<std::uint32_t>(kTableOffset + kTableRecordSize * count + NameAreaLength(inputs, all));
    layout.offsets.resize(count);
    std::uint32_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        layout.offsets[i] = total;
        total += static_cast<std::uint32_t>(inputs[i].size);
    }
    // No entry may start at S, where it would never be extracted.
    std::uint32_t padding = 0;
    if (total == 0 && count > 0)
        padding = 1;
    for (std::size_t i = count; i > 0 && inputs[i - 1].size == 0 && total > 0; --i)
        layout.offsets[i - 1] = total - 1;
    layout.archiveSize = layout.dataStart + total + padding;

    std::string& head = layout.head;
    head.reserve(layout.dataStart);
    PutU32(head, kSignature);                                    // 0: signature
    head.append(kNumFilesAt - head.size(), '\0');                // 4..75: skipped
    PutU32(head, static_cast<std::uint32_t>(count));             // 76: N
    head.append(kDataStartAt - head.size(), '\0');               // 80..83: skipped
    PutU32(head, layout.dataStart);                              // 84: D
    PutU32(head, layout.archiveSize);                            // 88: S
    for (std::size_t i = 0; i < count; ++i) {
        PutU32(head, static_cast<std::uint32_t>(inputs[i].size));   // +0 size
        PutU32(head, layout.offsets[i]);                            // +4 offset from D
        head.append(kTableRecordSize - 2 * 4, '\0');                // +8..15 skipped
    }
    // A directory record is read in the turn of the entry before the first
    // of its folder and applies from the next entry on.
    for (std::size_t i = 0; i < count; ++i) {
        if (i + 1 < count && inputs[i + 1].dir != inputs[i].dir) {
            head.append(inputs[i + 1].dir.rbegin(), inputs[i + 1].dir.rend());
            head.push_back('\0');
        }
        head.append(kNamePrefix, '\0');
        head.append(inputs[i].name.rbegin(), inputs[i].name.rend());
        head.push_back('\0');
    }
    return layout;
}

std::string PakWriteFailureText(const PakWriteFailure& failure)
{
    switch (failure.problem) {
    case PakWriteProblem::None: return "written";
    case PakWriteProblem::Refused: return PakRuleText(failure.rule);
    case PakWriteProblem::CantRead: return SystemErrorText(failure.systemCode);
    case PakWriteProblem::ReadFailed: return std::strerror(failure.systemCode);
    case PakWriteProblem::InputChanged: return "it has changed since it was listed";
    case PakWriteProblem::InputIsArchive: return "it is the archive being written";
    case PakWriteProblem::CantWrite: return ExtractFailureText(failure.output);
    }
    return "unknown";
}

int WritePak(const SystemPath& path, const std::vector<PakInput>& inputs, ProgressBar& progress,
             PakWriteFailure& failure)
{
    failure = PakWriteFailure{};
    const std::vector<PakRule> rules = PakWriteRules(inputs);
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (rules[i] != PakRule::None) {
            failure = Failed(PakWriteProblem::Refused);
            failure.input = i;
            failure.rule = rules[i];
            return 0;
        }
    }
    // Whatever can't be held stops the run here, before anything is begun.
    const PakLayout layout = LayOutPak(inputs);
    std::uint64_t largest = 0;
    for (const PakInput& input : inputs)
        largest = std::max(largest, input.size);
    const BufferPtr buffer = AllocateBuffer(static_cast<std::size_t>(std::min<std::uint64_t>(largest, kCopyBlock)));

    // The file the archive replaces is never read as one of its inputs.
    FileIdentity replaced;
    IdentityOfFile(path, replaced);
    SystemPath folderPath, name;
    SplitPath(path, folderPath, name);
    const OutputFolder folder = folderPath.empty() ? OutputFolder::Current() : OutputFolder::Existing(folderPath);
    OutputFile out = folder.Begin(name, FileIdentity{});
    if (!out.IsOpen()) {
        failure = CantWrite(out.Error());
        return 0;
    }
    if (!out.Write(layout.head.data(), layout.head.size())) {
        failure = CantWrite(out.Error());
        return 0;
    }
    progress.SetRange32(0, AsSigned32(static_cast<std::uint32_t>(inputs.size())));
    progress.SetPos(0);
    bool copyCallUsable = true;
    std::uint64_t written = layout.head.size();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (!CopyInput(out, inputs[i], replaced, buffer.get(), copyCallUsable, failure)) {
            failure.input = i;
            return 0;   // `out` goes, and nothing of it is left
        }
        written += inputs[i].size;
        progress.SetPos(AsSigned32(static_cast<std::uint32_t>(i + 1)));
    }
    const char zero = '\0';
    for (; written < layout.archiveSize; ++written) {
        if (!out.Write(&zero, 1))
            break;
    }
    if (written != layout.archiveSize || !out.Commit()) {
        failure = CantWrite(out.Error());
        return 0;
    }
    return 1;
}
