// A folder's files as the inputs of an archive, canonical or like an
// original: what the folder holds that an archive can't, and the order
// entries take.
#include "pak_writer.h"

#include "archive_file.h"
#include "folder_walk.h"

#include <algorithm>

namespace {

bool ByName(const FolderItem& a, const FolderItem& b)
{
    return a.name.Text() < b.name.Text();   // byte order: char_traits<char> compares as unsigned char
}

// The rule an item breaks for its name before anything else is looked at:
// the names the system gives that the archive can't hold as they are.
PakRule SystemNameRule(const FolderItem& item)
{
    if (!item.nameInCodePage)
        return PakRule::NameNotInCodePage;
    if (item.madeOfDeviceName)
        return PakRule::MadeOfDeviceName;
    return PakRule::None;
}

// How a folder is listed: for a canonical archive, with every rule of the
// format, or for an archive like an original, whose entries keep their names.
enum class Listing { Canonical, Like };

// Collects one folder's items, `dir` being the folder's name ("" for the
// top level): files as inputs, the archive and the original aside, and every
// item that can't be an entry as a refusal; subfolders of the top level go
// to `folders`, deeper ones are refused.
class TreeReader {
public:
    TreeReader(PakTree& tree, Listing listing, const FileIdentity& archive, const FileIdentity& original)
        : m_tree(tree), m_listing(listing), m_archive(archive), m_original(original)
    {
    }

    void Take(const std::string& dir, const FolderItem& item, std::vector<const FolderItem*>& folders)
    {
        const std::string path = PakPath(dir, item.name.Text());
        // A name the system gives only as a look-alike is no entry's either.
        PakRule rule = SystemNameRule(item);
        if (m_listing == Listing::Like && rule == PakRule::MadeOfDeviceName)
            rule = PakRule::None;   // what extraction made of a device name: matched back
        else if (m_listing == Listing::Like && rule != PakRule::None)
            rule = PakRule::NotInOriginal;
        if (rule == PakRule::None) {
            switch (item.kind) {
            case ItemKind::Link: rule = PakRule::SymbolicLink; break;
            case ItemKind::Other: rule = PakRule::NotRegularFile; break;
            case ItemKind::Folder:
                if (!dir.empty()) {
                    rule = PakRule::FolderTooDeep;
                    break;
                }
                folders.push_back(&item);
                return;
            case ItemKind::File:
                if (SameFile(item.identity, m_archive)) {
                    m_tree.passedOver.push_back({path, PakRule::ArchiveItself});
                    return;
                }
                if (SameFile(item.identity, m_original)) {
                    m_tree.passedOver.push_back({path, PakRule::OriginalItself});
                    return;
                }
                AddInput(dir, item);
                return;
            }
        }
        m_tree.refusals.push_back({item.kind == ItemKind::Folder ? path + '/' : path, rule});
    }

private:
    void AddInput(const std::string& dir, const FolderItem& item)
    {
        PakInput input;
        input.dir = dir;
        input.name = item.name.Text();
        input.size = item.size;
        input.source = item.path;
        input.sourceDevice = item.identity.device;
        input.sourceIndex = item.identity.inode;
        input.sourceKnown = item.identity.known;
        m_tree.inputs.push_back(std::move(input));
    }

    PakTree& m_tree;
    Listing m_listing;
    const FileIdentity& m_archive;
    const FileIdentity& m_original;
};

bool ByPath(const PakRefusal& a, const PakRefusal& b)
{
    return a.path < b.path;
}

bool WalkTree(const SystemPath& folder, Listing listing, const SystemPath& archive, const SystemPath* original,
              PakTree& tree, PakTreeFailure& failure)
{
    tree = PakTree{};
    failure = PakTreeFailure{};
    FileIdentity archiveId;
    IdentityOfFile(archive, archiveId);
    FileIdentity originalId;
    if (original)
        IdentityOfFile(*original, originalId);
    TreeReader reader(tree, listing, archiveId, originalId);

    std::vector<FolderItem> top;
    FileError error;
    if (!ListFolder(folder, /*followLink=*/true, top, error)) {
        failure.reason = FailureOf(error);
        return false;
    }
    std::sort(top.begin(), top.end(), ByName);
    std::vector<const FolderItem*> folders;
    for (const FolderItem& item : top)
        reader.Take("", item, folders);

    std::vector<FolderItem> inside;
    std::vector<const FolderItem*> deeper;   // stays empty: a subfolder's folders are refused
    for (const FolderItem* sub : folders) {
        const std::string& dir = sub->name.Text();
        const PakRule rule = listing == Listing::Canonical ? FolderNameRule(dir) : PakRule::None;
        if (rule != PakRule::None) {
            tree.refusals.push_back({dir + '/', rule});
            continue;
        }
        if (!ListFolder(sub->path, /*followLink=*/false, inside, error)) {
            failure.path = dir + '/';
            failure.reason = FailureOf(error);
            tree = PakTree{};
            return false;
        }
        if (inside.empty() && listing == Listing::Canonical)
            tree.refusals.push_back({dir + '/', PakRule::EmptyFolder});
        std::sort(inside.begin(), inside.end(), ByName);
        for (const FolderItem& item : inside)
            reader.Take(dir, item, deeper);
    }

    if (listing == Listing::Canonical) {
        const std::vector<PakRefusal> unwritable = LeaveOutUnwritable(tree.inputs);
        tree.refusals.insert(tree.refusals.end(), unwritable.begin(), unwritable.end());
    }
    std::sort(tree.refusals.begin(), tree.refusals.end(), ByPath);
    std::sort(tree.passedOver.begin(), tree.passedOver.end(), ByPath);
    return true;
}

} // namespace

bool ReadPakTree(const SystemPath& folder, const SystemPath& archive, PakTree& tree, PakTreeFailure& failure)
{
    return WalkTree(folder, Listing::Canonical, archive, nullptr, tree, failure);
}

bool ListPakFolder(const SystemPath& folder, const SystemPath& archive, const SystemPath& original, PakTree& tree,
                   PakTreeFailure& failure)
{
    return WalkTree(folder, Listing::Like, archive, &original, tree, failure);
}
