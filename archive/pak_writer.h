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
    InputIsArchive,  // `input`'s file is the one the archive replaces
    CantWrite,       // the archive can't be written: `output`
};

struct PakWriteFailure {
    PakWriteProblem problem = PakWriteProblem::None;
    std::size_t input = 0;
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
    // Files in the folder that are the archive being written, which is
    // never its own input; in path order.
    std::vector<std::string> archiveItself;
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
