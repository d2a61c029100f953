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

void PutU32At(std::string& out, std::uint64_t pos, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out[static_cast<std::size_t>(pos++)] = static_cast<char>((value >> shift) & 0xFF);
}

// The data of entries of `sizes` one after another in table order from
// layout.dataStart on: the offsets and S. An empty entry starts where the
// next data would, one with no data after it at the last byte, and with no
// byte at all the data is one zero byte: no entry may start at S, where it
// would never be extracted.
void PlaceData(const std::vector<std::uint64_t>& sizes, PakLayout& layout)
{
    const std::size_t count = sizes.size();
    layout.offsets.assign(count, 0);
    // u32 arithmetic: the rules keep every value below 2^31.
    std::uint32_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        layout.offsets[i] = total;
        total += static_cast<std::uint32_t>(sizes[i]);
    }
    const std::uint32_t padding = total == 0 && count > 0 ? 1 : 0;
    for (std::size_t i = count; i > 0 && sizes[i - 1] == 0 && total > 0; --i)
        layout.offsets[i - 1] = total - 1;
    layout.archiveSize = layout.dataStart + total + padding;
}

// Whether input `i` is an entry kept from the original that starts at or
// past the original's S, which extraction never writes: laid out anew, it
// starts at the new S and its bytes are in no archive.
bool StaysPastEnd(const PakOriginal& original, const std::vector<PakInput>& inputs, std::size_t i)
{
    const PakEntry& entry = original.entries[i];
    const std::uint32_t start = original.dataStart + entry.offset;   // wraps, as the reader's
    return inputs[i].fromOriginal && start >= original.archiveSize;
}

std::vector<std::uint64_t> SizesOf(const std::vector<PakInput>& inputs)
{
    std::vector<std::uint64_t> sizes;
    sizes.reserve(inputs.size());
    for (const PakInput& input : inputs)
        sizes.push_back(input.size);
    return sizes;
}

// Opens the file of `input` as it was listed. Not open, with `failure` set
// (but for its input), when it can't be, or isn't the file that was listed.
InputFile OpenListed(const PakInput& input, const FileIdentity& archive, PakWriteFailure& failure)
{
    FileIdentity identity;
    std::uint64_t length = 0;
    FileError error;
    InputFile file = OpenInput(input.source, identity, length, error);
    if (!file.IsOpen()) {
        // A folder or a FIFO where a file was listed is a change.
        failure = error.problem == FileProblem::System ? Failed(PakWriteProblem::CantRead, error.code)
                                                       : Failed(PakWriteProblem::InputChanged);
        return file;
    }
    FileIdentity listed;
    listed.device = input.sourceDevice;
    listed.inode = input.sourceIndex;
    listed.known = input.sourceKnown;
    if (SameFile(identity, archive)) {
        failure = Failed(PakWriteProblem::InputIsArchive);
        return InputFile();
    }
    if ((listed.known && !SameFile(identity, listed)) || length != input.size) {
        failure = Failed(PakWriteProblem::InputChanged);
        return InputFile();
    }
    return file;
}

// Opens the original archive, which has to be the file that was read, as
// long as it was then. Not open, with `failure` set (but for its input),
// otherwise.
InputFile OpenOriginal(const PakOriginal& original, PakWriteFailure& failure)
{
    PakInput asInput;
    asInput.source = original.path;
    asInput.size = original.length;
    asInput.sourceDevice = original.device;
    asInput.sourceIndex = original.index;
    asInput.sourceKnown = original.known;
    return OpenListed(asInput, FileIdentity{}, failure);
}

// Reads `count` bytes of `file` from `pos` into `buffer`; those past
// `length`, the file's end, are zeros. False with `failure` set when a read
// fails or the file ends before `length`.
bool ReadPart(const InputFile& file, std::uint64_t pos, std::uint64_t length, unsigned char* buffer,
              std::size_t count, PakWriteFailure& failure)
{
    const std::size_t held = pos < length ? static_cast<std::size_t>(std::min<std::uint64_t>(count, length - pos)) : 0;
    std::size_t got = 0;
    int code = 0;
    if (held > 0 && !file.ReadAt(pos, buffer, held, got, code)) {   // fewer only at the file's end
        failure = Failed(PakWriteProblem::ReadFailed, code);
        return false;
    }
    if (got < held) {
        failure = Failed(PakWriteProblem::InputChanged);   // cut short since it was opened
        return false;
    }
    std::memset(buffer + held, 0, count - held);
    return true;
}

// Appends what an archive is made of to one output, through one buffer of
// at most kCopyBlock bytes (with the system's copy call where it can). Each
// call gives false with `failure` set (but for its input) when it fails; the
// output then goes, and nothing of it is left.
class PieceWriter {
public:
    PieceWriter(OutputFile& out, unsigned char* buffer, std::size_t bufferSize, PakWriteFailure& failure)
        : m_out(out), m_buffer(buffer), m_bufferSize(bufferSize), m_failure(failure)
    {
    }

    bool Bytes(const std::string& bytes) { return Put(bytes.data(), bytes.size()); }

    bool Zeros(std::uint64_t count)
    {
        if (count > 0)
            std::memset(m_buffer, 0, static_cast<std::size_t>(std::min<std::uint64_t>(count, m_bufferSize)));
        for (std::uint64_t done = 0; done < count;) {
            const auto block = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, m_bufferSize));
            if (!Put(m_buffer, block))
                return false;
            done += block;
        }
        return true;
    }

    // `count` bytes of `file` from `pos`, zeros past `length`, its end.
    bool Part(const InputFile& file, std::uint64_t pos, std::uint64_t count, std::uint64_t length)
    {
        std::uint64_t done = 0;
        if (pos < length)
            done = m_out.CopyFrom(file, pos, std::min<std::uint64_t>(count, length - pos), m_copyCallUsable);
        m_written += done;
        while (done < count) {
            const auto block = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, m_bufferSize));
            if (!ReadPart(file, pos + done, length, m_buffer, block, m_failure) || !Put(m_buffer, block))
                return false;
            done += block;
        }
        return true;
    }

    // All of `input`'s file, which must be as it was listed and not the
    // file the archive replaces.
    bool Input(const PakInput& input, const FileIdentity& replaced)
    {
        const InputFile file = OpenListed(input, replaced, m_failure);
        return file.IsOpen() && Part(file, 0, input.size, input.size);
    }

    std::uint64_t Written() const { return m_written; }

private:
    bool Put(const void* data, std::size_t count)
    {
        if (!m_out.Write(data, count)) {
            m_failure = CantWrite(m_out.Error());
            return false;
        }
        m_written += count;
        return true;
    }

    OutputFile& m_out;
    unsigned char* m_buffer;
    std::size_t m_bufferSize;
    PakWriteFailure& m_failure;
    bool m_copyCallUsable = true;
    std::uint64_t m_written = 0;
};

// The folder of the archive `path`, which its output borrows and so has to
// outlive it, and its `name` there; `replaced` the file it would replace,
// never an input.
OutputFolder ArchiveFolder(const SystemPath& path, SystemPath& name, FileIdentity& replaced)
{
    IdentityOfFile(path, replaced);
    SystemPath folderPath;
    SplitPath(path, folderPath, name);
    return folderPath.empty() ? OutputFolder::Current() : OutputFolder::Existing(folderPath);
}

// Where an entry's bytes lie in the original: from its start (D + offset,
// 32-bit as the reader takes it) on, in 64 bits.
struct Span {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::size_t entry = 0;
};

// Whether input `i`'s file holds the bytes `span` of the original (zeros
// past its end). False with `failure` set when a file can't be read: the
// input's, or the original's (failure.input the inputs' count).
bool SameAsOriginal(const std::vector<PakInput>& inputs, std::size_t i, const InputFile& original,
                    std::uint64_t originalLength, const Span& span, unsigned char* buffer, std::size_t bufferSize,
                    bool& same, PakWriteFailure& failure)
{
    const PakInput& input = inputs[i];
    const InputFile file = OpenListed(input, FileIdentity{}, failure);
    if (!file.IsOpen()) {
        failure.input = i;
        return false;
    }
    const std::size_t half = bufferSize / 2;
    same = true;
    for (std::uint64_t done = 0; same && done < input.size;) {
        const auto block = static_cast<std::size_t>(std::min<std::uint64_t>(input.size - done, half));
        if (!ReadPart(file, done, input.size, buffer, block, failure)) {
            failure.input = i;
            return false;
        }
        if (!ReadPart(original, span.start + done, originalLength, buffer + half, block, failure)) {
            failure.input = inputs.size();
            return false;
        }
        same = std::memcmp(buffer, buffer + half, block) == 0;
        done += block;
    }
    return true;
}

// The rule that `original` laid out anew breaks first, and the input that
// breaks it (the inputs' count for the head).
PakRule AnewRule(const PakOriginal& original, const std::vector<PakInput>& inputs, std::size_t& which)
{
    which = inputs.size();
    if (original.head.size() >= kPositionLimit)
        return PakRule::PastTwoGiB;
    std::uint64_t end = original.head.size();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (StaysPastEnd(original, inputs, i))
            continue;
        which = i;
        if (inputs[i].size > kMaxSize)
            return PakRule::TooLarge;
        end += inputs[i].size;
        if (end > kPositionLimit)
            return PakRule::PastTwoGiB;
    }
    return PakRule::None;
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
    case PakRule::NamesRunToEnd:
        return "the original's last name runs to its end, so that data after it would be read as part of it";
    case PakRule::NotInOriginal: return "not an entry of the original";
    case PakRule::NoFileInFolder: return "no file in the folder where extraction writes it";
    case PakRule::FileOfLaterEntry: return "a later entry is extracted to its file";
    case PakRule::NotExtracted:
        return "extraction doesn't write it (its name is refused or it starts at or past the declared size)";
    case PakRule::ArchiveItself: return "it is the archive being written";
    case PakRule::OriginalItself: return "it is the original archive";
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
    layout.dataStart = static_cast<std::uint32_t>(kTableOffset + kTableRecordSize * count + NameAreaLength(inputs, all));
    PlaceData(SizesOf(inputs), layout);

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

PakLayout LayOutPakLike(const PakOriginal& original, const std::vector<PakInput>& inputs)
{
    PakLayout layout;
    layout.dataStart = static_cast<std::uint32_t>(original.head.size());
    std::vector<std::uint64_t> sizes = SizesOf(inputs);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (StaysPastEnd(original, inputs, i))
            sizes[i] = 0;
    }
    PlaceData(sizes, layout);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (StaysPastEnd(original, inputs, i))
            layout.offsets[i] = layout.archiveSize - layout.dataStart;
    }
    layout.head = original.head;
    PutU32At(layout.head, kDataStartAt, layout.dataStart);
    PutU32At(layout.head, kArchiveSizeAt, layout.archiveSize);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::uint64_t record = kTableOffset + kTableRecordSize * i;
        PutU32At(layout.head, record, static_cast<std::uint32_t>(inputs[i].size));   // +0 size
        PutU32At(layout.head, record + kRecordOffsetField, layout.offsets[i]);      // +4 offset from D
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
    const auto bufferSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(largest, 1), kCopyBlock));
    const BufferPtr buffer = AllocateBuffer(bufferSize);

    FileIdentity replaced;
    SystemPath name;
    const OutputFolder folder = ArchiveFolder(path, name, replaced);
    OutputFile out = folder.Begin(name, FileIdentity{});
    PieceWriter writer(out, buffer.get(), bufferSize, failure);
    if (!out.IsOpen()) {
        failure = CantWrite(out.Error());
        return 0;
    }
    if (!writer.Bytes(layout.head))
        return 0;
    progress.SetRange32(0, AsSigned32(static_cast<std::uint32_t>(inputs.size())));
    progress.SetPos(0);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (!writer.Input(inputs[i], replaced)) {
            failure.input = i;
            return 0;   // `out` goes, and nothing of it is left
        }
        progress.SetPos(AsSigned32(static_cast<std::uint32_t>(i + 1)));
    }
    if (!writer.Zeros(layout.archiveSize - writer.Written()))
        return 0;
    if (!out.Commit()) {
        failure = CantWrite(out.Error());
        return 0;
    }
    return 1;
}

namespace {

// Whether the original's layout can stay for `inputs`: every input as long
// as its entry, every entry whose bytes share a place with another's or with
// the head unchanged, and, when the original's names run to its end, no
// byte after that end. `own` gets the spans of the inputs whose bytes come
// from their files, in position order. False with `failure` set when a file
// can't be read.
bool KeepsLayout(const PakOriginal& original, const std::vector<PakInput>& inputs, const InputFile& originalFile,
                 unsigned char* buffer, std::size_t bufferSize, bool& keeps, std::vector<Span>& own,
                 PakWriteFailure& failure)
{
    keeps = false;
    own.clear();
    std::vector<Span> spans;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const PakEntry& entry = original.entries[i];
        if (!inputs[i].fromOriginal && inputs[i].size != entry.size)
            return true;
        const std::uint32_t start = original.dataStart + entry.offset;   // wraps, as the reader's
        if (entry.size > 0)
            spans.push_back({start, std::uint64_t{start} + entry.size, i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.start < b.start || (a.start == b.start && a.entry < b.entry);
    });
    // Spans that overlap, directly or through others, form a cluster.
    for (std::size_t first = 0, next; first < spans.size(); first = next) {
        std::uint64_t end = spans[first].end;
        for (next = first + 1; next < spans.size() && spans[next].start < end; ++next)
            end = std::max(end, spans[next].end);
        const bool shared = next - first > 1 || spans[first].start < original.head.size();
        for (std::size_t k = first; k < next; ++k) {
            const Span& span = spans[k];
            if (inputs[span.entry].fromOriginal)
                continue;
            if (!shared) {
                if (original.namesRunToEnd && span.end > original.length)
                    return true;
                own.push_back(span);
                continue;
            }
            bool same = false;
            if (!SameAsOriginal(inputs, span.entry, originalFile, original.length, span, buffer, bufferSize, same,
                                failure))
                return false;
            if (!same)
                return true;
        }
    }
    keeps = true;
    return true;
}

} // namespace

int WritePakLike(const SystemPath& path, const PakOriginal& original, const std::vector<PakInput>& inputs,
                 ProgressBar& progress, PakWriteFailure& failure, PakLikeLayout& layoutUsed)
{
    failure = PakWriteFailure{};
    layoutUsed = PakLikeLayout::Kept;
    const std::size_t count = inputs.size();
    if (count != original.entries.size()) {
        failure = Failed(PakWriteProblem::Refused);
        failure.input = count;
        failure.rule = PakRule::NotInOriginal;
        return 0;
    }
    std::uint64_t largest = 0;
    for (const PakInput& input : inputs)
        largest = std::max(largest, input.size);
    // Two halves when files are compared with the original.
    const auto bufferSize = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::uint64_t>({largest, original.length, 2}), kCopyBlock));
    const BufferPtr buffer = AllocateBuffer(bufferSize);

    FileIdentity replaced;
    SystemPath name;
    const OutputFolder folder = ArchiveFolder(path, name, replaced);
    OutputFile out;
    {
        // Closed before the archive is named, which may replace it.
        const InputFile originalFile = OpenOriginal(original, failure);
        if (!originalFile.IsOpen()) {
            failure.input = count;
            return 0;
        }
        bool keeps = false;
        std::vector<Span> own;
        if (!KeepsLayout(original, inputs, originalFile, buffer.get(), bufferSize, keeps, own, failure))
            return 0;
        PakLayout layout;
        if (!keeps) {
            layoutUsed = PakLikeLayout::Anew;
            std::size_t which = 0;
            PakRule rule = AnewRule(original, inputs, which);
            if (rule == PakRule::None && original.namesRunToEnd) {
                rule = PakRule::NamesRunToEnd;
                which = count;
            }
            if (rule != PakRule::None) {
                failure = Failed(PakWriteProblem::Refused);
                failure.input = which;
                failure.rule = rule;
                return 0;
            }
            layout = LayOutPakLike(original, inputs);
        }

        out = folder.Begin(name, FileIdentity{});
        PieceWriter writer(out, buffer.get(), bufferSize, failure);
        if (!out.IsOpen()) {
            failure = CantWrite(out.Error());
            return 0;
        }
        progress.SetRange32(0, AsSigned32(static_cast<std::uint32_t>(count)));
        progress.SetPos(0);
        const InputFile& from = originalFile;
        if (keeps) {
            // The original's bytes, each input's own in its place.
            std::size_t done = 0;
            for (const Span& span : own) {
                if (!writer.Part(from, writer.Written(), span.start - writer.Written(), original.length)) {
                    failure.input = count;
                    return 0;
                }
                if (!writer.Input(inputs[span.entry], replaced)) {
                    failure.input = span.entry;
                    return 0;
                }
                progress.SetPos(AsSigned32(static_cast<std::uint32_t>(++done)));
            }
            if (writer.Written() < original.length &&
                !writer.Part(from, writer.Written(), original.length - writer.Written(), original.length)) {
                failure.input = count;
                return 0;
            }
            progress.SetPos(AsSigned32(static_cast<std::uint32_t>(count)));
        } else {
            if (!writer.Bytes(layout.head))
                return 0;
            for (std::size_t i = 0; i < count; ++i) {
                const PakInput& input = inputs[i];
                bool written = true;
                if (input.fromOriginal && !StaysPastEnd(original, inputs, i))
                    written = writer.Part(from, input.originalStart, input.size, original.length);
                else if (!input.fromOriginal)
                    written = writer.Input(input, replaced);
                if (!written) {
                    failure.input = input.fromOriginal && failure.problem != PakWriteProblem::CantWrite ? count : i;
                    return 0;
                }
                progress.SetPos(AsSigned32(static_cast<std::uint32_t>(i + 1)));
            }
            if (!writer.Zeros(layout.archiveSize - writer.Written()))
                return 0;
        }
    }
    if (!out.Commit()) {
        failure = CantWrite(out.Error());
        return 0;
    }
    return 1;
}
