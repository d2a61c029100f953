// Writing Corvane ".pak" archives: what an entry must be for every reader to
// read it back as it was written, the canonical layout, a folder's files as
// entries, and the writer, which puts an archive under its name only once it
// is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pak_archive.h"
#include "system_path.h"

// Why an item can't be an entry of an archive written here.
enum class PakRule {
    None,
    // What a folder holds that an archive can't.
    SymbolicLink,          // links are never followed
    NotRegularFile,        // a FIFO, device or socket
    FolderTooDeep,         // a folder in a folder: an archive holds one folder level
    EmptyFolder,           // a folder is in an archive only through its files
    NameNotInCodePage,     // Windows: the ANSI code page, the archive's, can't hold the name
    MadeOfDeviceName,      // Windows: "_nul.txt", what extraction makes of "nul.txt"
    // Names. A file-name record is told by a dot at position 5, after two
    // leading bytes and the name reversed; a directory record is the name
    // reversed, and only one whose position 5 is not a dot (the terminator
    // at the least) is a directory record for every reader.
    NoExtension,           // a file name needs ".xyz" at its end, three characters after the dot
    ForbiddenCharacter,    // a backslash (it reads back as '_'), '/' or NUL
    FolderNameTooShort,    // under three characters: a NUL in a record's first three bytes doesn't end it
    FolderNameLikeFile,    // a dot sixth from its end: it would read back as a file name
    FolderNameTooLong,     // over 127 characters
    PathTooLong,           // folder, '/' and name over 255 characters
    // Where it stands. A directory record applies from the entry after the
    // one it is read with, and none leads back to the top level.
    NoTopLevelFileFirst,   // the first entry has to be a top-level file
    TopLevelAfterFolder,   // a top-level file after a folder's
    // Sizes and positions: every field holds 32 bits, and the original
    // reader reaches no position from 2^31 on.
    TooLarge,              // over 2^31 - 1 bytes
    PastTwoGiB,            // its bytes would reach position 2^31 of the archive
    // An archive laid out anew like an original: its name records are
    // kept, and data after them would be read as part of the last one.
    NamesRunToEnd,
    // An archive written like an original one: the folder's files and the
    // original's entries matched by the file extraction writes each entry to.
    NotInOriginal,         // a file that is no entry's
    NoFileInFolder,        // an entry with no file where extraction puts it
    FileOfLaterEntry,      // an entry whose file a later entry is extracted to
    NotExtracted,          // an entry extraction doesn't write: its name refused, or its start at or past S
    // Files of the folder that are never entries.
    ArchiveItself,         // the archive being written
    OriginalItself,        // the original archive
};

// The rule in words, for a line such as "can't add 'maps/b': <rule>".
std::string PakRuleText(PakRule rule);

// The first rule that `name` breaks as a file's name, `dir` as a folder's,
// and the two as an entry's path; None when they keep them all.
PakRule FileNameRule(const std::string& name);
PakRule FolderNameRule(const std::string& dir);
PakRule PathRule(const std::string& dir, const std::string& name);

// "dir/name", or the name alone for the top level: an entry's path as
// pakunpack list shows it.
std::string PakPath(const std::string& dir, const std::string& name);

// One entry of an archive to be written: its bytes are the whole of the file
// `source`, `size` bytes long.
struct PakInput {
    std::string dir;   // empty for the top level
    std::string name;
    std::uint64_t size = 0;
    SystemPath source;
    // Which file `source` was when it was listed (device and inode, volume
    // serial number and file index): when `sourceKnown`, another file found
    // there when it is copied fails the archive.
    std::uint64_t sourceDevice = 0;
    std::uint64_t sourceIndex = 0;
    bool sourceKnown = false;
    // WritePakLike only: an entry kept from the original archive, its bytes
    // those at `originalStart` there (zeros past the file's end); `source`
    // is not used.
    bool fromOriginal = false;
    std::uint64_t originalStart = 0;
};

// The rule each input breaks when they are written in this order, None for
// each one that can be written: its names and size alone first, then where
// it stands and where its bytes would lie among the inputs that can be.
std::vector<PakRule> PakWriteRules(const std::vector<PakInput>& inputs);

// An item left out: its path as PakPath shows it, a folder's with '/' at
// its end, and the rule it breaks.
struct PakRefusal {
    std::string path;
    PakRule rule = PakRule::None;
};

// Takes every input that PakWriteRules refuses out of `inputs`, which keep
// their order, and returns them in that order.
std::vector<PakRefusal> LeaveOutUnwritable(std::vector<PakInput>& inputs);

// Where the canonical archive of `inputs` (in this order, all writable) has
// everything: the header with signature 4, N, D, S and zeros in the fields
// the reader skips; the table, each record's skipped bytes zeros; the name
// area, each file record behind two zero bytes and a directory record in the
// turn of the entry before the first of its folder; then the data in table
// order, contiguous, D right after the name area and S the file's length.
// An empty entry starts where the next data would; one with no data after it
// starts at the last byte, and when no entry has a byte the data is one zero
// byte, since no entry starting at S is ever extracted.
struct PakLayout {
    std::uint32_t dataStart = 0;
    std::uint32_t archiveSize = 0;
    std::vector<std::uint32_t> offsets;   // relative to dataStart
    std::string head;                     // header, table and name area
};
PakLayout LayOutPak(const std::vector<PakInput>& inputs);

// Why WritePak wrote nothing.
enum class PakWriteProblem {
    None,
    Refused,         // `input` breaks `rule`
    CantRead,        // `input`'s file can't be opened: systemCode, the system's code
    ReadFailed,      // a read of `input`'s file failed: systemCode, errno
    InputChanged,    // `input`'s file is another, or no regular file, or not `size` bytes long now
                     // (the original: another file, or not as long as it was when read)
    InputIsArchive,  // `input`'s file is the one the archive replaces
    CantWrite,       // the archive can't be written: `output`
};

struct PakWriteFailure {
    PakWriteProblem problem = PakWriteProblem::None;
    std::size_t input = 0;   // the input concerned; WritePakLike: the inputs' count for the original
    PakRule rule = PakRule::None;
    int systemCode = 0;      // CantRead: errno on POSIX, GetLastError() on Windows
    ExtractFailure output;   // in the terms ExtractFailureText puts in words
};

// The reason in words, without the input or archive it concerns.
std::string PakWriteFailureText(const PakWriteFailure& failure);

// Writes `inputs`, in this order, as the canonical archive `path`: a file
// name, or a path whose folder exists. 1 written; 0 with `failure` saying
// why, and then nothing is written: every input is checked before the
// archive is begun, and the archive replaces a file of its name only once it
// is complete (a failure, an interruption or a killed process leave that
// file, or no file, as it was). The files are copied through a buffer of at
// most 2 MiB (on Linux by the system's copy call where it can). The progress
// range is 0..N; the position becomes i + 1 once input i is copied. Throws
// std::bad_alloc, before anything is begun, when the layout or the buffer
// can't be held.
int WritePak(const SystemPath& path, const std::vector<PakInput>& inputs, ProgressBar& progress,
             PakWriteFailure& failure);

// A folder's files as the inputs of a canonical archive.
struct PakTree {
    // In the archive's order: the top-level files, then each folder's; names
    // in byte order. Only inputs that can be written.
    std::vector<PakInput> inputs;
    // What can't be, in path order.
    std::vector<PakRefusal> refusals;
    // Files in the folder that are never inputs, in path order: the archive
    // being written (ArchiveItself) and the original (OriginalItself).
    std::vector<PakRefusal> passedOver;
};

// Why ReadPakTree gave up.
struct PakTreeFailure {
    std::string path;        // the folder that can't be listed, as PakRefusal shows it; empty: the folder itself
    ExtractFailure reason;   // SystemError, or LinkInTheWay for a folder that has become a link
};

// Lists `folder` (a symbolic link to a folder is followed for it alone) for
// the archive `archive`: its files become top-level entries and its
// subfolders' files entries in those folders. Links, deeper folders, special
// files, empty folders, names the format can't hold and files it can't place
// are refused, each with its rule; a folder refused for its name is one
// refusal, with nothing listed inside it. True with `tree` filled; false
// with `failure` set when a folder can't be listed.
bool ReadPakTree(const SystemPath& folder, const SystemPath& archive, PakTree& tree, PakTreeFailure& failure);

// An archive that a new one is to be like (pakunpack create --like): its
// table as the reader reads it and the bytes from its start to the end of its
// name area, with what it takes to tell that the file is still the one read.
struct PakOriginal {
    SystemPath path;
    std::uint32_t dataStart = 0;
    std::uint32_t archiveSize = 0;
    std::vector<PakEntry> entries;
    // The header, the table and the name records as far as the reader reads
    // them, byte for byte.
    std::string head;
    // The last record read ended at the end of the file, not at a NUL: bytes
    // after `head` would be read as part of it.
    bool namesRunToEnd = false;
    std::uint64_t length = 0;   // the file's, when it was read
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool known = false;
};

// Reads the archive `path` as the reader does and keeps its head. 1 read; 0
// with `error` the reader's text (kErrCantOpen, kErrNotPak, kErrDamaged).
// Throws std::bad_alloc when its table can't be held.
int ReadPakOriginal(const SystemPath& path, PakOriginal& original, std::string& error);

// Lists `folder` as ReadPakTree does for an archive like `original`: every
// file of it and of its subfolders becomes an input, whatever its name; only
// links, special files and folders in subfolders are refused, empty folders
// are no items, and neither the archive nor the original is an input.
bool ListPakFolder(const SystemPath& folder, const SystemPath& archive, const SystemPath& original, PakTree& tree,
                   PakTreeFailure& failure);

// The original's entries, each matched with the folder's file that extraction
// writes it to: the names as extraction writes them on disk (a '/' in a name
// as '_'; on Windows also by its name rules, "nul.txt" as "_nul.txt"), the
// last entry that extraction writes to a file taking it.
struct PakLike {
    // The original's entries in its order, with their names; each one's
    // bytes are its file's, or the original's (fromOriginal) for those in
    // `missing`.
    std::vector<PakInput> inputs;
    // Entries with no file of their own, in table order.
    std::vector<PakRefusal> missing;
    // The folder's items that are no entry, the listing's refusals among
    // them, in path order.
    std::vector<PakRefusal> extra;
};
PakLike MatchPakLike(const PakOriginal& original, const PakTree& listing);

// The layout of an archive like `original` whose entries hold `inputs`
// (one for each of its entries, in its order), laid out anew: the
// original's head with the inputs' sizes and new offsets in its table and
// D and S new in its header, every other byte of it kept, then the data as
// LayOutPak places it, from D = the end of the name area on. An entry kept
// from the original (fromOriginal) that starts at or past the original's S,
// which extraction never writes, starts at the new S and holds no data. The
// inputs must keep PakWriteRules' size and position rules.
PakLayout LayOutPakLike(const PakOriginal& original, const std::vector<PakInput>& inputs);

// How WritePakLike laid the archive out.
enum class PakLikeLayout {
    Kept,    // the original's bytes, each entry's at its own place
    Anew,    // LayOutPakLike's
};

// Writes the archive `path` like `original`, its entries holding `inputs`
// (MatchPakLike's), as WritePak writes. When every input is as long as its
// entry and no entry whose bytes share a place with another's or with the
// head has changed (each compared with the original), the original's
// layout is kept: every byte of the original, each entry's own in its place,
// so that D, S and every offset stay. Otherwise the archive is laid out
// anew (LayOutPakLike), which needs the size and position rules kept and
// a name area that ends with a NUL. `layout` says which.
int WritePakLike(const SystemPath& path, const PakOriginal& original, const std::vector<PakInput>& inputs,
                 ProgressBar& progress, PakWriteFailure& failure, PakLikeLayout& layout);
